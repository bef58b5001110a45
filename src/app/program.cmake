# sorvelin: the desktop program.
if(SORVELIN_WITH_QT)
    sorvelin_library(sorvelin_app_startup QT
        SOURCES StartUp.cpp StartUp.h
        DEPS sorvelin_midi sorvelin_explorer_window sorvelin_output_window
             sorvelin_compose_window sorvelin_tracks_window)
    add_executable(sorvelin main.cpp)
    target_link_libraries(sorvelin PRIVATE sorvelin_flags sorvelin_app_startup)
endif()
