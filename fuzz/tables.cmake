sorvelin_fuzz_target(tables SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/TablesFuzz.cpp
    DEPS sorvelin_compose_tables)
