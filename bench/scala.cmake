# The measured pitch of a song on a Scala tuning, rendered offline through the
# built-in synthesizer (needs the synthesizer).
if(TARGET sorvelin_output_model AND TARGET sorvelin_midiout_audio)
    add_executable(scala_bench scala_pitch.cpp)
    target_link_libraries(scala_bench PRIVATE sorvelin_flags sorvelin_compose_model
                          sorvelin_output_model)
    target_compile_definitions(scala_bench PRIVATE
        SORVELIN_EXAMPLE_SCALES="${CMAKE_SOURCE_DIR}/data/scales")
endif()
