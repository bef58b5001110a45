sorvelin_fuzz_target(smf SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SmfFuzz.cpp DEPS sorvelin_midi)
