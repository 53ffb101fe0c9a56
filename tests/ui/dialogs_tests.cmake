# Hint window, control help, folder browser, version dialog and help file.
mervok_add_gui_test(dialogs_tests
  dialogs_qt_environment.cpp
  help_file_test.cpp
  tool_tip_test.cpp
  control_help_test.cpp
  folder_browser_test.cpp
  about_dialog_test.cpp
  viewer_hand_off_test.cpp
)
