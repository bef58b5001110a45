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

# The built-in synthesizer through a PulseAudio server the test starts itself.
if(SORVELIN_WITH_AUDIO AND NOT SORVELIN_SANITIZE)
    add_executable(pulse_playback_tests PulsePlaybackTest.cpp)
    set_target_properties(pulse_playback_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                          ${SORVELIN_TEST_BIN_DIR})
    target_link_libraries(pulse_playback_tests PRIVATE sorvelin_flags sorvelin_output_model
                                                       GTest::gtest Threads::Threads)
    target_include_directories(pulse_playback_tests PRIVATE ${CMAKE_SOURCE_DIR}/src
                                                            ${CMAKE_SOURCE_DIR}/tests)
    add_test(NAME pulse_playback_tests COMMAND pulse_playback_tests)
    set_tests_properties(pulse_playback_tests PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77
                                                         RUN_SERIAL ON)
    set_property(GLOBAL APPEND PROPERTY SORVELIN_ALL_TESTS pulse_playback_tests)
endif()
