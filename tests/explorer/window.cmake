sorvelin_test(explorer_window_tests QTEST
    SOURCES MainWindowTest.cpp WindowTestSupport.h
    DEPS sorvelin_app_startup sorvelin_platform)
