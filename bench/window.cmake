# The explorer window's responsiveness while the picture fills in idle time at
# limit 20,000 (event-loop gaps against an idle loop), and the time to the
# complete picture against "Draw Now!", in the same run; the gaps while a heavy
# Compose runs.
if(TARGET sorvelin_app_startup)
    add_executable(window_bench window_responsiveness.cpp)
    target_link_libraries(window_bench PRIVATE sorvelin_flags sorvelin_app_startup Qt6::Test)
endif()
