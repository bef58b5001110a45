sorvelin_fuzz_target(deviceprf SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/DevicePrfFuzz.cpp
    DEPS sorvelin_output_model)
