sorvelin_test(output_model_tests MODEL
    SOURCES DeviceModelTest.cpp PlaybackEngineTest.cpp PlaybackLeadTest.cpp TrackRenderTest.cpp
    DEPS sorvelin_output_model)

# A thousand start / stop / switch cycles against the real timer thread.
sorvelin_test(output_stress_tests MODEL TSAN
    SOURCES PlaybackStressTest.cpp
    DEPS sorvelin_output_model)

if(SORVELIN_WITH_AUDIO)
    sorvelin_test(output_render_tests
        SOURCES TrackRenderWavTest.cpp
        DEPS sorvelin_output_model)
endif()
