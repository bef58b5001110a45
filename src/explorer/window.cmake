# The explorer window over the explorer model, and the zoom rectangle control.
sorvelin_library(sorvelin_explorer_window QT
    SOURCES Main.cpp MainControls.cpp MainHandlers.cpp MainSettings.cpp MainPictures.cpp
            Sizeablerectshape.cpp
            Main.h MainPictures.h Sizeablerectshape.h
    DEPS sorvelin_explorer_model sorvelin_platform_ui sorvelin_compose_window
         sorvelin_tracks_window Qt6::Widgets)
