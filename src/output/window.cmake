sorvelin_library(sorvelin_output_window QT
    SOURCES Mididevicewin.cpp Mididevicewin.h
    DEPS sorvelin_platform_ui Qt6::Widgets)
