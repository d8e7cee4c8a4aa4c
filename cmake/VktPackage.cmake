# Installation into the usual places of a Linux desktop and the Debian package made from it by
# CPack (scripts/package.sh): the program, its help, manual page, bash completion, menu entry,
# icons and AppStream metainfo.

if(WIN32 OR NOT VKT_BUILD_GUI)
  return()
endif()

include(GNUInstallDirs)

set(VKT_APP_ID "ru.tervolin.vkt_rs7")
# Where the project's pages and the docs/ pictures are published: the metainfo's homepage and
# screenshots point there.
set(VKT_WEB_URL "https://example.org/vkt-rs7" CACHE STRING "Web address of the project's pages")
set(VKT_MAINTAINER_EMAIL "maintainers@users.noreply.c-seed-c09a1e33.example" CACHE STRING
    "Address of the package's maintainers")

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_gen ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_gen})
configure_file(${_pkg}/${VKT_APP_ID}.metainfo.xml.in ${_gen}/${VKT_APP_ID}.metainfo.xml @ONLY)
configure_file(${_pkg}/vkt-rs7.1 ${_gen}/vkt-rs7.1 @ONLY)
configure_file(${_pkg}/changelog ${_gen}/changelog @ONLY)

# Debian wants manual pages and changelogs compressed, reproducibly (no name, no time stamp).
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
  OUTPUT ${_gen}/vkt-rs7.1.gz ${_gen}/changelog.gz
  COMMAND ${GZIP_PROGRAM} -9nkf ${_gen}/vkt-rs7.1
  COMMAND ${GZIP_PROGRAM} -9nkf ${_gen}/changelog
  DEPENDS ${_gen}/vkt-rs7.1 ${_gen}/changelog
  COMMENT "Compressing the manual page and the changelog")
add_custom_target(vkt_package_docs ALL DEPENDS ${_gen}/vkt-rs7.1.gz ${_gen}/changelog.gz)

install(TARGETS vkt-rs7 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_gen}/vkt-rs7.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_pkg}/vkt-rs7.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME vkt-rs7)
install(FILES ${_pkg}/${VKT_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_gen}/${VKT_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_pkg}/vkt-rs7.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${_pkg}/icons/${size}x${size}/vkt-rs7.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/vkt-rs7)
install(FILES ${_pkg}/copyright ${_gen}/changelog.gz ${PROJECT_SOURCE_DIR}/src/ui/help/help.html DESTINATION ${_doc})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vkt-rs7)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VKT-RS7 maintainers")
set(CPACK_PACKAGE_CONTACT "VKT-RS7 maintainers <${VKT_MAINTAINER_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "measurements of the VKT-RS7 dynamic plate load tester")
# The synopsis is the summary above; CPack indents every line of the body itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Downloads the memory of the VKT-RS7 dynamic plate load tester over a serial
line into dBase IV measurement files, shows them in a grid with statistics,
plots the force and displacement of each drop, prints reports and exports
Excel workbooks (.xls, .xlsx), CSV text and PDF. Files of the ZRN2-RS7
pull-off tester are shown, printed and exported as well. The user interface
is in Russian.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts in Russian (message box buttons, file dialogs); the program runs without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VKT_WEB_URL})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
