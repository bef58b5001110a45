sorvelin_fuzz_target(convert SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ConvertFuzz.cpp DEPS sorvelin_platform)
