# The window's helpers that stand on their own: hint window, control hints and
# help, folder browser and version dialog. The main window wires them in.
target_sources(mervok_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/tool_tip.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_tip.h
  ${CMAKE_CURRENT_LIST_DIR}/control_help.cpp
  ${CMAKE_CURRENT_LIST_DIR}/control_help.h
  ${CMAKE_CURRENT_LIST_DIR}/folder_browser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about_dialog.h
  ${CMAKE_CURRENT_LIST_DIR}/viewer_hand_off.cpp
  ${CMAKE_CURRENT_LIST_DIR}/viewer_hand_off.h
)

# The help file sits beside the program under the executable's name.
configure_file(${PROJECT_SOURCE_DIR}/dist/mervok.hlp ${MERVOK_DIST_DIR}/mervok.hlp COPYONLY)
