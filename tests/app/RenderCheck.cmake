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

# --musicxml writes the score beside the MIDI file: plain, or the zip
# container for a name ending in .mxl.
execute_process(COMMAND ${RENDER} ${DATA}/song.svl -o out.mid --musicxml out.musicxml
                WORKING_DIRECTORY ${WORK}/tables RESULT_VARIABLE rc ERROR_VARIABLE err)
expect("render with --musicxml failed (${rc}): ${err}" rc EQUAL 0)
file(READ ${WORK}/tables/out.musicxml head LIMIT 400)
string(FIND "${head}" "<score-partwise version=\"4.0\">" at)
expect("out.musicxml is not a MusicXML 4.0 score: ${head}" at GREATER -1)
execute_process(COMMAND ${RENDER} ${DATA}/song.svl -o out.mid --musicxml out.MXL
                WORKING_DIRECTORY ${WORK}/tables RESULT_VARIABLE rc ERROR_VARIABLE err)
file(READ ${WORK}/tables/out.MXL head LIMIT 4 HEX)
expect("out.MXL is not a zip container (${rc}): ${err}" rc EQUAL 0 AND head STREQUAL "504b0304")

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

# The output paths. Each refusal exits non-zero with its reason, leaves the
# files that were there as they were and makes none; WORK/paths is scratch.
set(P ${WORK}/paths)
file(MAKE_DIRECTORY ${P}/folder)
file(COPY ${DATA}/scale.cfg ${DATA}/rhythm.cfg ${DATA}/song.svl DESTINATION ${P})
file(WRITE ${P}/old.mid "old")
file(WRITE ${P}/locked.mid "locked")
file(CHMOD ${P}/locked.mid PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
file(CREATE_LINK song.svl ${P}/song-link.svl SYMBOLIC)
execute_process(COMMAND mkfifo ${P}/pipe.svl)
# refuse(<reason> <arguments>...): run in WORK/paths, expect the reason.
function(refuse reason)
    file(GLOB_RECURSE before LIST_DIRECTORIES true ${P}/*)
    file(SHA256 ${P}/old.mid old)
    execute_process(COMMAND timeout 20 ${RENDER} ${ARGN} WORKING_DIRECTORY ${P}
                    RESULT_VARIABLE rc ERROR_VARIABLE err)
    string(FIND "${err}" "${reason}" at)
    string(FIND "${err}" "nothing was written" nothing)
    expect("'${ARGN}' gave ${rc}, not '${reason}': ${err}"
           rc EQUAL 1 AND at GREATER -1 AND nothing GREATER -1)
    file(GLOB_RECURSE after LIST_DIRECTORIES true ${P}/*)
    file(SHA256 ${P}/old.mid new)
    expect("'${ARGN}' changed the folder" before STREQUAL after AND old STREQUAL new)
endfunction()
refuse("are the same file" song.svl -o song.svl)
refuse("are the same file" song.svl -o old.mid --series song.svl)
refuse("are the same file" song.svl -o song-link.svl)
refuse("are the same file" song.svl -o old.mid --series ./old.mid)
refuse("are the same file" song.svl -o scale.cfg)
refuse("are the same file" song.svl -o new.mid --series folder/../new.mid)
refuse("are the same file" song.svl -o old.mid --wav old.mid)
refuse("are the same file" song.svl -o old.mid --musicxml ./old.mid)
refuse("are the same file" song.svl -o new.mid --musicxml song.svl)
refuse("No such file or directory" song.svl -o old.mid --musicxml missing/x.musicxml)
refuse("No such file or directory" song.svl -o old.mid --series missing/x.csv)
refuse("No such file or directory" song.svl -o old.mid --wav missing/x.wav)
refuse("is a directory" song.svl -o folder)
refuse("is write-protected" song.svl -o locked.mid)
refuse("is a directory" folder -o new.mid)
refuse("is not a regular file" pipe.svl -o new.mid)
refuse("Input/output error" /proc/self/mem -o new.mid)

# Accepted: --force replaces the write-protected file; a link's target is
# replaced and the link kept; a FIFO and /dev/null are written into and stay
# what they are (the FIFO's reader runs beside the program). /dev/null takes
# the WAV file, the largest output, when this build makes one.
execute_process(COMMAND ${RENDER} song.svl -o locked.mid --force WORKING_DIRECTORY ${P}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${P}/locked.mid ${DATA}/expected.mid
                RESULT_VARIABLE same)
expect("--force did not replace the write-protected file: ${err}" rc EQUAL 0 AND same EQUAL 0)
file(CREATE_LINK old.mid ${P}/out-link.mid SYMBOLIC)
execute_process(COMMAND mkfifo ${P}/out.fifo)
set(null)
if(WAV)
    set(null --wav /dev/null)
endif()
execute_process(COMMAND ${RENDER} song.svl -o out-link.mid --series out.fifo ${null}
                COMMAND timeout 20 cat out.fifo
                WORKING_DIRECTORY ${P} RESULT_VARIABLE rc ERROR_VARIABLE err
                OUTPUT_FILE ${P}/from-fifo.csv)
expect("writing through a link, into /dev/null and a FIFO failed (${rc}): ${err}" rc EQUAL 0)
expect("the link was replaced" IS_SYMLINK ${P}/out-link.mid)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${P}/old.mid ${DATA}/expected.mid
                RESULT_VARIABLE same)
expect("the link's target was not written" same EQUAL 0)
execute_process(COMMAND test -p ${P}/out.fifo RESULT_VARIABLE fifo)
execute_process(COMMAND test -c /dev/null RESULT_VARIABLE null)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${P}/from-fifo.csv ${DATA}/expected.csv
                RESULT_VARIABLE same)
expect("the FIFO or /dev/null was replaced, or the FIFO got other bytes"
       fifo EQUAL 0 AND null EQUAL 0 AND same EQUAL 0)

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

# The longest names a folder takes (255 bytes): each output is written under
# its own name, with nothing else left beside it.
file(MAKE_DIRECTORY ${WORK}/long)
string(REPEAT m 250 m250)
set(outs -o ${m250}.mid --series ${m250}.csv)
set(made ${m250}.csv ${m250}.mid)
if(WAV)
    list(APPEND outs --wav ${m250}.wav)
    list(APPEND made ${m250}.wav)
endif()
execute_process(COMMAND ${RENDER} ${DATA}/song.svl ${outs} WORKING_DIRECTORY ${WORK}/long
                RESULT_VARIABLE rc ERROR_VARIABLE err)
file(GLOB left RELATIVE ${WORK}/long ${WORK}/long/* ${WORK}/long/.*)
list(SORT left)
string(JOIN " " left ${left})
string(JOIN " " made ${made})
expect("254-byte output names failed (${rc}): ${err}" rc EQUAL 0 AND left STREQUAL made)
