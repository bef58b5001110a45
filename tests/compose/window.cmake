sorvelin_test(compose_window_tests QTEST
    SOURCES ComposeWindowTest.cpp
    DEPS sorvelin_app_startup sorvelin_midiout)
if(TARGET compose_window_tests AND TARGET sorvelin-render)
    add_dependencies(compose_window_tests sorvelin-render)
    target_compile_definitions(compose_window_tests PRIVATE
        SORVELIN_RENDER_PROGRAM="$<TARGET_FILE:sorvelin-render>")
endif()
sorvelin_test(score_draw_tests QTEST
    SOURCES ScoreDrawTest.cpp
    DEPS sorvelin_compose_window)
sorvelin_test(companion_accessibility_tests QTEST
    SOURCES CompanionAccessibilityTest.cpp
    DEPS sorvelin_app_startup)
