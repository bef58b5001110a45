sorvelin_fuzz_target(sampling SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SamplingFuzz.cpp
    DEPS sorvelin_explorer_model)
