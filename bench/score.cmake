# Save Score's writer on 16 parts of 20,000 notes, against Save MIDI's in the
# same run.
add_executable(score_write_bench score_write.cpp)
target_link_libraries(score_write_bench PRIVATE sorvelin_flags sorvelin_compose_model)
