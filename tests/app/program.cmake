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
