sorvelin_test(device_window_tests QTEST
    SOURCES DeviceWindowTest.cpp
    DEPS sorvelin_app_startup sorvelin_midiout)
