#include "search/search_engine.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/program_folder.h"
#include "app/text_util.h"
#include "search/archive_text.h"

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

// The examinations in flight end with the run or check that started them,
// also when the observer throws.
class EndExamining {
  public:
    explicit EndExamining(std::unique_ptr<LookAhead>& examining) : mExamining(examining) {}
    ~EndExamining() { mExamining.reset(); }
    EndExamining(const EndExamining&) = delete;
    EndExamining& operator=(const EndExamining&) = delete;

  private:
    std::unique_ptr<LookAhead>& mExamining;
};

// The libraries a search uses: present, with a version.
std::vector<ArchiverApi*> UsedLibraries(const ArchiverSet& libraries,
                                        const LibraryVersions& versions) {
    std::vector<ArchiverApi*> used;
    for (const auto& [library, version] :
         {std::pair{libraries.lha, versions.unlha}, std::pair{libraries.zip, versions.unzip},
          std::pair{libraries.cab, versions.cab}}) {
        if (library != nullptr && version > 0) {
            used.push_back(library);
        }
    }
    return used;
}

}  // namespace

bool IndependentHandles(const ArchiverSet& libraries, const LibraryVersions& versions) {
    return std::ranges::all_of(UsedLibraries(libraries, versions),
                               [](ArchiverApi* library) { return library->IndependentHandles(); });
}

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
                           DocTypeSource docTypes, CancelToken cancel, SearchObserver& observer)
    : mOptions(std::move(options)),
      mStartup(std::move(startup)),
      mUsable(GetUsableFormats(mStartup.libraries)),
      mLibraries(libraries),
      mDocTypes(std::move(docTypes)),
      mCancel(std::move(cancel)),
      mObserver(observer) {
    if (!mOptions.text.empty()) {
        mQuery = TextQuery::Make(mOptions.text, mOptions.ignoreCase);
    }
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

SearchEngine::~SearchEngine() = default;

void SearchEngine::Heed(ObserverAnswer answer) const {
    if (answer == ObserverAnswer::Stop) {
        mCancel.Cancel();
    }
}

SearchResult SearchEngine::Run() {
    SearchResult result;
    mCandidates.clear();
    mHits.clear();
    mCheckAborted = false;
    if (mOptions.filePattern.empty()) {
        mOptions.filePattern = FilePattern(mOptions, mStartup.libraries);
    }
    const EndExamining end(mExamining);
    const bool check = !mOptions.skipArchiveCheck;
    if (!mOptions.filePattern.empty() && !mOptions.searchFolder.empty()) {
        std::set<FolderId> visited;
        WalkFolder(WithTrailingSeparator(mOptions.searchFolder), mOptions.filePattern,
                   mOptions.includeSubfolders, visited);
    }
    if (AbortRequested() || (!check && !FinishWalk())) {
        // The window has already been put back; nothing is listed.
        mCandidates.clear();
        mExamining.reset();
        result.outcome = SearchOutcome::WalkAborted;
        mObserver.OnFinished(result);
        return result;
    }
    if (check && !mCandidates.empty()) {
        CheckExamined();
        result.outcome = mCheckAborted ? SearchOutcome::CheckAborted : SearchOutcome::Checked;
        result.archives = std::move(mHits);
        result.unread = mUnread;
    } else {
        result.archives = std::move(mCandidates);
    }
    mCandidates.clear();
    mHits.clear();
    mExamining.reset();
    mObserver.OnFinished(result);
    return result;
}

void SearchEngine::WalkFolder(const std::string& folder, const std::string& filePattern,
                              bool includeSubfolders, std::set<FolderId>& visited) {
    if (AbortRequested()) {
        return;
    }
    std::vector<std::string> subfolders;
    {
        // One pass over the folder serves both the walk (its sub-folders)
        // and the classification (its candidates, before any sub-folder).
        const std::unique_ptr<FolderListing> listing = mFiles->ListFolder(folder);
        if (listing == nullptr) {
            return;
        }
        // Taken from the folder as opened, so that what is listed is what was
        // recorded. A link back up would never end, and links across would
        // walk a folder once per path to it: 2^n times for n levels that each
        // link the next folder twice.
        const std::optional<FolderId> id = listing->Identity();
        if (!id || !visited.insert(*id).second) {
            return;
        }
        while (listing->Next()) {
            if (AbortRequested()) {
                break;
            }
            const std::string_view name = listing->Name();
            if (MatchesWildcard(name, filePattern)) {
                if (const ArchiveKind kind = CandidateKind(name); kind != ArchiveKind::None) {
                    AddCandidate(folder, name, kind);
                }
            }
            if (includeSubfolders && name[0] != '.' && listing->IsFolder() &&
                !InRecycleBin(folder, name)) {
                subfolders.emplace_back(name);
            }
        }
    }
    if (mExamining) {
        // The folder's candidates go while the next folder is listed.
        mExamining->Dispatch();
    }
    for (const auto& name : subfolders) {
        if (AbortRequested()) {
            break;
        }
        WalkFolder(folder + name + kSeparator, filePattern, includeSubfolders, visited);
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

void SearchEngine::AddCandidate(const std::string& folder, std::string_view name,
                                ArchiveKind kind) {
    FoundArchive candidate;
    candidate.folder = folder;
    candidate.fileName = std::string(name);
    candidate.kind = kind;
    candidate.provisional = true;
    mCandidates.push_back(std::move(candidate));
    const FoundArchive& added = mCandidates.back();
    if (!mExamining) {
        // Only a run that has something to examine readies the libraries.
        StartExamining(!mOptions.skipArchiveCheck);
    }
    mExamining->Add(added.Path(), kind);
    Heed(mObserver.OnCandidate(mOptions.hideFileNames ? std::string() : added.Path(),
                               mCandidates.size()));
}

void SearchEngine::StartExamining(bool withLookUp) {
    int threads = mCheckThreads < 2 ? 0 : mCheckThreads;
    if (withLookUp && !PrepareLibraries() && threads > 0) {
        // A library that did not promise independent handles gets one call
        // at a time, in candidate order: from one thread, still ahead.
        threads = 1;
    }
    mExamining = std::make_unique<LookAhead>(
        threads,
        [this, withLookUp](const std::string& path, ArchiveKind kind) {
            return Examine(path, kind, withLookUp);
        },
        mCancel);
}

CandidateFacts SearchEngine::Examine(const std::string& path, ArchiveKind kind,
                                     bool withLookUp) const {
    CandidateFacts facts;
    // A link is followed; a dangling one is still an entry of its own.
    const std::optional<FileFacts> file = mFiles->Examine(path);
    if (!file) {
        return facts;
    }
    facts.exists = true;
    facts.isFolder = file->folder;
    // The listing reports no size for a folder.
    facts.size = file->folder ? 0 : file->size;
    facts.modifiedSeconds = file->modifiedSeconds;
    // Only a regular file goes to a library: opening a FIFO would release a
    // writer waiting at it or hold the check until one comes, and a device
    // may never end.
    if (withLookUp && file->followed && file->regular) {
        facts.kind = CheckOne(path, kind);
        if (!mOptions.text.empty() && facts.kind != ArchiveKind::None) {
            if (mQuery) {
                facts.text =
                    FindTextInArchive(path, facts.kind, mWildcards, *mQuery, mOptions.textLimits,
                                      mOptions.firstMatchOnly, mCancel);
            }
            if (facts.text.matches.empty()) {
                facts.kind = ArchiveKind::None;
            }
        }
    }
    return facts;
}

void SearchEngine::TakeFacts(FoundArchive& candidate, const CandidateFacts& facts) {
    candidate.size = facts.size;
    candidate.isFolder = facts.isFolder;
    candidate.modified = LocalTimeText(facts.modifiedSeconds);
}

bool SearchEngine::FinishWalk() {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < mCandidates.size(); ++i) {
        const std::optional<CandidateFacts> facts = mExamining->Take(i);
        if (!facts) {
            return false;
        }
        if (facts->exists) {
            TakeFacts(mCandidates[i], *facts);
            if (kept != i) {
                mCandidates[kept] = std::move(mCandidates[i]);
            }
            ++kept;
        }
    }
    mCandidates.resize(kept);
    return true;
}

bool SearchEngine::PrepareLibraries() {
    for (ArchiverApi* library : UsedLibraries(mLibraries, mStartup.libraries)) {
        // A library busy for another caller is waited for, in pauses an
        // abort cuts short, but not forever.
        for (long polls = 0; polls < mRunningPollLimit && library->GetRunning() != 0; ++polls) {
            if (mCancel.WaitFor(kBusyLibraryPause)) {
                break;
            }
        }
        if (library->GetCursorMode() != 0) {
            library->SetCursorMode(0);
        }
    }
    mWildcards = DocumentWildcards(mStartup.viewerVersion, mDocTypes);
    return IndependentHandles(mLibraries, mStartup.libraries);
}

LookupResult SearchEngine::LookUp(LibraryIndex index, const std::string& path, bool test) const {
    static constexpr LookupResult (*kFind[])(ArchiverApi&, void*, const std::string&,
                                             const std::string&) = {
        FindInLhaArchive, FindInZipArchive, FindInCabArchive};
    ArchiverApi* const libraries[] = {mLibraries.lha, mLibraries.zip, mLibraries.cab};
    ArchiverApi& library = *libraries[index];
    if (test && library.CheckArchive(path, 0) == 0) {
        return LookupResult::CannotOpen;
    }
    return kFind[index](library, mWindow, path, mWildcards);
}

ArchiveKind SearchEngine::CheckSfx(const std::string& path) const {
    // The first library that recognises and opens the file decides alone;
    // one that cannot leaves it to the next.
    const struct {
        LibraryIndex library;
        bool usable;
        ArchiveKind kind;
    } cascade[] = {
        {kLha, mStartup.libraries.unlha > 0, ArchiveKind::LhaSfx},
        {kZip, mStartup.libraries.unzip > 0, ArchiveKind::ZipSfx},
        {kCab, mStartup.libraries.cab >= kCabSfxVersion, ArchiveKind::CabSfx},
    };
    for (const auto& step : cascade) {
        if (!step.usable) {
            continue;
        }
        switch (LookUp(step.library, path, true)) {
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

ArchiveKind SearchEngine::CheckOne(const std::string& path, ArchiveKind kind) const {
    const LibraryVersions& versions = mStartup.libraries;
    // A library that is absent finds nothing: its calls would fail anyway.
    const auto found = [&](LibraryIndex library, std::int16_t version) {
        return version > 0 && LookUp(library, path, false) == LookupResult::Found;
    };
    switch (kind) {
        case ArchiveKind::Lha:
            return found(kLha, versions.unlha) ? ArchiveKind::Lha : ArchiveKind::None;
        case ArchiveKind::Zip:
            return found(kZip, versions.unzip) ? ArchiveKind::Zip : ArchiveKind::None;
        case ArchiveKind::Cab:
            return found(kCab, versions.cab) ? ArchiveKind::Cab : ArchiveKind::None;
        case ArchiveKind::Sfx:
            return CheckSfx(path);
        default:
            return ArchiveKind::None;
    }
}

void SearchEngine::CheckDocuments() {
    const EndExamining end(mExamining);
    StartExamining(true);
    for (const auto& candidate : mCandidates) {
        mExamining->Add(candidate.Path(), candidate.kind);
    }
    CheckExamined();
}

void SearchEngine::CheckExamined() {
    mCheckAborted = false;
    mRunMatches = 0;
    mUnread = {};
    mHits.clear();
    Heed(mObserver.OnCheckStarted(mCandidates.size()));
    for (std::size_t i = 0; i < mCandidates.size(); ++i) {
        // Answers found early wait for their turn, so that an abort leaves
        // the list where the user saw the counts stand.
        std::optional<CandidateFacts> facts;
        if (AbortRequested() || !(facts = mExamining->Take(i))) {
            mCheckAborted = true;
            return;
        }
        if (facts->exists) {
            TakeFacts(mCandidates[i], *facts);
        }
        TakeResult(i, facts->kind, std::move(facts->text));
    }
}

void SearchEngine::TakeResult(std::size_t index, ArchiveKind kind, TextFindings text) {
    FoundArchive& candidate = mCandidates[index];
    candidate.kind = kind;
    candidate.provisional = false;
    // The run's cap applies in candidate order, so the same matches are kept
    // however the threads ran.
    const std::size_t room = mOptions.textLimits.matchesPerRun - mRunMatches;
    if (text.matches.size() > room) {
        text.matches.resize(room);
        text.cut = true;
    }
    mRunMatches += text.matches.size();
    if (text.bomb) {
        mUnread.bombs.push_back(candidate.Path());
    }
    mUnread.encrypted += text.encrypted;
    mUnread.damaged += text.damaged;
    candidate.text = std::move(text);
    if (candidate.kind != ArchiveKind::None) {
        mHits.push_back(candidate);
        Heed(mObserver.OnHit(mHits.size()));
    }
    Heed(mObserver.OnCandidateChecked(index + 1));
}

}  // namespace mervok
