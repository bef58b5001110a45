# sorvelin: the desktop program.
# Its command line is plain C++, read before the application (and a display) exists.
sorvelin_library(sorvelin_app_commandline
    SOURCES CommandLine.cpp)
target_compile_definitions(sorvelin_app_commandline PRIVATE
    SORVELIN_VERSION="${PROJECT_VERSION}")
if(SORVELIN_WITH_QT)
    sorvelin_library(sorvelin_app_startup QT
        SOURCES StartUp.cpp StartUp.h OpenSong.cpp OpenSong.h
        DEPS sorvelin_midi sorvelin_explorer_window sorvelin_output_window
             sorvelin_compose_window sorvelin_tracks_window)
    add_executable(sorvelin main.cpp)
    target_link_libraries(sorvelin PRIVATE sorvelin_flags sorvelin_app_startup
                          sorvelin_app_commandline)
endif()
