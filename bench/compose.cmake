# Play's rendering (song, merge, note-off expansion, file) at 200, 2,000 and
# 20,000 notes per part, against the bare note encoding in the same run.
add_executable(compose_bench compose_render.cpp)
target_link_libraries(compose_bench PRIVATE sorvelin_flags sorvelin_compose_model)
