sorvelin_fuzz_target(scala SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ScalaFuzz.cpp
    DEPS sorvelin_compose_tables)
