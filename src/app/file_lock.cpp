#include "app/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace mervok {

std::string FileLockBeside::LockPath(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameAt) + "." + path.substr(nameAt) + ".lock";
}

static_assert(FileLockBeside::kCurrentFolder == AT_FDCWD);

FileLockBeside::FileLockBeside(const std::string& path, int folder) {
    const std::string lockPath = LockPath(path);
    // A link planted under the lock's name is not followed; a lock file
    // another user made (read-only to us) still takes a lock.
    mFd = ::openat(folder, lockPath.c_str(),
                   O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK, 0644);
    if (mFd < 0 && errno == EACCES) {
        mFd = ::openat(folder, lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    }
    if (mFd < 0) {
        return;
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMaxWaitMs);
    while (::flock(mFd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return;
        }
        if (std::chrono::steady_clock::now() >= giveUp) {
            mMayWrite = false;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FileLockBeside::~FileLockBeside() {
    if (mFd >= 0) {
        ::close(mFd);  // lets the lock go
    }
}

}  // namespace mervok
