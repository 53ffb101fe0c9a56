# Hint window, control help, folder browser, version dialog and help file.
mervok_add_gui_test(dialogs_tests
  dialogs_qt_environment.cpp
  help_file_test.cpp
  tool_tip_test.cpp
  control_help_test.cpp
  folder_browser_test.cpp
  about_dialog_test.cpp
)

# The same pieces wired into the main window, and the hand-off of hits to the
# viewer.
mervok_add_gui_test(window_dialogs_tests
  frm_mervok_viewer_test.cpp
  gui_test_support.cpp
)
