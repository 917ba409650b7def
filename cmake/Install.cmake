# cmake --install: the three programs in bin/, the help file in share/fotolyx/ (where the
# window program looks when it is not beside it), the desktop entry and the icons.
if(TARGET fotolyx)
  install(TARGETS fotolyx RUNTIME DESTINATION bin)
  install(FILES ${PROJECT_SOURCE_DIR}/src/gui/Fotlx.hlp DESTINATION share/fotolyx)
  install(FILES ${PROJECT_SOURCE_DIR}/src/gui/fotolyx.desktop DESTINATION share/applications)
  install(DIRECTORY ${FOTOLYX_ICON_DIR}/ DESTINATION share/icons/hicolor)
endif()
foreach(program IN ITEMS fotolyx-cli fotolyx-camsim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()
