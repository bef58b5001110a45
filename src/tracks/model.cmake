sorvelin_library(sorvelin_tracks_model
    SOURCES PartSettings.cpp
    DEPS sorvelin_platform)
