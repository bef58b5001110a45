sorvelin_test(midiout_tests MODEL TSAN
    SOURCES MidiOutCaptureTest.cpp TimerTest.cpp
    DEPS sorvelin_midiout)

if(SORVELIN_WITH_AUDIO)
    sorvelin_test(midiout_audio_tests
        SOURCES MidiOutAudioTest.cpp
        DEPS sorvelin_midiout_audio)
endif()
