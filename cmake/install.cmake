# The installed layout: <prefix>/lib/mervok/ is the program folder, laid out
# as build/dist/ is (the programs find their companions through their real
# path); <prefix>/bin holds links to the two programs. Settings go per user
# there (app/settings_folder), since the program folder is not writable.
include(GNUInstallDirs)

set(MERVOK_INSTALL_FOLDER lib/mervok)
set(MERVOK_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# Targets that exist in this configuration; the viewer and the window need Qt.
set(mervok_programs mervok-search)
if(TARGET mervok)
  list(APPEND mervok_programs mervok)
endif()
if(TARGET quorvix)
  list(APPEND mervok_programs quorvix)
endif()
install(TARGETS ${mervok_programs} RUNTIME DESTINATION ${MERVOK_INSTALL_FOLDER})
install(TARGETS unlha32 unzip32 cab32 LIBRARY DESTINATION ${MERVOK_INSTALL_FOLDER})
# Marks the folder as installed: settings then go per user, also for root.
file(WRITE ${CMAKE_BINARY_DIR}/packaging/per-user-settings
     "Mervok keeps its settings in ~/.config/mervok/ when this file is beside it.\n")
install(FILES ${MERVOK_DIST_DIR}/Quorvix.ini ${MERVOK_DIST_DIR}/mervok.hlp
              ${CMAKE_BINARY_DIR}/packaging/per-user-settings
        DESTINATION ${MERVOK_INSTALL_FOLDER})
install(FILES src/archivers/plugins/archiver.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mervok)

foreach(program mervok mervok-search)
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK ../${MERVOK_INSTALL_FOLDER}/${program} \"\${bin}/${program}\" SYMBOLIC)")
endforeach()

# Desktop integration: menu entry, icons, AppStream metadata, manual pages.
install(FILES ${MERVOK_PACKAGING_DIR}/mervok.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 256)
  install(FILES src/ui/icons/mervok_${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME mervok.png)
endforeach()
configure_file(${MERVOK_PACKAGING_DIR}/io.example.mervok.metainfo.xml
               ${CMAKE_BINARY_DIR}/packaging/io.example.mervok.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/io.example.mervok.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(page mervok mervok-search)
  configure_file(${MERVOK_PACKAGING_DIR}/${page}.1 ${CMAKE_BINARY_DIR}/packaging/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz
    COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/packaging/${page}.1 > ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/${page}.1)
  list(APPEND mervok_man_pages ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz)
endforeach()
add_custom_target(mervok_man_pages ALL DEPENDS ${mervok_man_pages})
install(FILES ${mervok_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${MERVOK_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mervok)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9n -c ${MERVOK_PACKAGING_DIR}/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${MERVOK_PACKAGING_DIR}/changelog)
add_custom_target(mervok_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mervok)

# cpack -G DEB: a Debian package whose dependencies come from the binaries.
set(CPACK_PACKAGE_NAME mervok)
set(CPACK_PACKAGE_VENDOR "${MERVOK_MAKER}")
set(CPACK_PACKAGE_CONTACT "Mervok developers <dev@mervok.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find archives that hold documents and read them")
set(CPACK_PACKAGE_DESCRIPTION
    "Mervok walks a folder for LHA, ZIP and CAB archives and self-extracting
programs, keeps those that hold at least one document, lists them, and opens
the one you pick in its document viewer. mervok-search runs the same search
from a shell.")
set(CPACK_PACKAGE_HOMEPAGE_URL "${MERVOK_HOME_PAGE}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The private libraries in lib/mervok are found by path, not by the loader.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/dist)
# Every caption is Japanese: without a Japanese font the window is boxes.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, shared-mime-info, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
