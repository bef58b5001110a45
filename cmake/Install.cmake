# What `cmake --install` puts where, and the Debian package CPack builds from it.
include(GNUInstallDirs)

set(SORVELIN_APP_ID org.sorvelin.Sorvelin)

foreach(program sorvelin sorvelin-render)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

install(FILES data/scale.cfg data/rhythm.cfg DESTINATION ${CMAKE_INSTALL_DATADIR}/sorvelin)
# The example tunings: each .scl file is one more item of the Scale list.
install(DIRECTORY data/scales DESTINATION ${CMAKE_INSTALL_DATADIR}/sorvelin
        FILES_MATCHING PATTERN "*.scl" PATTERN "*.kbm")
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
install(FILES data/man/sorvelin-render.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sorvelin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Sorvelin developers <sorvelin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turn fractal pictures into music")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), libfluidsynth3 (>= 2.3), libasound2 (>= 1.2), timgm6mb-soundfont | fluid-soundfont-gm | musescore-general-soundfont, libc6, libstdc++6")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
