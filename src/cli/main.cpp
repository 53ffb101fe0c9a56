// mervok-search: the window's search without a window.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/product_info.h"
#include "app/program_folder.h"
#include "app/settings_folder.h"
#include "app/text_util.h"
#include "app/version_text.h"
#include "archivers/archiver_library.h"
#include "cli/cli_output.h"
#include "results/collation.h"
#include "search/search_engine.h"
#include "search/search_options.h"
#include "search/search_run.h"
#include "search/text_scan.h"
#include "startup/startup.h"

namespace mervok {
namespace {

constexpr int kExitHits = 0;
constexpr int kExitNoHits = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;
constexpr int kExitInterrupted = 130;

constexpr std::string_view kUsage =
    "usage: mervok-search [-r|--subdirs] [--formats LIST] [--no-check]\n"
    "                     [--doc-types \"TYPES\"] [--text TEXT [-i] [--matches]]\n"
    "                     [--json] FOLDER\n"
    "\n"
    "Finds LHA, ZIP, CAB and self-extracting archives under FOLDER that hold at\n"
    "least one document (*.TXT and the viewer's document types) and prints them\n"
    "sorted by file name.\n"
    "\n"
    "  -r, --subdirs        search the sub-folders too\n"
    "  --formats LIST       comma list of lzh,zip,cab,exe (default: all four)\n"
    "  --no-check           list every candidate by its name, without opening it\n"
    "  --doc-types \"TYPES\"  blank-separated document extensions, instead of the\n"
    "                       viewer's \"DocType\" setting (\"*.TXT\" is always searched)\n"
    "  --text TEXT          keep only archives with a document that contains TEXT\n"
    "                       (in UTF-8, Shift-JIS, EUC-JP, ISO-2022-JP or UTF-16,\n"
    "                       told per document); a sixth column counts the matches\n"
    "                       (\"+\" when more were there than kept)\n"
    "  -i, --ignore-case    with --text, A-Z and full-width Ａ-Ｚ match either case\n"
    "  --matches            with --text, one line per match instead:\n"
    "                       archive:entry:line: the line around the match\n"
    "  --json               print one JSON array; bytes of names that are not\n"
    "                       UTF-8 appear as \\udcXX escapes\n"
    "  --version            print the version\n"
    "\n"
    "In the table, control characters, bytes that are not UTF-8 and backslashes\n"
    "in names are written as escapes (\\n, \\x1b, \\\\); --json keeps every byte.\n"
    "\n"
    "Exit status: 0 hits found, 1 none, 2 usage or folder error, 3 the search\n"
    "failed, 130 interrupted (the hits found before Ctrl-C during the check are printed).\n";

struct CommandLine {
    bool showHelp = false;
    bool showVersion = false;
    bool includeSubfolders = false;
    bool lha = true, zip = true, cab = true, exe = true;
    bool noCheck = false;
    bool json = false;
    std::optional<std::string> text;
    bool ignoreCase = false;
    bool matches = false;
    std::optional<std::string> docTypes;
    std::string folder;
    bool folderGiven = false;
};

// What is wrong with a command line; subject is the word at fault.
struct OptionError {
    enum class Kind {
        UnknownOption,
        UnknownFormat,
        NoFormats,
        NoDocTypes,
        NoText,
        NeedsText,
        SecondFolder,
    };
    Kind kind;
    std::string subject;
};

std::string OptionErrorText(const OptionError& error) {
    using Kind = OptionError::Kind;
    switch (error.kind) {
        case Kind::UnknownOption:
            return "unknown option '" + error.subject + "'";
        case Kind::UnknownFormat:
            return "unknown format '" + error.subject + "' in --formats (use lzh,zip,cab,exe)";
        case Kind::NoFormats:
            return "--formats needs a list such as lzh,zip";
        case Kind::NoDocTypes:
            return "--doc-types needs a list such as \"DOC HTM\"";
        case Kind::NoText:
            return "--text needs a text (in UTF-8)";
        case Kind::NeedsText:
            return error.subject + " needs --text";
        case Kind::SecondFolder:
            break;
    }
    return "only one folder can be searched";
}

std::optional<OptionError> ParseFormats(std::string_view list, CommandLine& line) {
    line.lha = line.zip = line.cab = line.exe = false;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string word = AsciiLower(list.substr(start, comma - start));
        if (word == "lzh" || word == "lha") {
            line.lha = true;
        } else if (word == "zip") {
            line.zip = true;
        } else if (word == "cab") {
            line.cab = true;
        } else if (word == "exe" || word == "sfx") {
            line.exe = true;
        } else {
            return OptionError{OptionError::Kind::UnknownFormat, word};
        }
        start = comma + 1;
    }
    return std::nullopt;
}

std::optional<OptionError> Parse(int argc, char** argv, CommandLine& line) {
    using Kind = OptionError::Kind;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string_view name) -> std::optional<std::string_view> {
            if (arg.substr(0, name.size()) == name && arg.size() > name.size() &&
                arg[name.size()] == '=') {
                return arg.substr(name.size() + 1);
            }
            if (arg == name && i + 1 < argc) {
                return std::string_view(argv[++i]);
            }
            return std::nullopt;
        };
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            line.showHelp = true;
        } else if (!optionsEnded && arg == "--version") {
            line.showVersion = true;
        } else if (!optionsEnded && (arg == "-r" || arg == "--subdirs")) {
            line.includeSubfolders = true;
        } else if (!optionsEnded && arg == "--no-check") {
            line.noCheck = true;
        } else if (!optionsEnded && arg == "--json") {
            line.json = true;
        } else if (!optionsEnded && (arg == "-i" || arg == "--ignore-case")) {
            line.ignoreCase = true;
        } else if (!optionsEnded && arg == "--matches") {
            line.matches = true;
        } else if (!optionsEnded && arg.starts_with("--text")) {
            const auto text = value("--text");
            if (!text || !TextQuery::Make(*text, false)) {
                return OptionError{Kind::NoText, {}};
            }
            line.text = std::string(*text);
        } else if (!optionsEnded && arg.starts_with("--formats")) {
            const auto list = value("--formats");
            if (!list) {
                return OptionError{Kind::NoFormats, {}};
            }
            if (auto error = ParseFormats(*list, line)) {
                return error;
            }
        } else if (!optionsEnded && arg.starts_with("--doc-types")) {
            const auto types = value("--doc-types");
            if (!types) {
                return OptionError{Kind::NoDocTypes, {}};
            }
            line.docTypes = std::string(*types);
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            return OptionError{Kind::UnknownOption, std::string(arg)};
        } else if (!line.folderGiven) {
            line.folder = std::string(arg);
            line.folderGiven = true;
        } else {
            return OptionError{Kind::SecondFolder, std::string(arg)};
        }
    }
    if ((line.ignoreCase || line.matches) && !line.text) {
        return OptionError{Kind::NeedsText, line.matches ? "--matches" : "-i"};
    }
    return std::nullopt;
}

// Ctrl-C asks the search to stop, as the window's abort click does; a second
// Ctrl-C ends the program the usual way.
const CancelToken* gInterruptedRun = nullptr;

extern "C" void OnInterrupt(int) {
    gInterruptedRun->CancelFromSignal();
}

void InstallInterruptHandler(const CancelToken& run) {
    gInterruptedRun = &run;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Shows a live count on stderr, only when stderr is a terminal.
class ProgressReporter final : public SearchObserver {
  public:
    explicit ProgressReporter(bool enabled) : mEnabled(enabled) {}

    Answer OnCandidate(std::string_view, std::size_t count) override {
        mCandidates = count;
        return Show(false);
    }
    Answer OnCheckStarted(std::size_t total) override {
        mTotal = total;
        return Show(true);
    }
    Answer OnCandidateChecked(std::size_t checked) override {
        mChecked = checked;
        return Show(false);
    }
    Answer OnHit(std::size_t count) override {
        mHits = count;
        return Show(false);
    }
    void OnFinished(const SearchResult&) override {
        if (mEnabled && mShown) {
            std::fputs("\r\033[K", stderr);
        }
    }

  private:
    Answer Show(bool now) {
        if (!mEnabled) {
            return Answer::Continue;
        }
        const auto time = std::chrono::steady_clock::now();
        if (!now && time - mLast < std::chrono::milliseconds(100)) {
            return Answer::Continue;
        }
        mLast = time;
        mShown = true;
        if (mTotal == 0) {
            std::fprintf(stderr, "\r\033[Kcandidates: %zu", mCandidates);
        } else {
            std::fprintf(stderr, "\r\033[Kchecked: %zu / %zu  hits: %zu", mChecked, mTotal, mHits);
        }
        return Answer::Continue;
    }

    bool mEnabled;
    bool mShown = false;
    std::size_t mCandidates = 0, mTotal = 0, mChecked = 0, mHits = 0;
    std::chrono::steady_clock::time_point mLast{};
};

int Run(int argc, char** argv) {
    CommandLine line;
    if (const auto error = Parse(argc, argv, line)) {
        std::cerr << "mervok-search: " << OptionErrorText(*error) << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (line.showHelp) {
        std::cout << kUsage;
        return kExitHits;
    }
    if (line.showVersion) {
        // The same version and notice as the window's version dialog.
        std::cout << "mervok-search " << ProgramVersionText() << '\n' << kLegalCopyright << '\n';
        return kExitHits;
    }
    if (const auto problem = ValidateSearchFolder(line.folder)) {
        std::cerr << FolderProblemText(*problem) << '\n';
        return kExitUsage;
    }

    // The same start-up as the window's, from the tool's own folder.
    const std::string programFolder = ProgramFolder();
    ArchiverLibraries libraries(programFolder);
    const Startup startup = AssembleStartup(programFolder, libraries.Set());
    // The same words as the window's, once.
    if (startup.viewerIniTrust != SettingsTrust::Usable) {
        std::cerr << "mervok-search: "
                  << SettingsRefusalText(startup.viewerIniTrust, startup.values.viewerIniFile)
                  << '\n';
    }

    SearchOptions options;
    // Rows carry full paths, also when the folder was given relative to here.
    std::string folder = SearchFolderFromText(line.folder);
    if (folder.front() != kSeparator) {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(folder, error);
        if (!error) {
            folder = WithTrailingSeparator(absolute.lexically_normal().string());
        }
    }
    options.searchFolder = folder;
    options.includeSubfolders = line.includeSubfolders;
    options.searchLha = line.lha;
    options.searchZip = line.zip;
    options.searchCab = line.cab;
    options.searchExe = line.exe;
    options.skipArchiveCheck = line.noCheck;
    options.hideFileNames = true;
    options.text = line.text.value_or("");
    options.ignoreCase = line.ignoreCase;
    if (!AnyChosenFormatUsable(options, startup.values.libraries)) {
        std::cerr << "mervok-search: none of the chosen formats can be searched: their archiver "
                     "libraries (libunlha32.so, libunzip32.so, libcab32.so) are missing from "
                  << programFolder << '\n';
        return kExitUsage;
    }

    DocTypeSource docTypes = startup.docTypes;
    docTypes.fixed = line.docTypes;

    SearchRun run(options, startup.values, libraries.Set(), docTypes,
                  std::make_unique<ProgressReporter>(isatty(STDERR_FILENO) != 0));
    const CancelToken token = run.Token();
    InstallInterruptHandler(token);
    run.Start();
    run.WaitFor();
    SearchResult result = run.Result();

    if (result.outcome == SearchOutcome::Failed) {
        std::cerr << "mervok-search: the search failed: " << result.error << '\n';
        return kExitFailed;
    }
    if (result.outcome == SearchOutcome::WalkAborted) {
        return kExitInterrupted;
    }
    SortByFileName(result.archives);
    const bool withText = line.text.has_value();
    const std::string text = line.json ? FormatJson(result.archives, withText)
                             : line.matches
                                 ? FormatMatches(result.archives, isatty(STDOUT_FILENO) != 0)
                                 : FormatTable(result.archives, withText);
    std::fwrite(text.data(), 1, text.size(), stdout);
    for (const std::string& bomb : result.unread.bombs) {
        std::cerr << "mervok-search: " << TableText(bomb)
                  << ": read only to the cap: its documents inflate too far\n";
    }
    if (result.unread.encrypted + result.unread.damaged > 0) {
        std::cerr << "mervok-search: documents not searched: " << result.unread.encrypted
                  << " encrypted, " << result.unread.damaged << " damaged\n";
    }
    std::fflush(stdout);
    if (result.outcome == SearchOutcome::CheckAborted) {
        return kExitInterrupted;
    }
    return result.archives.empty() ? kExitNoHits : kExitHits;
}

}  // namespace
}  // namespace mervok

int main(int argc, char** argv) {
    return mervok::Run(argc, argv);
}
