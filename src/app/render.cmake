# sorvelin-render: the composition pipeline without windows.
add_executable(sorvelin-render RenderMain.cpp)
target_link_libraries(sorvelin-render PRIVATE sorvelin_flags sorvelin_compose_model)
# Offline WAV rendering joins when the output layer and its synthesizer are built.
if(TARGET sorvelin_output_model AND TARGET sorvelin_midiout_audio)
    target_link_libraries(sorvelin-render PRIVATE sorvelin_output_model)
    target_compile_definitions(sorvelin-render PRIVATE SORVELIN_HAVE_WAV)
endif()
