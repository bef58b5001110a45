sorvelin_test(track_settings_window_tests QTEST
    SOURCES TrackSettingsWindowTest.cpp
    DEPS sorvelin_app_startup sorvelin_midiout)
