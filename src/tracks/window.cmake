sorvelin_library(sorvelin_tracks_window QT
    SOURCES Trkwin.cpp Trkwin.h
    DEPS sorvelin_platform_ui Qt6::Widgets)
