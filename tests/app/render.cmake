# sorvelin-render end to end, against a MIDI file checked by hand.
if(TARGET sorvelin-render AND NOT SORVELIN_SANITIZE)
    set(wav OFF)
    if(TARGET sorvelin_midiout_audio AND TARGET sorvelin_output_model)
        set(wav ON)
    endif()
    add_test(NAME app_render_end_to_end
             COMMAND ${CMAKE_COMMAND} -DRENDER=$<TARGET_FILE:sorvelin-render> -DWAV=${wav}
                     -DDATA=${CMAKE_SOURCE_DIR}/tests/data/render
                     -DWORK=${CMAKE_CURRENT_BINARY_DIR}/render-check
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/RenderCheck.cmake)
endif()

if(TARGET sorvelin-render AND NOT SORVELIN_SANITIZE)
    add_test(NAME app_build_tree_finds_example_tables
             COMMAND ${CMAKE_COMMAND} -DRENDER=$<TARGET_FILE:sorvelin-render>
                     -DDATA=${CMAKE_SOURCE_DIR}/tests/data/render
                     -DWORK=${CMAKE_CURRENT_BINARY_DIR}/build-tree-tables
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/BuildTreeTables.cmake)
endif()
