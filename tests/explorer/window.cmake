sorvelin_test(explorer_window_tests QTEST
    SOURCES MainWindowTest.cpp WindowTestSupport.h
    DEPS sorvelin_app_startup sorvelin_platform)
sorvelin_test(sizeable_rect_shape_tests QTEST
    SOURCES SizeableRectShapeTest.cpp WindowTestSupport.h
    DEPS sorvelin_app_startup)
sorvelin_test(window_accessibility_tests QTEST
    SOURCES AccessibilityTest.cpp WindowTestSupport.h
    DEPS sorvelin_app_startup)
sorvelin_test(explorer_screenshots QTEST
    SOURCES ScreenshotTest.cpp WindowTestSupport.h
    DEPS sorvelin_app_startup)
