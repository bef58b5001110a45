# The table parser and the note mapping need nothing but the platform layer,
# so parsers and fuzz targets can link them alone.
sorvelin_library(sorvelin_compose_tables
    SOURCES Tables.cpp NoteGen.cpp ScalaFile.cpp
    DEPS sorvelin_platform)

sorvelin_library(sorvelin_compose_model
    SOURCES ComposeModel.cpp SongFile.cpp Sequencer.cpp SongRender.cpp SongActions.cpp
    DEPS sorvelin_compose_tables sorvelin_tracks_model sorvelin_explorer_model sorvelin_midi
         sorvelin_platform)
