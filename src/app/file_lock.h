#pragma once

#include <string>

namespace mervok {

// An advisory lock (flock) that processes take turns on, on a lock file
// beside a path (".NAME.lock", made once and left there). The settings
// writers hold it around a file's read-edit-replace (the window, the viewer
// and mervok-search may each write the same file, and a replace made from an
// older read would drop what another wrote meanwhile; the file itself is
// replaced by each write, so it cannot carry the lock); viewers starting at
// the same moment hold it beside their socket's name around handing over or
// listening. Held until the object goes; a holder that does not let go within
// kMaxWaitMs counts as a failure, so that a hung process cannot hang the rest.
class FileLockBeside {
  public:
    static constexpr int kMaxWaitMs = 10000;
    static constexpr int kCurrentFolder = -100;  // AT_FDCWD

    // path: relative to the open folder when one is given (the lock file is
    // then made in that very folder, whatever its path names meanwhile).
    explicit FileLockBeside(const std::string& path, int folder = kCurrentFolder);
    FileLockBeside(const FileLockBeside&) = delete;
    FileLockBeside& operator=(const FileLockBeside&) = delete;
    ~FileLockBeside();

    // False only when another process held the lock for longer than
    // kMaxWaitMs; a writer then does not write. Where no lock file can be
    // made (a read-only folder) this is true all the same, unlocked: a
    // settings file's replace cannot be made there either, and a write that
    // changes nothing still succeeds.
    bool MayWrite() const { return mMayWrite; }

    // The lock file's path for path.
    static std::string LockPath(const std::string& path);

  private:
    int mFd = -1;
    bool mMayWrite = true;
};

}  // namespace mervok
