sorvelin_test(compose_window_tests QTEST
    SOURCES ComposeWindowTest.cpp
    DEPS sorvelin_app_startup sorvelin_midiout)
if(TARGET compose_window_tests AND TARGET sorvelin-render)
    add_dependencies(compose_window_tests sorvelin-render)
    target_compile_definitions(compose_window_tests PRIVATE
        SORVELIN_RENDER_PROGRAM="$<TARGET_FILE:sorvelin-render>")
endif()
if(TARGET compose_window_tests AND TARGET sorvelin_midiout_audio)
    target_compile_definitions(compose_window_tests PRIVATE SORVELIN_TEST_SYNTH)
endif()
sorvelin_test(score_draw_tests QTEST
    SOURCES ScoreDrawTest.cpp
    DEPS sorvelin_compose_window)
sorvelin_test(companion_accessibility_tests QTEST
    SOURCES CompanionAccessibilityTest.cpp
    DEPS sorvelin_app_startup)
sorvelin_test(companion_screenshots QTEST
    SOURCES CompanionScreenshotTest.cpp
    DEPS sorvelin_app_startup)

# The whole road on an X display, when Xvfb is installed.
find_program(SORVELIN_XVFB_RUN xvfb-run)
if(SORVELIN_WITH_QT AND SORVELIN_XVFB_RUN)
    add_executable(end_to_end_xvfb EndToEndTest.cpp)
    set_target_properties(end_to_end_xvfb PROPERTIES AUTOMOC ON)
    target_include_directories(end_to_end_xvfb PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(end_to_end_xvfb PRIVATE sorvelin_flags sorvelin_app_startup sorvelin_midiout
                          Qt6::Test)
    if(TARGET sorvelin_midiout_audio)
        target_link_libraries(end_to_end_xvfb PRIVATE sorvelin_midiout_audio)
        target_compile_definitions(end_to_end_xvfb PRIVATE SORVELIN_E2E_SYNTH)
    endif()
    add_test(NAME end_to_end_xvfb
             COMMAND ${SORVELIN_XVFB_RUN} -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:end_to_end_xvfb>)
    set_tests_properties(end_to_end_xvfb PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb" TIMEOUT 120)
endif()
sorvelin_test(play_and_save_tests QTEST
    SOURCES PlayAndSaveTest.cpp
    DEPS sorvelin_app_startup)
