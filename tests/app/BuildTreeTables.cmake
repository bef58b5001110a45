# The programs of the build tree find the example tables the build puts beside
# them, from a folder without tables: the song of tests/data/render with a
# scale and a rhythm that only the examples hold renders without a message.
# Arguments: -DRENDER=<program> -DDATA=<tests/data/render> -DWORK=<scratch folder>
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(READ ${DATA}/song.svl song)
string(REPLACE "Quarter tones" "19-Tone Equal" examples "${song}")
string(REPLACE "Dotted" "Fibonacci" examples "${examples}")
if(examples STREQUAL song)
    message(FATAL_ERROR "the song's scale and rhythm lines were not found")
endif()
file(WRITE ${WORK}/examples.svl "${examples}")
execute_process(COMMAND ${RENDER} examples.svl -o examples.mid
                WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
    message(FATAL_ERROR "the example tables were not found (${rc}): ${err}")
endif()
