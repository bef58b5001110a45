# sorvelin: the desktop program.
if(SORVELIN_WITH_QT)
    sorvelin_library(sorvelin_app_startup QT
        SOURCES StartUp.cpp StartUp.h
        DEPS sorvelin_explorer_window sorvelin_output_window sorvelin_compose_window
             sorvelin_tracks_window)
    if(TARGET sorvelin_midi)
        target_link_libraries(sorvelin_app_startup PUBLIC sorvelin_midi)
        target_compile_definitions(sorvelin_app_startup PRIVATE SORVELIN_HAVE_NAME_TABLES)
    endif()
    add_executable(sorvelin main.cpp)
    target_link_libraries(sorvelin PRIVATE sorvelin_flags sorvelin_app_startup)
endif()
