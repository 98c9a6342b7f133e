# What `cmake --install` puts where, by the GNU folder names (prefix /usr/local unless set):
#   bin/quorvel                                    the program
#   share/applications/example.quorvel.Quorvel.desktop   its menu entry
#   share/metainfo/example.quorvel.Quorvel.metainfo.xml  its AppStream description
#   share/icons/hicolor/<size>/apps/quorvel.png|svg      its icon, at the usual sizes and scalable
#   share/quorvel/translations/quorvel_<lang>.qm   its translations (found from bin/ as ../share/...)
#   share/man/man1/quorvel.1.gz                    its manual page
#   share/doc/quorvel/{copyright,changelog.gz}     the notices a Debian package carries
include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(QUORVEL_DATA ${PROJECT_SOURCE_DIR}/data)
set(QUORVEL_APP_ID example.quorvel.Quorvel)

install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${QUORVEL_QM_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvel/translations)
install(FILES ${QUORVEL_DATA}/${QUORVEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUORVEL_DATA}/${QUORVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${QUORVEL_DATA}/icons/hicolor/${size}x${size}/apps/quorvel.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${QUORVEL_DATA}/icons/hicolor/scalable/apps/quorvel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Compressed without a name or a time stamp, so that the files are the same from build to build.
find_program(QUORVEL_GZIP gzip REQUIRED)
set(QUORVEL_MANPAGE ${CMAKE_BINARY_DIR}/data/quorvel.1.gz)
set(QUORVEL_CHANGELOG ${CMAKE_BINARY_DIR}/data/changelog.gz)
add_custom_command(OUTPUT ${QUORVEL_MANPAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data
  COMMAND ${QUORVEL_GZIP} -9nc ${QUORVEL_DATA}/quorvel.1 > ${QUORVEL_MANPAGE}
  DEPENDS ${QUORVEL_DATA}/quorvel.1 VERBATIM)
add_custom_command(OUTPUT ${QUORVEL_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data
  COMMAND ${QUORVEL_GZIP} -9nc ${QUORVEL_DATA}/changelog > ${QUORVEL_CHANGELOG}
  DEPENDS ${QUORVEL_DATA}/changelog VERBATIM)
add_custom_target(quorvel_data ALL DEPENDS ${QUORVEL_MANPAGE} ${QUORVEL_CHANGELOG})

install(FILES ${QUORVEL_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The package's own name, not the project's (CMAKE_INSTALL_DOCDIR would say "Quorvel").
install(FILES ${QUORVEL_DATA}/copyright ${QUORVEL_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvel)
