# The built-in synthesizer through a private PulseAudio server, against
# FluidSynth's own player on the same server in the same run.
if(TARGET sorvelin_midiout_audio)
    add_executable(synth_bench synth_pulse.cpp)
    target_link_libraries(synth_bench PRIVATE sorvelin_flags sorvelin_output_model
                                              sorvelin_compose_model Threads::Threads)
    target_include_directories(synth_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
endif()
