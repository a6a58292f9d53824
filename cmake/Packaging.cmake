# Installation into a standard prefix and the Debian package built from it
# (`make package`). Included last from the top-level CMakeLists.txt, once every
# target exists.
include(GNUInstallDirs)

install(TARGETS vastrel vastrel-phone RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (CPack's) also drops the compilers' version strings in
# .comment, as Debian's dh_strip does.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program vastrel vastrel-phone)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

# The desktop menu entry and the icon theme: Icon=vastrel resolves through
# hicolor, so each size goes to its own folder under one name.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vastrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icons/vastrel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME vastrel.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icons/vastrel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# What software centres list. The file is named after its component id, which
# is reverse-DNS as AppStream wants; the desktop entry is its launchable.
set(metainfoSource ${PROJECT_SOURCE_DIR}/packaging/vastrel.metainfo.xml)
install(FILES ${metainfoSource} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME example.orlwen.vastrel.metainfo.xml)

# The newest <release> in the metainfo (AppStream lists newest first) must be
# this version: a forgotten entry would show software centres an old release.
# Its date also dates the Debian changelog, so the package is reproducible.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${metainfoSource})
file(READ ${metainfoSource} metainfo)
if(NOT metainfo MATCHES "<release version=\"([^\"]+)\" date=\"([0-9]+)-([0-9]+)-([0-9]+)\"")
  message(FATAL_ERROR "${metainfoSource}: no <release version=\"...\" date=\"YYYY-MM-DD\">")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "${metainfoSource}: the newest release is ${CMAKE_MATCH_1}, the project "
                      "is ${PROJECT_VERSION}: add a <release> entry")
endif()
# Days since 1970-01-01 of that date (the proleptic Gregorian calendar, as in
# Howard Hinnant's days_from_civil), as seconds for string(TIMESTAMP).
math(EXPR year "${CMAKE_MATCH_2}")
math(EXPR month "${CMAKE_MATCH_3}")
math(EXPR day "${CMAKE_MATCH_4}")
if(month LESS_EQUAL 2)
  math(EXPR year "${year} - 1")
  math(EXPR monthFromMarch "${month} + 9")
else()
  math(EXPR monthFromMarch "${month} - 3")
endif()
math(EXPR era "${year} / 400")
math(EXPR yearOfEra "${year} - ${era} * 400")
math(EXPR dayOfYear "(153 * ${monthFromMarch} + 2) / 5 + ${day} - 1")
math(EXPR dayOfEra "${yearOfEra} * 365 + ${yearOfEra} / 4 - ${yearOfEra} / 100 + ${dayOfYear}")
math(EXPR releaseEpoch "(${era} * 146097 + ${dayOfEra} - 719468) * 86400")
# string(TIMESTAMP) formats SOURCE_DATE_EPOCH when it is set.
set(savedSourceDateEpoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${releaseEpoch})
string(TIMESTAMP VASTREL_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${savedSourceDateEpoch}")

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

# Debian wants a copyright file and the package's changelog beside the
# documentation; the changelog's version is this project's and the package
# release below.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(VASTREL_DEB_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vastrel)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in
               ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
set(changelogGz ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_command(OUTPUT ${changelogGz}
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_BINARY_DIR}/packaging/changelog.Debian > ${changelogGz}
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian VERBATIM)
add_custom_target(vastrel_changelog ALL DEPENDS ${changelogGz})
install(FILES ${changelogGz} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vastrel)

# The help page, registered with doc-base (its dpkg trigger picks the file up).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vastrel.doc-base
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base RENAME vastrel)

# Tags that cannot apply to this package, each with its reason in the file.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME vastrel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vastrel)
set(CPACK_PACKAGE_VENDOR "Orlwen")
set(CPACK_PACKAGE_CONTACT "Orlwen <support@orlwen.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watches how long telephone lines are in use")
# One string: set() with several arguments would join them with ";". Lines
# stay within 80 columns in the control file (lintian counts the leading blank).
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Vastrel scans the watched lines of a telephony service at a set rate, keeps\n"
    "each line's current and total online time, raises an alarm when a call runs\n"
    "too long, keeps a data log of every scan and an incoming-call log, and lives\n"
    "in the notification area.\n"
    "It runs on a simulated telephone exchange by default; vastrel-phone drives it.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
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
