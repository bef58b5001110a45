# Message timing through the JACK output against the due times, on a JACK
# server of its own (dummy driver), beside the sender's own lateness.
if(TARGET sorvelin_midiout_jack)
    add_executable(jack_bench jack_timing.cpp)
    target_link_libraries(jack_bench PRIVATE sorvelin_flags sorvelin_output_model
                                             sorvelin_midiout_jack)
    target_include_directories(jack_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
endif()
