#include "app/file_exists.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/program_folder.h"

namespace mervok {

bool FileExists(std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (path.front() == '"' && path.back() == '"') {
        if (path.size() < 2) {
            // A lone quote both begins and ends the text; there is nothing
            // between to keep, so it names no file.
            return false;
        }
        path = path.substr(1, path.size() - 2);
    }
    if (!path.empty() && path.back() == kSeparator) {
        path.pop_back();
    }
    if (path.empty()) {
        return false;
    }
    // O_NONBLOCK so that a FIFO of that name cannot stall the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

}  // namespace mervok
