sorvelin_fuzz_target(song SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SongFuzz.cpp
    DEPS sorvelin_compose_model)
