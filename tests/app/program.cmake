# Start-up of the windows, and the program itself staying up under the
# offscreen platform until it is stopped.
sorvelin_test(startup_tests QTEST
    SOURCES StartUpTest.cpp
    DEPS sorvelin_app_startup)
# Closing during playback is judged by what the output heard, as the fault
# tests judge it.
if(TARGET startup_tests)
    target_include_directories(startup_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/faults
                                                     ${CMAKE_SOURCE_DIR}/fuzz)
endif()
if(TARGET sorvelin)
    add_test(NAME sorvelin.runs_until_stopped
             COMMAND sh -c "timeout 3 \"$1\"; test $? -eq 124" sh $<TARGET_FILE:sorvelin>)
    set_tests_properties(sorvelin.runs_until_stopped PROPERTIES
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

sorvelin_test(command_line_tests QTEST
    SOURCES CommandLineTest.cpp
    DEPS sorvelin_app_startup sorvelin_app_commandline)
if(TARGET command_line_tests)
    target_compile_definitions(command_line_tests PRIVATE
        SORVELIN_TEST_SONG="${CMAKE_SOURCE_DIR}/tests/data/render/song.svl")
endif()
sorvelin_test(keyboard_tests QTEST
    SOURCES KeyboardTest.cpp
    DEPS sorvelin_app_startup)

# What a screen reader reads of the running program over the accessibility
# bus, on an X server of its own; skipped with its reason where the X server,
# the session bus or the accessibility bus is missing.
find_program(SORVELIN_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(TARGET sorvelin AND SORVELIN_SYSTEM_PYTHON3)
    add_test(NAME sorvelin.accessibility_bus
             COMMAND ${SORVELIN_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/atspi_check.py
                     $<TARGET_FILE:sorvelin>)
    set_tests_properties(sorvelin.accessibility_bus PROPERTIES
                         SKIP_RETURN_CODE 77 TIMEOUT 300 RUN_SERIAL ON)
endif()
sorvelin_test(first_placement_tests QTEST
    SOURCES FirstPlacementTest.cpp
    DEPS sorvelin_app_startup)
