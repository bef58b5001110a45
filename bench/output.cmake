# Playback pacing against its exact due times: the engine's song clock, the
# original relative pacing and a raw sleep_until, in the same run.
add_executable(output_bench output_pacing.cpp)
target_link_libraries(output_bench PRIVATE sorvelin_flags sorvelin_output_model)
