sorvelin_test(midiout_tests MODEL TSAN
    SOURCES MidiOutCaptureTest.cpp TimerTest.cpp
    DEPS sorvelin_midiout)

if(SORVELIN_WITH_AUDIO)
    sorvelin_test(midiout_audio_tests
        SOURCES MidiOutAudioTest.cpp
        DEPS sorvelin_midiout_audio)
endif()

# The JACK output against a JACK server the test starts itself on the dummy
# driver; skipped (code 77) where jackd is not installed.
if(TARGET sorvelin_midiout_jack AND NOT SORVELIN_SANITIZE)
    add_executable(midiout_jack_tests MidiOutJackTest.cpp)
    set_target_properties(midiout_jack_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                        ${SORVELIN_TEST_BIN_DIR})
    target_link_libraries(midiout_jack_tests PRIVATE sorvelin_flags sorvelin_output_model
                                                     sorvelin_midiout_jack GTest::gtest)
    target_include_directories(midiout_jack_tests PRIVATE ${CMAKE_SOURCE_DIR}/src
                                                          ${CMAKE_SOURCE_DIR}/tests)
    add_test(NAME midiout_jack_tests COMMAND midiout_jack_tests)
    set_tests_properties(midiout_jack_tests PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
    set_property(GLOBAL APPEND PROPERTY SORVELIN_ALL_TESTS midiout_jack_tests)
endif()

if(TARGET sorvelin_midiout_jack)
    sorvelin_test(midiout_ports_tests
        SOURCES MidiOutPortsTest.cpp
        DEPS sorvelin_midiout_audio)
endif()
