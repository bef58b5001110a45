sorvelin_fuzz_target(mainprf SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/MainPrfFuzz.cpp
    DEPS sorvelin_platform)
