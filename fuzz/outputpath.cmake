sorvelin_fuzz_target(outputpath SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/OutputPathFuzz.cpp
    DEPS sorvelin_platform)
