# What `cmake --install` puts where, and the Debian package CPack builds from it.
include(GNUInstallDirs)

set(SORVELIN_APP_ID org.sorvelin.Sorvelin)

foreach(program sorvelin sorvelin-render)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

set(SORVELIN_TABLES data/scale.cfg data/rhythm.cfg)
install(FILES ${SORVELIN_TABLES} DESTINATION ${CMAKE_INSTALL_DATADIR}/sorvelin)
# The example tunings: each .scl file is one more item of the Scale list.
install(DIRECTORY data/scales DESTINATION ${CMAKE_INSTALL_DATADIR}/sorvelin
        FILES_MATCHING PATTERN "*.scl" PATTERN "*.kbm")
# The build tree holds them where the installed layout does (share/sorvelin
# beside bin/), so the program run from it finds the example tables too.
set(SORVELIN_BUILD_DATA_DIR ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_DATADIR}/sorvelin)
add_custom_target(sorvelin_build_data ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SORVELIN_BUILD_DATA_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${SORVELIN_TABLES} ${SORVELIN_BUILD_DATA_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_directory data/scales ${SORVELIN_BUILD_DATA_DIR}/scales
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Copying the example tables into the build tree")
foreach(program sorvelin sorvelin-render)
    if(TARGET ${program})
        add_dependencies(${program} sorvelin_build_data)
    endif()
endforeach()
install(FILES data/${SORVELIN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${SORVELIN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES data/icons/sorvelin.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${SORVELIN_APP_ID}.svg)
foreach(size 16 32 48 64 128 256)
    install(FILES data/icons/sorvelin-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${SORVELIN_APP_ID}.png)
endforeach()
install(FILES data/${SORVELIN_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${SORVELIN_APP_ID}.xml)

# Man pages and the Debian changelog go compressed, as a distribution ships them
# (gzip -n: no name or time stamp, so the package is the same on every build).
find_program(SORVELIN_GZIP gzip REQUIRED)
set(SORVELIN_COMPRESSED)
foreach(source data/man/sorvelin.1 data/man/sorvelin-render.1 data/changelog)
    get_filename_component(name ${source} NAME)
    set(packed ${CMAKE_BINARY_DIR}/packed/${name}.gz)
    add_custom_command(OUTPUT ${packed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packed
        COMMAND ${SORVELIN_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/${source} > ${packed}
        DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
    list(APPEND SORVELIN_COMPRESSED ${packed})
endforeach()
add_custom_target(sorvelin_compressed_docs ALL DEPENDS ${SORVELIN_COMPRESSED})
install(FILES ${CMAKE_BINARY_DIR}/packed/sorvelin.1.gz ${CMAKE_BINARY_DIR}/packed/sorvelin-render.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES data/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sorvelin)
install(FILES ${CMAKE_BINARY_DIR}/packed/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sorvelin
        RENAME changelog.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sorvelin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Sorvelin developers <sorvelin@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turn fractal pictures into music")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link (Qt, FluidSynth, ALSA, JACK, libsndfile,
# the C and C++ runtimes) are read from the binaries by dpkg-shlibdeps, so a
# new link cannot be forgotten here; only what no binary links is named: a
# General MIDI SoundFont for the built-in synthesizer.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "timgm6mb-soundfont | fluid-soundfont-gm | musescore-general-soundfont")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The programs without their debug information: that stays in the build tree.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION "Sorvelin shows an escape-time fractal; a line drawn across it is read into
sixteen number series that become notes of a scale and rhythm. The song plays
on a built-in synthesizer or any ALSA sequencer port and is saved as a
Standard MIDI File or a song file. sorvelin-render does the same without
windows.")
include(CPack)
