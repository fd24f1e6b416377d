# Installation in the usual layout and the Debian package.
#
#   bin/                          tilewright, tilewright-cli
#   share/tilewright/             images/, sample-main.jpg, DefaultImgList.IL2
#                                 (the template the program starts from), help.pdf
#   share/applications/           the desktop entry
#   share/icons/hicolor/          the icon in the usual sizes and as SVG
#   share/metainfo/               the AppStream description
#   share/man/man1/               the manual pages
#
# An installed program finds share/tilewright from its own folder (see
# src/platform/program_files.h), so any CMAKE_INSTALL_PREFIX works and the
# tree may be moved as a whole.
set(TW_APP_ID example.tilewright.Tilewright)
set(TW_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tilewright)
set(TW_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)

install(TARGETS tilewright-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages, compressed as Debian keeps them (man reads either form).
set(TW_MAN_GZ ${CMAKE_BINARY_DIR}/man/tilewright-cli.1.gz ${CMAKE_BINARY_DIR}/man/tilewright.1.gz)
add_custom_command(
  OUTPUT ${TW_MAN_GZ}
  COMMAND ${CMAKE_COMMAND} -E copy ${TW_DIST_DIR}/tilewright.1 ${CMAKE_BINARY_DIR}/man/tilewright.1
  COMMAND gzip -n -9 -f -k ${CMAKE_BINARY_DIR}/man/tilewright-cli.1 ${CMAKE_BINARY_DIR}/man/tilewright.1
  DEPENDS ${CMAKE_BINARY_DIR}/man/tilewright-cli.1 ${TW_DIST_DIR}/tilewright.1
  COMMENT "Compressing the manual pages"
  VERBATIM)
add_custom_target(tilewright_man_gz ALL DEPENDS ${TW_MAN_GZ})
add_dependencies(tilewright_man_gz tilewright_man)
install(FILES ${CMAKE_BINARY_DIR}/man/tilewright-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TILEWRIGHT_GUI)
  install(TARGETS tilewright RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/man/tilewright.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_BINARY_DIR}/bin/help.pdf DESTINATION ${TW_DATA_DIR})
  install(FILES ${TW_DIST_DIR}/${TW_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${TW_DIST_DIR}/${TW_APP_ID}.metainfo.xml.in ${CMAKE_BINARY_DIR}/${TW_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${TW_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
endif()

if(TILEWRIGHT_SAMPLES)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/images DESTINATION ${TW_DATA_DIR}
          FILES_MATCHING PATTERN "*.jpg" PATTERN "*.bmp")
  install(FILES ${CMAKE_BINARY_DIR}/bin/sample-main.jpg DESTINATION ${TW_DATA_DIR})
  # The default list template names the installed pictures by their final
  # paths, so it is written at install time, when the prefix is known.
  install(CODE "
    set(TW_DATA_PATH \"${TW_DATA_DIR}\")
    if(NOT IS_ABSOLUTE \"\${TW_DATA_PATH}\")
      set(TW_DATA_PATH \"\${CMAKE_INSTALL_PREFIX}/\${TW_DATA_PATH}\")
    endif()
    include(\"${TW_DIST_DIR}/write_default_list.cmake\")
  ")
endif()

# The Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tilewright)
set(CPACK_PACKAGE_VENDOR "Tilewright")
set(CPACK_PACKAGE_CONTACT "Tilewright developers <tilewright@tilewright.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photomosaic creator")
set(CPACK_PACKAGE_DESCRIPTION
  "Tilewright divides a main picture into a grid of cells and gives every cell
the library photograph whose colours fit it best, then draws a large mosaic of
small colour-adjusted photographs. The desktop program shows, edits, saves and
prints the mosaic; tilewright-cli makes mosaics from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tilewright.example/")
# Library dependencies come from dpkg-shlibdeps; the windows need a font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
