#pragma once

#include <functional>

namespace mervok::quorvix {

class frmQuorvix;
class InstanceServer;

// What the program does, for main() and for drivers that time it.
struct RunHooks {
    // Called once the window is shown, before the event loop runs.
    std::function<void(frmQuorvix& window)> windowShown;
};

// The one viewer shows each archive handed over to it and comes to the front.
void ShowHandedOver(InstanceServer& server, frmQuorvix& window);

// Quorvix.exe [--entry NAME] [--find TEXT [-i]] [--line N] [ARCHIVE]
// (viewer/viewer_command_line): with an archive, shows it, at the entry and
// the text when asked (or hands all that to the running viewer when
// "PrevInstance" is 1); without, opens the options. The
// settings are Quorvix.ini in the settings folder (app/settings_folder: beside
// the program when the user may write there, else per user). SIGTERM and
// SIGINT close the window as the close box does. Returns the exit status.
int RunQuorvix(int argc, char** argv, const RunHooks& hooks = {});

}  // namespace mervok::quorvix
