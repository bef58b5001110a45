sorvelin_test(tracks_model_tests MODEL
    SOURCES PartSettingsTest.cpp
    DEPS sorvelin_tracks_model)
