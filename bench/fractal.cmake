# "Draw Now!" and the progressive renderer against the plain single-threaded
# pixel loop, measured in the same run.
add_executable(fractal_bench fractal_drawnow.cpp)
target_link_libraries(fractal_bench PRIVATE sorvelin_flags sorvelin_explorer_model
                      benchmark::benchmark)
# Compose's sampling and "Draw Now!" for every formula against the plain
# one-thread, one-point loop, in the same run.
add_executable(compose_sampling_bench compose_sampling.cpp)
target_link_libraries(compose_sampling_bench PRIVATE sorvelin_flags sorvelin_explorer_model)
