sorvelin_library(sorvelin_compose_window QT
    SOURCES Cmpwin.cpp Cmpwin.h
    DEPS sorvelin_platform_ui Qt6::Widgets)
