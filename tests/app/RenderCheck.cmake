# End-to-end check of sorvelin-render: run it on the song of tests/data/render
# and compare with a MIDI file whose bytes were worked out by hand
# (expected-mid.txt), then check the refusals.
# Arguments: -DRENDER=<program> -DDATA=<tests/data/render> -DWORK=<scratch folder>
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/tables ${WORK}/bare)
file(COPY ${DATA}/scale.cfg ${DATA}/rhythm.cfg DESTINATION ${WORK}/tables)

# expect(<message> <condition>...): fails with <message> unless the condition holds.
macro(expect message)
    if(NOT (${ARGN}))
        message(FATAL_ERROR "${message}")
    endif()
endmacro()

# The song renders byte for byte as checked by hand.
execute_process(COMMAND ${RENDER} ${DATA}/song.svl -o out.mid --series out.csv
                WORKING_DIRECTORY ${WORK}/tables RESULT_VARIABLE rc ERROR_VARIABLE err)
expect("render failed (${rc}): ${err}" rc EQUAL 0)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/tables/out.mid
                        ${DATA}/expected.mid RESULT_VARIABLE same)
expect("out.mid differs from expected.mid" same EQUAL 0)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/tables/out.csv
                        ${DATA}/expected.csv RESULT_VARIABLE same)
expect("out.csv differs from expected.csv" same EQUAL 0)
file(STRINGS ${WORK}/tables/out.csv rows)
list(LENGTH rows count)
expect("the series file holds ${count} rows, not 16" count EQUAL 16)

# A damaged song: non-zero status, a message naming the fault, no output.
execute_process(COMMAND ${RENDER} ${DATA}/short.svl -o short.mid
                WORKING_DIRECTORY ${WORK}/tables RESULT_VARIABLE rc ERROR_VARIABLE err)
expect("a 100-line song was accepted" NOT rc EQUAL 0)
string(FIND "${err}" "has 100 lines" at)
expect("no reason given for the short song: ${err}" at GREATER -1)
expect("a refused song left a MIDI file" NOT EXISTS ${WORK}/tables/short.mid)

# Without the tables the names are not found: reported, and the song still
# renders with the built-in entries.
execute_process(COMMAND ${RENDER} ${DATA}/song.svl -o out.mid
                WORKING_DIRECTORY ${WORK}/bare RESULT_VARIABLE rc ERROR_VARIABLE err)
expect("render without tables failed: ${err}" rc EQUAL 0)
string(FIND "${err}" "Sorry, Couldn't find Scale:Quarter tones" at)
expect("missing scale not reported: ${err}" at GREATER -1)
string(FIND "${err}" "Sorry, Couldn't find Rhythm.Dotted" at)
expect("missing rhythm not reported: ${err}" at GREATER -1)
expect("no MIDI file without tables" EXISTS ${WORK}/bare/out.mid)

# A song that may take minutes to compose (the largest limit, though every
# point of its view escapes at once) is refused, with the way to load it
# anyway, and loads with that option.
execute_process(COMMAND ${RENDER} ${DATA}/long.svl -o long.mid
                WORKING_DIRECTORY ${WORK}/tables RESULT_VARIABLE rc ERROR_VARIABLE err)
expect("a song that may take minutes to compose was loaded unasked" NOT rc EQUAL 0)
string(FIND "${err}" "may take minutes to compose" at)
string(FIND "${err}" "--allow-long-compose loads it anyway" hint)
expect("no reason or hint for the long song: ${err}" at GREATER -1 AND hint GREATER at)
expect("a refused long song left a MIDI file" NOT EXISTS ${WORK}/tables/long.mid)
execute_process(COMMAND ${RENDER} ${DATA}/long.svl -o long.mid --allow-long-compose
                WORKING_DIRECTORY ${WORK}/tables RESULT_VARIABLE rc ERROR_VARIABLE err)
expect("--allow-long-compose did not load the long song (${rc}): ${err}" rc EQUAL 0)
expect("no MIDI file for the long song" EXISTS ${WORK}/tables/long.mid)

# Usage.
execute_process(COMMAND ${RENDER} --help RESULT_VARIABLE rc OUTPUT_VARIABLE out)
string(FIND "${out}" "Usage: sorvelin-render SONG.svl -o OUT.mid" at)
expect("--help: ${rc} ${out}" rc EQUAL 0 AND at GREATER -1)
execute_process(COMMAND ${RENDER} ${DATA}/song.svl RESULT_VARIABLE rc ERROR_VARIABLE err)
expect("no -o accepted" NOT rc EQUAL 0)

# --wav, when this build has the synthesizer: a WAV file beside the MIDI file.
if(WAV)
    execute_process(COMMAND ${RENDER} ${DATA}/song.svl -o wav.mid --wav out.wav
                    WORKING_DIRECTORY ${WORK}/tables RESULT_VARIABLE rc ERROR_VARIABLE err)
    expect("--wav failed (${rc}): ${err}" rc EQUAL 0)
    file(READ ${WORK}/tables/out.wav head LIMIT 4 HEX)
    file(SIZE ${WORK}/tables/out.wav size)
    # At least the 3.5 s of the song (ticks 0 to 840), 16-bit stereo at 44.1 kHz.
    expect("out.wav is not a WAV file of the song (${size} bytes)"
           head STREQUAL "52494646" AND size GREATER 617400)
endif()
