#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archivers/archive_lookup.h"
#include "archivers/archiver_api.h"
#include "search/cancel_token.h"
#include "search/directory_listing.h"
#include "search/file_system.h"
#include "search/found_archive.h"
#include "search/look_ahead.h"
#include "search/search_options.h"
#include "search/text_scan.h"

namespace mervok {

// Where a document check takes the viewer's document types from. The engine
// never reads the viewer's settings file itself.
struct DocTypeSource {
    // Returns the "DocType" value of section "Option" of the viewer's settings,
    // kDefaultDocTypes when the file or the key is missing. Called at the start
    // of every check, and only when the viewer is 1.00 or later. When empty,
    // kDefaultDocTypes is used.
    std::function<std::string()> read;
    // When set, replaces both the value and the viewer-version gate.
    std::optional<std::string> fixed;
};

// "HLP  DOC " gives "*.HLP *.DOC": one "*." pattern per blank-separated word,
// words kept as they are; "" for a text of blanks.
std::string BuildDocPatterns(std::string_view types);

// The wildcard list of a check: "*.TXT", then the patterns of the viewer's
// document types. A viewer older than 1.00 (or unknown, 0) gives "*.TXT" alone
// unless source.fixed is set.
std::string DocumentWildcards(std::int32_t viewerVersion, const DocTypeSource& source);

// The pause between two questions to a library busy for another caller.
inline constexpr std::chrono::milliseconds kBusyLibraryPause{10};

// The versions of the libraries in a set; 0 for an absent one.
LibraryVersions QueryLibraryVersions(const ArchiverSet& libraries);

// Whether every library a search uses (present, with a version) promises
// independent handles, so that calls may run on several threads at once.
bool IndependentHandles(const ArchiverSet& libraries, const LibraryVersions& versions);

struct SearchResult;

// What an observer answers to a report: Stop ends the search as an abort
// does, where the walk or the check would next test for one.
enum class ObserverAnswer : std::uint8_t { Continue, Stop };

// Told what a search does as it goes. Every call comes from the thread that
// runs the search, also while helper threads examine candidates; nothing in
// the engine waits for the observer beyond its own calls.
// Each report is ignored unless overridden.
class SearchObserver {
  public:
    using Answer = ObserverAnswer;
    virtual ~SearchObserver() = default;
    // A candidate was found during the walk. path is its full path, or empty
    // when hideFileNames is set; count is the number of candidates so far (a
    // file gone before it could be examined is counted here, never listed).
    virtual Answer OnCandidate(std::string_view /*path*/, std::size_t /*count*/) {
        return Answer::Continue;
    }
    // The document check starts on total candidates.
    virtual Answer OnCheckStarted(std::size_t /*total*/) { return Answer::Continue; }
    // checked candidates (in candidate order) have been examined.
    virtual Answer OnCandidateChecked(std::size_t /*checked*/) { return Answer::Continue; }
    // A hit was found; count is the number of hits so far.
    virtual Answer OnHit(std::size_t /*count*/) { return Answer::Continue; }
    // The search ended (finished or aborted).
    virtual void OnFinished(const SearchResult& /*result*/) {}
};

// How a run ended.
enum class SearchOutcome : std::uint8_t {
    // The walk's candidates, provisional: the check was skipped or had
    // nothing to check.
    Listed,
    // The document check ran to its end: the hits.
    Checked,
    // Aborted during the check: the hits found up to then.
    CheckAborted,
    // Aborted during the walk: nothing is to be shown.
    WalkAborted,
    // Ended by an error (an examination or an observer threw): nothing is
    // to be shown; the result's error says what happened.
    Failed,
};

// With a text to find: what could not be read, over every archive checked.
struct UnreadText {
    std::vector<std::string> bombs;  // paths of archives read only to the caps
    std::size_t encrypted = 0;       // documents
    std::size_t damaged = 0;         // documents
};

// What a run leaves for the list.
struct SearchResult {
    // The hits in candidate order, or every candidate when nothing was
    // checked. Empty after an abort in the walk.
    std::vector<FoundArchive> archives;
    SearchOutcome outcome = SearchOutcome::Listed;
    // What ended a Failed run.
    std::string error;
    UnreadText unread;

    // The document check ran, to its end or to an abort.
    bool CheckRan() const {
        return outcome == SearchOutcome::Checked || outcome == SearchOutcome::CheckAborted;
    }
};

// One search: the walk over the folder collects candidates by name, the
// document check keeps those an archiver library opens and finds a document
// in. Synchronous to its caller (SearchRun gives it a thread); the cancel
// token is tested where the walk, the classification and the check would let
// the window handle a click, and set when the observer answers Stop. An
// examination that throws ends Run with that exception.
//
// The I/O of a candidate (its size and time, and the look-up) runs ahead on a
// few threads from the moment the walk finds it; the observer's calls, the
// hits and the counts still come in candidate order, as from one thread.
class SearchEngine {
  public:
    // Examinations in flight at once: enough that a share's latency is
    // hidden, few enough that an abort waits for only a handful.
    static constexpr int kDefaultCheckThreads = 8;

    SearchEngine(SearchOptions options, StartupValues startup, ArchiverSet libraries,
                 DocTypeSource docTypes, CancelToken cancel, SearchObserver& observer);
    ~SearchEngine();

    // Handed to OpenArchive as the owner window.
    void SetWindow(void* window) { mWindow = window; }
    // Number of threads that examine candidates: 1 makes every file and
    // library call on the calling thread, in candidate order; more run that
    // many examinations at a time, ahead of the walk's and the check's order
    // (one thread only while a library present did not promise independent
    // handles).
    void SetCheckThreads(int threads) { mCheckThreads = threads < 1 ? 1 : threads; }
    // What the walk lists and the examination looks at; the real file system
    // unless set. It must outlive the engine.
    void SetFileSystem(FileSystem& files) { mFiles = &files; }
    // Most GetRunning calls made per library before the check goes on anyway;
    // each "busy" is followed by a pause of kBusyLibraryPause.
    void SetRunningPollLimit(long polls) { mRunningPollLimit = polls; }

    // Walk, then check (unless skipped); ends with OnFinished.
    SearchResult Run();

    // Examines every candidate, relabels it and collects the hits: the
    // check of Run, for callers that bring their own candidates.
    void CheckDocuments();

    const SearchOptions& Options() const { return mOptions; }
    std::vector<FoundArchive>& Candidates() { return mCandidates; }
    const std::vector<FoundArchive>& Hits() const { return mHits; }
    // The wildcard list of the last check.
    const std::string& Wildcards() const { return mWildcards; }
    bool CheckAborted() const { return mCheckAborted; }
    const UnreadText& Unread() const { return mUnread; }

  private:
    enum LibraryIndex : std::uint8_t { kLha, kZip, kCab };

    bool AbortRequested() const { return mCancel.Cancelled(); }
    // Stops the search when the observer's answer says so.
    void Heed(ObserverAnswer answer) const;
    // Visits folder (ending with the separator) and, when asked, its
    // sub-folders depth first, pre-order, adding candidates. Each real folder
    // (device and inode) is visited once per run, under the first path that
    // reaches it, so links back up or across end there.
    void WalkFolder(const std::string& folder, const std::string& filePattern,
                    bool includeSubfolders, std::set<FolderId>& visited);
    // The provisional kind of name, or None when its extension names no
    // chosen, usable format.
    ArchiveKind CandidateKind(std::string_view name) const;
    void AddCandidate(const std::string& folder, std::string_view name, ArchiveKind kind);
    // Starts the examinations of a walk or a check; withLookUp readies the
    // libraries and the wildcards first.
    void StartExamining(bool withLookUp);
    // Readies every library present and builds the wildcard list; true when
    // each of them promised independent handles.
    bool PrepareLibraries();
    CandidateFacts Examine(const std::string& path, ArchiveKind kind, bool withLookUp) const;
    // Every candidate's size and time, in order; those gone since they were
    // listed are dropped. False when an abort came first.
    bool FinishWalk();
    void CheckExamined();
    ArchiveKind CheckOne(const std::string& path, ArchiveKind kind) const;
    ArchiveKind CheckSfx(const std::string& path) const;
    LookupResult LookUp(LibraryIndex library, const std::string& path, bool test) const;
    void TakeFacts(FoundArchive& candidate, const CandidateFacts& facts);
    void TakeResult(std::size_t index, ArchiveKind kind, TextFindings text);

    SearchOptions mOptions;
    // The text to find, when there is one; nothing for one that cannot be
    // looked for (not UTF-8), which no archive then says.
    std::optional<TextQuery> mQuery;
    std::size_t mRunMatches = 0;  // the matches of the hits so far
    UnreadText mUnread;
    StartupValues mStartup;
    UsableFormats mUsable;
    ArchiverSet mLibraries;
    DocTypeSource mDocTypes;
    CancelToken mCancel;
    SearchObserver& mObserver;
    void* mWindow = nullptr;
    FileSystem* mFiles = &RealFileSystem();
    int mCheckThreads = kDefaultCheckThreads;
    // Two seconds for a library busy for another caller.
    long mRunningPollLimit = 200;

    std::unique_ptr<LookAhead> mExamining;
    std::vector<FoundArchive> mCandidates;
    std::vector<FoundArchive> mHits;
    std::string mWildcards;
    bool mCheckAborted = false;
};

}  // namespace mervok
