# "Draw Now!" and the progressive renderer against the plain single-threaded
# pixel loop, measured in the same run.
add_executable(fractal_bench fractal_drawnow.cpp)
target_link_libraries(fractal_bench PRIVATE sorvelin_flags sorvelin_explorer_model
                      benchmark::benchmark)
