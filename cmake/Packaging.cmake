# Installation into a standard prefix and the Debian package built from it
# (`make package`). Included last from the top-level CMakeLists.txt, once every
# target exists.
include(GNUInstallDirs)

install(TARGETS vastrel vastrel-phone RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The desktop menu entry and the icon theme: Icon=vastrel resolves through
# hicolor, so each size goes to its own folder under one name.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vastrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icons/vastrel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME vastrel.png)
endforeach()

# Manual pages, compressed as Debian expects them.
find_program(GZIP_PROGRAM gzip REQUIRED)
foreach(page vastrel vastrel-phone)
  set(manSource ${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
  set(manGz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${manGz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${manSource} > ${manGz}
    DEPENDS ${manSource} VERBATIM)
  list(APPEND manPages ${manGz})
endforeach()
add_custom_target(vastrel_man ALL DEPENDS ${manPages})
install(FILES ${manPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian wants a copyright file beside the documentation.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vastrel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vastrel)
set(CPACK_PACKAGE_VENDOR "Orlwen")
set(CPACK_PACKAGE_CONTACT "Orlwen <support@orlwen.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watches how long telephone lines are in use")
set(CPACK_PACKAGE_DESCRIPTION
    "Vastrel scans the watched lines of a telephony service at a set rate, keeps each line's\n"
    "current and total online time, raises an alarm when a call runs too long, keeps a data\n"
    "log of every scan and an incoming-call log, and lives in the notification area.\n"
    "It runs on a simulated telephone exchange by default; vastrel-phone drives it.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps turns the linked libraries into package names (libqt6widgets6,
# libqt6printsupport6, libqt6network6, libasound2, ...). The platform plugins
# and the CUPS print plugin come with libqt6gui6 and libqt6printsupport6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# xdg-open shows the help page and opens the data log in a text editor.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "printer-driver-cups-pdf")
include(CPack)
