# The device window over the device list and the playback engine.
sorvelin_library(sorvelin_output_window QT
    SOURCES Mididevicewin.cpp Mididevicewin.h
    DEPS sorvelin_output_model sorvelin_platform_ui Qt6::Widgets)
