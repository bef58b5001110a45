# Building, merging, expanding and writing a song of 16 parts at two sizes,
# and the same pipeline with placement by a scan from the first entry.
add_executable(midi_bench midi_song.cpp)
target_link_libraries(midi_bench PRIVATE sorvelin_flags sorvelin_midi)
