// Times a warm document look-up through one archiver library, the way the
// program makes it: OpenArchive + FindFirst + CloseArchive. For reference it
// also times listing the same archive with libarchive in the same process.
//   lookup_bench LIBRARY PREFIX ARCHIVE WILDCARDS RUNS
// Prints microseconds per look-up (processor time of the thread, then wall
// time), the same for the libarchive listing, and the number of entries.
// Processor time keeps the figures steady on a busy machine.
#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "archiver.h"

namespace {

using Clock = std::chrono::steady_clock;

double ThreadMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

struct Timing {
    double cpu = 0;
    double wall = 0;
};

template <typename Fn>
Timing MicrosecondsPerRun(int runs, Fn&& fn) {
    fn();  // warm the page cache and the library
    const double cpuStart = ThreadMicroseconds();
    const auto wallStart = Clock::now();
    for (int i = 0; i < runs; ++i) {
        fn();
    }
    std::chrono::duration<double, std::micro> wall = Clock::now() - wallStart;
    return {(ThreadMicroseconds() - cpuStart) / runs, wall.count() / runs};
}

int ListWithLibarchive(const char* path) {
    struct archive* a = archive_read_new();
    archive_read_support_format_all(a);
    int count = 0;
    if (archive_read_open_filename(a, path, 64 * 1024) == ARCHIVE_OK) {
        struct archive_entry* entry;
        while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
            ++count;
        }
    }
    archive_read_free(a);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s LIBRARY PREFIX ARCHIVE WILDCARDS RUNS\n", argv[0]);
        return 2;
    }
    const std::string prefix = argv[2];
    const char* path = argv[3];
    const char* wildcards = argv[4];
    const int runs = std::atoi(argv[5]);
    void* library = dlopen(argv[1], RTLD_NOW);
    if (library == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto open = reinterpret_cast<HARC (*)(void*, const char*, uint32_t)>(
        dlsym(library, (prefix + "OpenArchive").c_str()));
    auto findFirst = reinterpret_cast<int (*)(HARC, const char*, INDIVIDUALINFO*)>(
        dlsym(library, (prefix + "FindFirst").c_str()));
    auto close = reinterpret_cast<int (*)(HARC)>(dlsym(library, (prefix + "CloseArchive").c_str()));
    if (open == nullptr || findFirst == nullptr || close == nullptr) {
        std::fprintf(stderr, "%s: calls missing\n", argv[1]);
        return 1;
    }
    int found = -1;
    Timing lookUp = MicrosecondsPerRun(runs, [&] {
        HARC archive = open(nullptr, path, ARCHIVER_OPEN_MODE_DEFAULT);
        INDIVIDUALINFO info;
        found = archive ? findFirst(archive, wildcards, &info) : -2;
        close(archive);
    });
    if (found != 0) {
        std::fprintf(stderr, "%s: no document found (%d)\n", path, found);
        return 1;
    }
    int listed = 0;
    Timing listing =
        MicrosecondsPerRun(std::max(1, runs / 20), [&] { listed = ListWithLibarchive(path); });
    std::printf("%.1f %.1f %.1f %.1f %d\n", lookUp.cpu, lookUp.wall, listing.cpu, listing.wall,
                listed);
    return 0;
}
