# The score picture at 200, 2,000 and 20,000 notes per part, all sixteen parts
# used, against plotting the same looked-at values as bare pixels.
if(TARGET sorvelin_compose_window)
    add_executable(score_bench score_draw.cpp)
    target_link_libraries(score_bench PRIVATE sorvelin_flags sorvelin_compose_window)
endif()
