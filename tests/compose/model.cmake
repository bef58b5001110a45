sorvelin_test(compose_tables_tests MODEL
    SOURCES TableTest.cpp NoteGenTest.cpp
    DEPS sorvelin_compose_tables)
