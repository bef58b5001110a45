sorvelin_test(compose_tables_tests MODEL
    SOURCES TableTest.cpp NoteGenTest.cpp
    DEPS sorvelin_compose_tables)

sorvelin_test(compose_model_tests MODEL
    SOURCES ComposeModelTest.cpp SongFileTest.cpp
    DEPS sorvelin_compose_model)

sorvelin_test(compose_render_tests MODEL
    SOURCES SequencerTest.cpp SongRenderTest.cpp SongActionsTest.cpp
    DEPS sorvelin_compose_model)

sorvelin_test(compose_scala_tests MODEL
    SOURCES ScalaFileTest.cpp
    DEPS sorvelin_compose_model)
if(TARGET compose_scala_tests)
    target_compile_definitions(compose_scala_tests PRIVATE
        SORVELIN_EXAMPLE_SCALES="${CMAKE_SOURCE_DIR}/data/scales")
endif()
