# MIDI output service: the interface, the capture backend, the router that
# joins the built-in synthesizer with the sequencer's ports, the one-shot
# timer service and WAV encoding. Plain C++, always built.
find_package(Threads REQUIRED)
sorvelin_library(sorvelin_midiout
    SOURCES MidiOut.cpp MidiOutCapture.cpp MidiOutRouter.cpp Timer.cpp WavFile.cpp
    DEPS sorvelin_platform Threads::Threads)

# The backends that make sound: FluidSynth (output -1 and offline WAV
# rendering) and the ALSA sequencer (outputs 0..n-1).
if(SORVELIN_WITH_AUDIO)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(SORVELIN_FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
    pkg_check_modules(SORVELIN_ALSA REQUIRED IMPORTED_TARGET alsa)
    pkg_check_modules(SORVELIN_SNDFILE REQUIRED IMPORTED_TARGET sndfile)
    sorvelin_library(sorvelin_midiout_audio
        SOURCES FluidSynthCore.cpp MidiOutFluid.cpp AlsaEncoder.cpp MidiOutAlsa.cpp WavRender.cpp
                SoundFile.cpp
        DEPS sorvelin_midiout PkgConfig::SORVELIN_FLUIDSYNTH PkgConfig::SORVELIN_ALSA
             PkgConfig::SORVELIN_SNDFILE)

    # JACK MIDI output, when libjack's development files are there (jack2
    # or PipeWire's JACK serve it at run time).
    pkg_check_modules(SORVELIN_JACK IMPORTED_TARGET jack)
    if(SORVELIN_JACK_FOUND)
        sorvelin_library(sorvelin_midiout_jack
            SOURCES MidiOutJack.cpp
            DEPS sorvelin_midiout PkgConfig::SORVELIN_JACK)
        target_link_libraries(sorvelin_midiout_audio PUBLIC sorvelin_midiout_jack)
        target_compile_definitions(sorvelin_midiout_audio PUBLIC SORVELIN_HAVE_JACK)
    endif()
endif()
