sorvelin_test(platform_ui_tests QTEST
    SOURCES PlatformUiTest.cpp
    DEPS sorvelin_platform_ui)
