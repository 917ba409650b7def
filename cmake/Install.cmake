# cmake --install: the three programs in bin/, the help file in share/fotolyx/ (where the
# window program looks when it is not beside it), the desktop entry, the icons, the AppStream
# metainfo, the manual pages (made from each program's --help), the bash completion of
# fotolyx-cli and the copyright file.
include(GNUInstallDirs)
set(FOTOLYX_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(man_pages)
# Program, then the NAME line of its manual page.
set(FOTOLYX_MAN_fotolyx "pictures, live view and uploads for the Vistacam camcorder")
set(FOTOLYX_MAN_fotolyx-cli "the Fotolyx commands without a display")
set(FOTOLYX_MAN_fotolyx-camsim "a simulated Vistacam camcorder on a pseudo-terminal")
foreach(program IN ITEMS fotolyx fotolyx-cli fotolyx-camsim)
  if(NOT TARGET ${program})
    continue()
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(page ${FOTOLYX_MAN_DIR}/${program}.1.gz)
  set(extra ${PROJECT_SOURCE_DIR}/packaging/man/${program}.extra)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
            ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
            "-DSUMMARY=${FOTOLYX_MAN_${program}}" -DVERSION=${PROJECT_VERSION}
            -DEXTRA=${extra} -DOUTPUT=${page} -P ${PROJECT_SOURCE_DIR}/cmake/MakeManPage.cmake
    DEPENDS ${program} ${extra} ${PROJECT_SOURCE_DIR}/cmake/MakeManPage.cmake
    COMMENT "Writing the manual page of ${program}"
    VERBATIM)
  list(APPEND man_pages ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(fotolyx_man_pages ALL DEPENDS ${man_pages})

if(TARGET fotolyx)
  install(FILES ${PROJECT_SOURCE_DIR}/src/gui/Fotlx.hlp DESTINATION ${CMAKE_INSTALL_DATADIR}/fotolyx)
  install(FILES ${PROJECT_SOURCE_DIR}/src/gui/fotolyx.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(DIRECTORY ${FOTOLYX_ICON_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/org.fotolyx.Fotolyx.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/packaging/org.fotolyx.Fotolyx.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/org.fotolyx.Fotolyx.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
if(TARGET fotolyx-cli)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/fotolyx-cli.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME fotolyx-cli)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/fotolyx)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog
               @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
add_custom_target(fotolyx_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/fotolyx)
