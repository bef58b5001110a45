# The device list with device.prf, the playback engine and offline WAV
# rendering of a song. Plain C++; the sound backends join when they are built.
sorvelin_library(sorvelin_output_model
    SOURCES OutputHandle.cpp DeviceModel.cpp PlaybackEngine.cpp MidiOutFactory.cpp
            TrackRender.cpp
    DEPS sorvelin_midiout sorvelin_midi)
if(TARGET sorvelin_midiout_audio)
    target_link_libraries(sorvelin_output_model PUBLIC sorvelin_midiout_audio)
    target_compile_definitions(sorvelin_output_model PRIVATE SORVELIN_HAVE_AUDIO)
endif()
