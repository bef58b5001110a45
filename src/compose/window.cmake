# The composition window over the composition model; it reaches the device
# and track settings windows directly, the main window through a link the
# start-up sets.
sorvelin_library(sorvelin_compose_window QT
    SOURCES Cmpwin.cpp CmpwinHandlers.cpp ScoreDraw.cpp Cmpwin.h ScoreDraw.h
    DEPS sorvelin_compose_model sorvelin_output_window sorvelin_tracks_window
         sorvelin_platform_ui Qt6::Widgets)
