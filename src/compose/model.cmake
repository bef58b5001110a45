sorvelin_library(sorvelin_compose_tables
    SOURCES Tables.cpp NoteGen.cpp
    DEPS sorvelin_platform)
