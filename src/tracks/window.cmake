# The track settings window over the part settings.
sorvelin_library(sorvelin_tracks_window QT
    SOURCES Trkwin.cpp Trkwin.h UpDown.cpp UpDown.h
    DEPS sorvelin_tracks_model sorvelin_output_model sorvelin_midi sorvelin_platform_ui
         Qt6::Widgets)
