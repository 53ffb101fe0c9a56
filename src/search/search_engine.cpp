#include "search/search_engine.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/program_folder.h"
#include "app/text_util.h"
#include "archivers/archive_lookup.h"

namespace mervok {

namespace {

// The last four characters of a name (all of it when shorter), lower-cased.
std::string Extension(std::string_view name) {
    return AsciiLower(name.substr(name.size() > 4 ? name.size() - 4 : 0));
}

// Sub-folders of a recycle bin directly under a drive root are not entered.
// The test looks at characters 2 to 12 of the path, so it never matches a
// path that does not start with a drive letter.
bool InRecycleBin(const std::string& folder, std::string_view name) {
    std::string path = folder;
    path += name;
    if (path.size() < 12) {
        return false;
    }
    const std::string part = AsciiLower(std::string_view(path).substr(1, 11));
    static const std::string kRecycled = std::string(":") + kSeparator + "recycled" + kSeparator;
    static const std::string kRecycler = std::string(":") + kSeparator + "recycler" + kSeparator;
    return part == kRecycled || part == kRecycler;
}

}  // namespace

std::string BuildDocPatterns(std::string_view types) {
    const std::string trimmed = TrimBlanks(types);
    if (trimmed.empty()) {
        return {};
    }
    std::string result;
    std::string word;
    for (const char c : trimmed) {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            result += "*." + word + " ";
            word.clear();
        }
    }
    result += "*." + word;
    return result;
}

std::string DocumentWildcards(std::int32_t viewerVersion, const DocTypeSource& source) {
    std::string types;
    if (source.fixed) {
        types = *source.fixed;
    } else if (viewerVersion < 100) {
        return "*.TXT";
    } else {
        types = source.read ? source.read() : std::string(kDefaultDocTypes);
    }
    const std::string patterns = BuildDocPatterns(TrimAtNull(types));
    return patterns.empty() ? "*.TXT" : "*.TXT " + patterns;
}

LibraryVersions QueryLibraryVersions(const ArchiverSet& libraries) {
    LibraryVersions versions;
    versions.unlha = libraries.lha ? GetUnlhaVersion(*libraries.lha) : 0;
    versions.unzip = libraries.zip ? GetUnzipVersion(*libraries.zip) : 0;
    versions.cab = libraries.cab ? GetCabVersion(*libraries.cab) : 0;
    return versions;
}

SearchEngine::SearchEngine(SearchOptions options, StartupValues startup, ArchiverSet libraries,
                           DocTypeSource docTypes, std::atomic<bool>& abortRequested,
                           SearchObserver& observer)
    : mOptions(std::move(options)),
      mStartup(std::move(startup)),
      mUsable(GetUsableFormats(mStartup.libraries)),
      mLibraries(libraries),
      mDocTypes(std::move(docTypes)),
      mAbortRequested(abortRequested),
      mObserver(observer) {
    // A library that is not there has no version, whatever start-up said.
    if (mLibraries.lha == nullptr) {
        mStartup.libraries.unlha = 0;
    }
    if (mLibraries.zip == nullptr) {
        mStartup.libraries.unzip = 0;
    }
    if (mLibraries.cab == nullptr) {
        mStartup.libraries.cab = 0;
    }
    mUsable = GetUsableFormats(mStartup.libraries);
}

bool SearchEngine::AbortRequested() const {
    return mAbortRequested.load(std::memory_order_relaxed);
}

SearchResult SearchEngine::Run() {
    SearchResult result;
    mCandidates.clear();
    mHits.clear();
    mCheckAborted = false;
    if (mOptions.filePattern.empty()) {
        mOptions.filePattern = FilePattern(mOptions, mStartup.libraries);
    }
    if (!mOptions.filePattern.empty() && !mOptions.searchFolder.empty()) {
        WalkFolder(WithTrailingSeparator(mOptions.searchFolder), mOptions.filePattern,
                   mOptions.includeSubfolders);
    }
    if (AbortRequested()) {
        // The window has already been put back; nothing is listed.
        mCandidates.clear();
        result.outcome = SearchOutcome::WalkAborted;
        mObserver.OnFinished(result);
        return result;
    }
    if (!mOptions.skipArchiveCheck && !mCandidates.empty()) {
        CheckDocuments();
        result.outcome = mCheckAborted ? SearchOutcome::CheckAborted : SearchOutcome::Checked;
        result.archives = std::move(mHits);
    } else {
        result.archives = std::move(mCandidates);
    }
    mCandidates.clear();
    mHits.clear();
    mObserver.OnFinished(result);
    return result;
}

void SearchEngine::WalkFolder(const std::string& folder, const std::string& filePattern,
                              bool includeSubfolders) {
    std::set<FolderId> visited;
    Walk(folder, filePattern, includeSubfolders, visited);
}

void SearchEngine::Walk(const std::string& folder, const std::string& filePattern,
                        bool includeSubfolders, std::set<FolderId>& visited) {
    if (AbortRequested()) {
        return;
    }
    std::vector<std::string> subfolders;
    {
        // One pass over the folder serves both the walk (its sub-folders)
        // and the classification (its candidates, before any sub-folder).
        DirectoryListing listing;
        if (!listing.Open(folder, "*")) {
            return;
        }
        // Taken from the folder as opened, so that what is listed is what
        // was recorded. A link back up would never end, and links across
        // would walk a folder once per path to it: 2^n times for n levels
        // that each link the next folder twice.
        FolderId id{};
        if (!listing.FolderIdentity(id.first, id.second) || !visited.insert(id).second) {
            return;
        }
        while (listing.Next()) {
            if (AbortRequested()) {
                break;
            }
            const std::string_view name = listing.Name();
            if (MatchesWildcard(name, filePattern)) {
                if (const ArchiveKind kind = CandidateKind(name); kind != ArchiveKind::None) {
                    AddCandidate(folder, listing, kind);
                }
            }
            if (includeSubfolders && name[0] != '.' && listing.IsFolder() &&
                !InRecycleBin(folder, name)) {
                subfolders.emplace_back(name);
            }
        }
    }
    for (const auto& name : subfolders) {
        if (AbortRequested()) {
            break;
        }
        Walk(folder + name + kSeparator, filePattern, includeSubfolders, visited);
    }
}

void SearchEngine::ClassifyFiles(const std::string& folder, const std::string& filePattern) {
    DirectoryListing listing;
    if (!listing.Open(folder, filePattern)) {
        return;
    }
    while (listing.Next()) {
        if (AbortRequested()) {
            break;
        }
        if (const ArchiveKind kind = CandidateKind(listing.Name()); kind != ArchiveKind::None) {
            AddCandidate(folder, listing, kind);
        }
    }
}

ArchiveKind SearchEngine::CandidateKind(std::string_view name) const {
    const std::string ext = Extension(name);
    if (ext == ".exe" && mUsable.exe && mOptions.searchExe) {
        return ArchiveKind::Sfx;
    }
    if (ext == ".zip" && mUsable.zip && mOptions.searchZip) {
        return ArchiveKind::Zip;
    }
    if (ext == ".lzh" && mUsable.lha && mOptions.searchLha) {
        return ArchiveKind::Lha;
    }
    if (ext == ".cab" && mUsable.cab && mOptions.searchCab) {
        return ArchiveKind::Cab;
    }
    return ArchiveKind::None;
}

void SearchEngine::AddCandidate(const std::string& folder, DirectoryListing& listing,
                                ArchiveKind kind) {
    const auto info = listing.Info();
    if (!info) {
        return;  // gone since it was listed
    }
    FoundArchive candidate;
    candidate.folder = folder;
    candidate.fileName = std::string(listing.Name());
    candidate.size = info->size;
    candidate.kind = kind;
    candidate.provisional = true;
    candidate.modified = LocalTimeText(info->modifiedSeconds);
    mCandidates.push_back(std::move(candidate));
    const FoundArchive& added = mCandidates.back();
    mObserver.OnCandidate(mOptions.hideFileNames ? std::string() : added.Path(),
                          mCandidates.size());
}

void SearchEngine::PrepareLibraries() {
    const std::pair<ArchiverApi*, std::int16_t> libraries[] = {
        {mLibraries.lha, mStartup.libraries.unlha},
        {mLibraries.zip, mStartup.libraries.unzip},
        {mLibraries.cab, mStartup.libraries.cab},
    };
    for (const auto& [library, version] : libraries) {
        if (library == nullptr || version <= 0) {
            continue;
        }
        // A library busy for another caller is waited for, but not forever.
        for (long polls = 0; polls < mRunningPollLimit && library->GetRunning() != 0; ++polls) {
            if (AbortRequested()) {
                break;
            }
        }
        if (library->GetCursorMode() != 0) {
            library->SetCursorMode(0);
        }
    }
}

ArchiveKind SearchEngine::CheckSfx(const std::string& path) const {
    // The first library that recognises and opens the file decides alone;
    // one that cannot leaves it to the next.
    const struct {
        ArchiverApi* library;
        bool usable;
        LookupResult (*find)(ArchiverApi&, void*, const std::string&, const std::string&);
        ArchiveKind kind;
    } cascade[] = {
        {mLibraries.lha, mStartup.libraries.unlha > 0, FindInLhaArchive, ArchiveKind::LhaSfx},
        {mLibraries.zip, mStartup.libraries.unzip > 0, FindInZipArchive, ArchiveKind::ZipSfx},
        {mLibraries.cab, mStartup.libraries.cab >= kCabSfxVersion, FindInCabArchive,
         ArchiveKind::CabSfx},
    };
    for (const auto& step : cascade) {
        if (!step.usable || step.library->CheckArchive(path, 0) == 0) {
            continue;
        }
        switch (step.find(*step.library, mWindow, path, mWildcards)) {
            case LookupResult::Found:
                return step.kind;
            case LookupResult::NoMatch:
                return ArchiveKind::None;
            case LookupResult::CannotOpen:
            case LookupResult::EmptyArgument:
                break;
        }
    }
    return ArchiveKind::None;
}

ArchiveKind SearchEngine::CheckOne(const FoundArchive& candidate) const {
    const std::string path = candidate.Path();
    // Only a regular file (a link followed, as the walk follows it) goes to a
    // library: opening a FIFO would release a writer waiting at it or hold
    // the check until one comes, and a device may never end.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return ArchiveKind::None;
    }
    const LibraryVersions& versions = mStartup.libraries;
    // A library that is absent finds nothing: its calls would fail anyway.
    const auto found = [&](ArchiverApi* library, std::int16_t version, auto find) {
        return version > 0 && find(*library, mWindow, path, mWildcards) == LookupResult::Found;
    };
    switch (candidate.kind) {
        case ArchiveKind::Lha:
            return found(mLibraries.lha, versions.unlha, FindInLhaArchive) ? ArchiveKind::Lha
                                                                           : ArchiveKind::None;
        case ArchiveKind::Zip:
            return found(mLibraries.zip, versions.unzip, FindInZipArchive) ? ArchiveKind::Zip
                                                                           : ArchiveKind::None;
        case ArchiveKind::Cab:
            return found(mLibraries.cab, versions.cab, FindInCabArchive) ? ArchiveKind::Cab
                                                                         : ArchiveKind::None;
        case ArchiveKind::Sfx:
            return CheckSfx(path);
        default:
            return ArchiveKind::None;
    }
}

void SearchEngine::CheckDocuments() {
    mCheckAborted = false;
    mHits.clear();
    mObserver.OnCheckStarted(mCandidates.size());
    PrepareLibraries();
    mWildcards = DocumentWildcards(mStartup.viewerVersion, mDocTypes);
    if (mCheckThreads > 1 && mCandidates.size() > 1) {
        CheckParallel(std::min<int>(mCheckThreads, static_cast<int>(mCandidates.size())));
    } else {
        CheckSerial();
    }
}

void SearchEngine::TakeResult(std::size_t index, ArchiveKind kind) {
    FoundArchive& candidate = mCandidates[index];
    candidate.kind = kind;
    candidate.provisional = false;
    if (candidate.kind != ArchiveKind::None) {
        mHits.push_back(candidate);
        mObserver.OnHit(mHits.size());
    }
    mObserver.OnCandidateChecked(index + 1);
}

void SearchEngine::CheckSerial() {
    for (std::size_t i = 0; i < mCandidates.size(); ++i) {
        if (AbortRequested()) {
            mCheckAborted = true;
            return;
        }
        TakeResult(i, CheckOne(mCandidates[i]));
    }
}

void SearchEngine::CheckParallel(int threads) {
    // Workers take candidates in order and stop taking new ones on an abort;
    // every candidate taken is finished. Results are handed on here in
    // candidate order, so hits and counts come as from one thread. Workers
    // stay at most a few candidates ahead of what has been handed on, so an
    // abort leaves the list where the user saw the counts stand.
    enum class State : unsigned char { Waiting, Taken, Done };
    const std::size_t total = mCandidates.size();
    const std::size_t lookAhead = 2 * static_cast<std::size_t>(threads);
    std::vector<State> states(total, State::Waiting);
    std::vector<ArchiveKind> kinds(total, ArchiveKind::None);
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;
    std::size_t taken = 0;
    int running = threads;
    bool stop = false;  // the observer failed: take nothing more

    auto work = [&] {
        while (true) {
            std::size_t index;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return next < taken + lookAhead || stop; });
                if (next >= total || stop || AbortRequested()) {
                    --running;
                    changed.notify_all();
                    return;
                }
                index = next++;
                states[index] = State::Taken;
            }
            ArchiveKind kind = ArchiveKind::None;
            try {
                kind = CheckOne(mCandidates[index]);
            } catch (...) {
                // a look-up that fails is no hit
            }
            {
                std::lock_guard lock(mutex);
                kinds[index] = kind;
                states[index] = State::Done;
            }
            changed.notify_all();
        }
    };

    std::vector<std::thread> workers;
    workers.reserve(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(work);
    }
    auto joinWorkers = [&] {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (auto& worker : workers) {
            worker.join();
        }
    };
    try {
        while (true) {
            ArchiveKind kind;
            std::size_t index;
            {
                std::unique_lock lock(mutex);
                if (taken >= total) {
                    break;
                }
                changed.wait(lock, [&] {
                    return states[taken] == State::Done ||
                           (states[taken] == State::Waiting && running == 0);
                });
                if (states[taken] != State::Done) {
                    break;  // never taken: the abort came first
                }
                kind = kinds[taken];
                index = taken;
            }
            TakeResult(index, kind);
            {
                std::lock_guard lock(mutex);
                ++taken;
            }
            changed.notify_all();
        }
    } catch (...) {
        joinWorkers();
        throw;
    }
    joinWorkers();
    std::lock_guard lock(mutex);
    mCheckAborted = taken < total;
}

}  // namespace mervok
