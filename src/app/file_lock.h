#pragma once

#include <string>

namespace mervok {

// Serialises the read-edit-replace of one settings file between processes:
// the window, the viewer and mervok-search may each write the same file, and
// a replace made from an older read would drop what another process wrote
// meanwhile. An advisory lock (flock) on a lock file beside the settings
// file (".NAME.lock", made once and left there; the settings file itself is
// replaced by each write, so it cannot carry the lock). Held until the object
// goes; a holder that does not let go within kMaxWaitMs counts as a failure,
// so that a hung process cannot hang every writer.
class SettingsFileLock {
  public:
    static constexpr int kMaxWaitMs = 10000;

    explicit SettingsFileLock(const std::string& settingsPath);
    SettingsFileLock(const SettingsFileLock&) = delete;
    SettingsFileLock& operator=(const SettingsFileLock&) = delete;
    ~SettingsFileLock();

    // False only when another process held the lock for longer than
    // kMaxWaitMs; the caller then does not write. Where no lock file can be
    // made (a read-only folder) the write goes on unlocked: the replace
    // cannot be made there either, and a write that changes nothing still
    // succeeds as before.
    bool MayWrite() const { return mMayWrite; }

    // The lock file's path for a settings file.
    static std::string LockPath(const std::string& settingsPath);

  private:
    int mFd = -1;
    bool mMayWrite = true;
};

}  // namespace mervok
