#pragma once

// Real files in a temporary folder, running a piece of a test as an
// ordinary user, and processes a test starts.

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace mervok::testing {

// A fresh folder, removed with everything in it (permissions a test took
// away are given back first).
class TempFolder {
  public:
    explicit TempFolder(const std::string& base = "/tmp");
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    // The folder, without a separator at its end.
    const std::string& Path() const { return mPath; }
    // A path inside; nothing is made.
    std::string File(std::string_view relative) const {
        return mPath + "/" + std::string(relative);
    }
    // Writes content to the file (folders on the way made) and returns its path.
    std::string Write(std::string_view relative, std::string_view content = "x") const;
    void Write(std::initializer_list<const char*> relatives) const;
    // Makes the folder (and those on the way) and returns its path ending with
    // the separator, as search folders are written; "" is this folder itself.
    std::string Folder(std::string_view relative = {}) const;

  private:
    std::string mPath;
};

// A file of tests/data, where the fixtures lie beside the scripts that made them.
std::string Fixture(const std::string& relative);
// Copies an archive of tests/data/archives to target, folders on the way made.
void CopyFixture(const std::string& archive, const std::string& target);

void WriteBytes(const std::string& path, std::string_view bytes);
std::string ReadBytes(const std::string& path);

// body() as an ordinary user: as root (whom permissions do not stop) in a
// child that has become "nobody", else right here. 1 or 0 for its answer, -1
// when the child could not give up root.
int RunUnprivileged(const std::function<bool()>& body);

// The one wait of the tests: asks until condition holds, doing step() in
// between (a pause of 10 ms unless told; widget tests let the event loop run,
// test::RunEvents). The limit, about a minute, only stops a hang; it is not
// what a test checks.
inline void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}
template <typename Condition, typename Step = void (*)()>
bool WaitUntil(Condition condition, Step step = Pause) {
    for (int i = 0; i < 6000 && !condition(); ++i) {
        step();
    }
    return condition();
}

// Starts arguments[0] with "NAME=value" entries of environment in place of the
// inherited ones, standard output and error into the files named (if any).
// The process id, 0 when it could not start.
int Spawn(const std::vector<std::string>& arguments,
          const std::vector<std::string>& environment = {}, const std::string& out = {},
          const std::string& err = {});

// The rows of tests/data/archives/manifest.tsv, each cut at its tabs: file,
// parts ("-", or files to join: "stub/a.exe+lha/b.lzh"), library, can open,
// wildcards, found (0), what; then the archive's bytes, its parts joined.
std::vector<std::vector<std::string>> ManifestRows(const std::string& archives);

// True while the process has its own handler in place for signal; false
// once it is gone.
bool CatchesSignal(int pid, int signal);

}  // namespace mervok::testing
