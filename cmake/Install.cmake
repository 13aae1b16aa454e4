# Installing Quorvex on a Linux desktop, and the Debian package made from the same rules.
#
#   <prefix>/lib/quorvex/   the program folder: Quorvex, update, winaqua.mys, update.dat
#   <prefix>/bin/quorvex    a launcher that starts the program folder's Quorvex
#   <prefix>/share/applications/<id>.desktop
#   <prefix>/share/icons/hicolor/scalable/apps/<id>.svg, and PNG renderings of it in
#            hicolor/<n>x<n>/apps for n = 16 32 48 64 128 256
#   <prefix>/share/metainfo/<id>.metainfo.xml
#   where <id> is the application id QUORVEX_APP_ID (io.github.quorvex.Quorvex)
#   <prefix>/share/man/man1/quorvex.1.gz
#   <prefix>/share/doc/quorvex/copyright, changelog.gz
#
# Both programs find their files beside their own executable, so the program folder is
# installed as one piece and nothing of it goes to bin/. Only these files get install
# rules: no headers, libraries or test programs.

set(QUORVEX_INSTALL_PROGRAM_DIR lib/quorvex)
set(QUORVEX_INSTALL_BIN_DIR bin)
set(QUORVEX_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS Quorvex update
        RUNTIME DESTINATION ${QUORVEX_INSTALL_PROGRAM_DIR})

# The build has already put the skin and update.dat into the program folder; install those
# very copies so an installed tree matches the built one.
install(FILES ${QUORVEX_PROGRAM_DIR}/winaqua.mys ${QUORVEX_PROGRAM_DIR}/update.dat
        DESTINATION ${QUORVEX_INSTALL_PROGRAM_DIR})

# The launcher reaches the program folder by a path relative to itself, so the prefix can move.
file(RELATIVE_PATH QUORVEX_LAUNCHER_TO_PROGRAM
     /prefix/${QUORVEX_INSTALL_BIN_DIR} /prefix/${QUORVEX_INSTALL_PROGRAM_DIR})
configure_file(${QUORVEX_PACKAGING_DIR}/quorvex.sh.in ${CMAKE_BINARY_DIR}/packaging/quorvex @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/quorvex
        DESTINATION ${QUORVEX_INSTALL_BIN_DIR})

configure_file(${QUORVEX_PACKAGING_DIR}/quorvex.desktop.in ${CMAKE_BINARY_DIR}/packaging/${QUORVEX_APP_ID}.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${QUORVEX_APP_ID}.desktop
        DESTINATION share/applications)
install(FILES ${QUORVEX_PACKAGING_DIR}/quorvex.svg
        DESTINATION share/icons/hicolor/scalable/apps RENAME ${QUORVEX_APP_ID}.svg)

# PNG icons for menus and docks that want pixels, rendered from the one SVG at build time.
set(QUORVEX_ICON_SIZES 16 32 48 64 128 256)
find_program(QUORVEX_RSVG_CONVERT rsvg-convert)
if(QUORVEX_RSVG_CONVERT)
  set(QUORVEX_PNG_ICONS)
  foreach(size ${QUORVEX_ICON_SIZES})
    set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/${QUORVEX_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}
      COMMAND ${QUORVEX_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${QUORVEX_PACKAGING_DIR}/quorvex.svg
      DEPENDS ${QUORVEX_PACKAGING_DIR}/quorvex.svg
      COMMENT "Rendering the ${size}x${size} icon"
      VERBATIM)
    list(APPEND QUORVEX_PNG_ICONS ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(icons ALL DEPENDS ${QUORVEX_PNG_ICONS})
else()
  message(WARNING "rsvg-convert not found (package librsvg2-bin): no PNG icons, only the SVG one")
endif()

# The manual page, the changelog and the copyright notice, as Debian lays them out: pages
# and changelogs compressed with gzip -9n (no name or time stamp, so builds repeat exactly).
find_program(QUORVEX_GZIP gzip REQUIRED)
configure_file(${QUORVEX_PACKAGING_DIR}/quorvex.1.in ${CMAKE_BINARY_DIR}/packaging/quorvex.1 @ONLY)
configure_file(${QUORVEX_PACKAGING_DIR}/quorvex.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/${QUORVEX_APP_ID}.metainfo.xml @ONLY)
set(QUORVEX_GZIPPED)
foreach(pair "quorvex.1;${CMAKE_BINARY_DIR}/packaging/quorvex.1" "changelog;${QUORVEX_PACKAGING_DIR}/changelog")
  list(GET pair 0 name)
  list(GET pair 1 source)
  set(gz ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${QUORVEX_GZIP} -9 -n -c ${source} > ${gz}
    DEPENDS ${source}
    COMMENT "Compressing ${name}")
  list(APPEND QUORVEX_GZIPPED ${gz})
endforeach()
add_custom_target(packaging_docs ALL DEPENDS ${QUORVEX_GZIPPED})

install(FILES ${CMAKE_BINARY_DIR}/packaging/${QUORVEX_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${CMAKE_BINARY_DIR}/packaging/quorvex.1.gz DESTINATION share/man/man1)
install(FILES ${QUORVEX_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION share/doc/quorvex)

# --- Debian package: `cpack -G DEB` in the build folder -------------------------------------
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bulk domain name checker (rule-based candidates, WHOIS)")
set(CPACK_PACKAGE_DESCRIPTION "\
Quorvex enumerates candidate domain names from a short rule (groups of digits,
letters, pinyin initials and finals) for the ticked top-level domains and asks
the WHOIS server of each registry whether the name is taken. Free names are
collected in a list of their own; lists can be saved and imported again.
The interface is in Simplified Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME quorvex)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvex developers <quorvex@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# The Qt libraries come from dpkg-shlibdeps where it is at hand (it also adds libc and
# libstdc++ with the versions this build needs; CPack needs `file` beside it to find the
# programs); otherwise they are listed by hand. The platform plugins and a font with the
# Chinese captions are loaded at run time, so no linker can see them.
option(QUORVEX_DEB_SHLIBDEPS "Work out the Debian package's library dependencies with dpkg-shlibdeps" ON)
set(QUORVEX_DEB_RUNTIME "qt6-qpa-plugins, fonts-wqy-microhei, qt6-translations-l10n")
find_program(QUORVEX_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(QUORVEX_FILE_PROGRAM file)
if(QUORVEX_DEB_SHLIBDEPS AND QUORVEX_DPKG_SHLIBDEPS AND QUORVEX_FILE_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${QUORVEX_DEB_RUNTIME}")
else()
  set(QUORVEX_QT_MIN "${Qt6_VERSION_MAJOR}.${Qt6_VERSION_MINOR}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= ${QUORVEX_QT_MIN}), libqt6gui6 (>= ${QUORVEX_QT_MIN}), libqt6widgets6 (>= ${QUORVEX_QT_MIN}), libqt6network6 (>= ${QUORVEX_QT_MIN}), ${QUORVEX_DEB_RUNTIME}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
