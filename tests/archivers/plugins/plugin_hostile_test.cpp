// Damaged and hostile input: cut and flipped archives, end records and
// headers with absurd counts and sizes. Every call must come back with a plain
// answer; the archive test and opening must agree.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <initializer_list>
#include <optional>

#include "plugin_library.h"

namespace mervok::test {
namespace {

using Bytes = std::string;

struct Outcome {
    bool recognised = false;
    bool opened = false;
    bool found = false;
    std::size_t listed = 0;
    bool operator==(const Outcome&) const = default;
};

Outcome Probe(const PluginLibrary& library, const std::string& path) {
    Outcome outcome;
    outcome.recognised = library.CheckArchive(path.c_str(), 0) != 0;
    HARC archive = library.OpenArchive(nullptr, path.c_str(), 0x800000);
    outcome.opened = archive != nullptr;
    if (archive != nullptr) {
        INDIVIDUALINFO info{};
        outcome.found = library.FindFirst(archive, "*.TXT *.DOC", &info) == 0;
        for (int r = library.FindFirst(archive, "*", &info); r == 0 && outcome.listed < 1000000;
             r = library.FindNext(archive, &info)) {
            ++outcome.listed;
        }
        library.CloseArchive(archive);
    }
    return outcome;
}

// Little-endian numbers written into (or, from `at` = size, onto the end of) b.
void PutLe(Bytes& b, std::size_t at, std::uint64_t v, std::size_t size) {
    b.resize(std::max(b.size(), at + size));
    for (std::size_t i = 0; i < size; ++i) {
        b[at + i] = static_cast<char>(v >> (8 * i));
    }
}

// The header's checksum: the sum of its bytes after the first two.
Bytes SealedLhaHeader(Bytes h) {
    h[1] = 0;
    for (std::size_t i = 2; i < h.size(); ++i) {
        h[1] = static_cast<char>(h[1] + h[i]);
    }
    return h;
}

// A level-0 LHA header claiming packed bytes of data, followed by that many
// (or `written`) bytes.
Bytes LhaLevel0Entry(const std::string& name, std::uint32_t packed,
                     std::optional<std::uint32_t> written = std::nullopt) {
    Bytes h(22, 0);
    std::memcpy(&h[2], "-lh0-", 5);
    PutLe(h, 7, packed, 4);
    PutLe(h, 11, packed, 4);
    PutLe(h, 15, 0x2A4320A3, 4);
    h[19] = 0x20;
    h[21] = static_cast<char>(name.size());
    h += name + std::string(2, '\0');  // and the CRC of the data
    h[0] = static_cast<char>(h.size() - 2);
    return SealedLhaHeader(h) + Bytes(written.value_or(packed), 'x');
}

class HostileInputTest : public ::testing::Test {
  protected:
    // Runs all three libraries on bytes written to a file; only `owner` may
    // recognise them. Returns what the owner said.
    Outcome ProbeAll(const Bytes& bytes, int owner) {
        WriteBytes(mPath, bytes);
        Outcome ownerOutcome;
        for (int kind = 0; kind < 3; ++kind) {
            Outcome o = Probe(*mLibraries[kind], mPath);
            EXPECT_EQ(o.recognised, o.opened) << mLibraries[kind]->Prefix();
            if (kind == owner) {
                ownerOutcome = o;
            } else {
                EXPECT_FALSE(o.recognised) << mLibraries[kind]->Prefix() << " took a foreign file";
            }
        }
        return ownerOutcome;
    }

    TempFolder mTemp;
    std::string mPath = mTemp.File("input.bin");
    PluginLibrary mLha{PluginLibrary::Lha};
    PluginLibrary mZip{PluginLibrary::Zip};
    PluginLibrary mCab{PluginLibrary::Cab};
    PluginLibrary* mLibraries[3] = {&mLha, &mZip, &mCab};
};

constexpr int kLha = 0;
constexpr int kZip = 1;
constexpr int kCab = 2;

TEST_F(HostileInputTest, ArchivesCutAnywhereOrWithAnyByteFlipped) {
    const std::pair<const char*, int> fixtures[] = {
        {"lha/level0.lzh", kLha},      {"lha/level1.lzh", kLha}, {"lha/level2.lzh", kLha},
        {"lha/sjis_level1.lzh", kLha}, {"zip/nested.zip", kZip}, {"zip/zip64.zip", kZip},
        {"zip/comment.zip", kZip},     {"cab/mszip.cab", kCab},  {"cab/stored.cab", kCab},
        {"sfx/lha_8k.exe", kLha},      {"sfx/cab_8k.exe", kCab}, {"sfx/zip_8k_adjusted.exe", kZip},
    };
    for (const auto& [file, owner] : fixtures) {
        SCOPED_TRACE(file);
        const Bytes whole = ReadBytes(testing::Fixture("archives/" + std::string(file)));
        ASSERT_FALSE(whole.empty());
        const std::size_t step = std::max<std::size_t>(1, whole.size() / 400);
        for (std::size_t length = 0; length < whole.size(); length += step) {
            SCOPED_TRACE("cut at " + std::to_string(length));
            Outcome o = ProbeAll(Bytes(whole.begin(), whole.begin() + length), owner);
            // ZIP and CAB name their full size in their headers: a cut one is refused.
            EXPECT_TRUE(owner == kLha || !o.opened);
            EXPECT_LE(o.listed, 3u);
        }
        if (whole.size() > 4096) {
            continue;  // the executables' stubs add nothing to the flips
        }
        for (std::size_t at = 0; at < whole.size(); ++at) {
            for (char value : {static_cast<char>(whole[at] ^ 0xFF), '\0'}) {
                Bytes damaged = whole;
                damaged[at] = value;
                WriteBytes(mPath, damaged);
                for (PluginLibrary* library : mLibraries) {
                    Outcome o = Probe(*library, mPath);
                    ASSERT_EQ(o.recognised, o.opened) << library->Prefix() << " at " << at;
                    ASSERT_LE(o.listed, 4u) << library->Prefix() << " at " << at;
                }
            }
        }
    }
}

// plain.zip rewritten with ZIP64 end records: numbers as given, the real
// directory where it was.
Bytes Zip64Variant(std::uint64_t entries, std::uint64_t directorySize) {
    Bytes zip = ReadBytes(testing::Fixture("archives/zip/plain.zip"));
    const std::size_t end = zip.size() - 22;
    std::uint32_t realSize = 0, offset = 0;
    std::memcpy(&realSize, &zip[end + 12], 4);
    std::memcpy(&offset, &zip[end + 16], 4);
    zip.resize(end);
    const std::uint64_t record = zip.size();
    const auto put = [&zip](std::size_t size, std::initializer_list<std::uint64_t> values) {
        for (std::uint64_t value : values) {
            PutLe(zip, zip.size(), value, size);
        }
    };
    // The ZIP64 end record: size, versions, disk numbers, counts, directory.
    put(4, {0x06064b50});
    put(8, {44});
    put(4, {0x031e031e});
    put(8, {0, entries, entries, directorySize ? directorySize : realSize, offset});
    // Its locator, then a classic end record whose counts and sizes say: see ZIP64.
    put(4, {0x07064b50, 0});
    put(8, {record});
    put(4, {1, 0x06054b50, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu});
    put(2, {0});
    return zip;
}

TEST_F(HostileInputTest, AbsurdCountsSizesAndNames) {
    Bytes badHeader = ReadBytes(testing::Fixture("archives/lha/level2.lzh"));
    PutLe(badHeader, 0, 0xFFFF, 2);  // header size beyond the file
    Bytes manyEntries;               // 100,000 empty entries and one document at the end
    for (int i = 0; i < 100000; ++i) {
        manyEntries += LhaLevel0Entry("F" + std::to_string(i) + ".BIN", 0);
    }
    const struct {
        const char* what;
        Bytes bytes;
        int owner;
        Outcome expected;
    } cases[] = {
        // Only the two real records are listed.
        {"four billion entries", Zip64Variant(4'000'000'000ull, 0), kZip, {true, true, true, 2}},
        {"a directory larger than the file", Zip64Variant(2, 1ull << 40), kZip, {}},
        {"an LHA header larger than the file", badHeader, kLha, {}},
        // The first entry is still listed, the walk then ends instead of reading on.
        {"a stored size beyond the end",
         LhaLevel0Entry("FIRST.BIN", 0xFFFFFFF0, 0) + LhaLevel0Entry("SECOND.TXT", 4),
         kLha,
         {true, true, false, 1}},
        {"a name that ends at its NUL",
         LhaLevel0Entry(std::string("evil.exe\0.txt", 13), 4),
         kLha,
         {true, true, false, 1}},
        {"100,001 entries",
         manyEntries + LhaLevel0Entry("LAST.TXT", 3) + '\0',
         kLha,
         {true, true, true, 100001}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProbeAll(c.bytes, c.owner), c.expected) << c.what;
    }
}

// Bytes this process has read from files so far.
std::uint64_t BytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") {
            return value;
        }
    }
    return 0;
}

// A level-1 header with an empty name whose extended headers start with
// `firstExtended` bytes and whose stored size claims all the rest.
Bytes LhaLevel1LookAlike(std::uint16_t firstExtended) {
    Bytes h(27, 0);
    h[0] = 25;
    std::memcpy(&h[2], "-lh5-", 5);
    PutLe(h, 7, 0xFFFFFFFF, 4);
    h[19] = 0x20;
    h[20] = 1;
    h[24] = 'M';
    PutLe(h, 25, firstExtended, 2);
    return SealedLhaHeader(h);
}

TEST_F(HostileInputTest, ExecutablesWithoutArchivesAreRefusedAtTheCostOfAHarmlessOne) {
    const Bytes stub = ReadBytes(testing::Fixture("archives/stub/stub_8k.exe"));
    ASSERT_FALSE(stub.empty());
    std::uint32_t seed = 12345;
    const auto noise = [&seed](std::size_t size) {
        Bytes bytes;
        for (std::size_t i = 0; i < size; ++i) {
            seed = seed * 1103515245u + 12345u;
            bytes.push_back(static_cast<char>(seed >> 16));
        }
        return bytes;
    };
    const auto repeated = [](const Bytes& piece, std::size_t size) {
        Bytes bytes(size, 0);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = piece[i % piece.size()];
        }
        return bytes;
    };
    // Level-3 look-alikes, each claiming a header of almost 1 MiB.
    Bytes level3(32, 0);
    PutLe(level3, 0, 4, 2);
    std::memcpy(&level3[2], "-lh5-", 5);
    level3[20] = 3;
    PutLe(level3, 24, (1u << 20) - 64, 4);
    // Level-1 look-alikes whose extended headers all run into one chain of
    // 1,000 links of 8 KiB.
    Bytes sharedChain(16, 0);
    const std::size_t lookAlikes = 1000;
    for (std::size_t i = 0; i < lookAlikes; ++i) {
        Bytes h = LhaLevel1LookAlike(static_cast<std::uint16_t>((lookAlikes - 1 - i) * 27 + 3));
        sharedChain.insert(sharedChain.end(), h.begin(), h.end());
    }
    PutLe(sharedChain, sharedChain.size(), 8200 << 8, 3);  // ends every first extended header
    for (int link = 0; link < 1000; ++link) {
        sharedChain.resize(sharedChain.size() + 8200, 0);
        PutLe(sharedChain, sharedChain.size() - 2, 8200, 2);
    }
    const std::string table = "-lh5-\x01\x02-lh0-MSCF\0\0\0\0PK\x05\x06Rar!\x1a\x07\x00";
    Bytes level2(22, 0);  // large level-2 headers
    PutLe(level2, 0, 0xFFFF, 2);
    std::memcpy(&level2[2], "-lh5-", 5);
    level2[20] = 2;
    const struct {
        const char* what;
        Bytes overlay;
    } cases[] = {
        {"noise", noise(1 << 18)},
        {"zeros", Bytes(1 << 16, 0)},
        {"the extractor's own signature table", repeated(Bytes(table.begin(), table.end()), 35000)},
        {"level-2 look-alikes", repeated(level2, 2200000)},
        {"level-3 look-alikes", repeated(level3, 1100000)},
        {"level-1 look-alikes sharing one chain", sharedChain},
    };
    const auto bytesReadBy = [this](const Bytes& file) {
        const std::uint64_t before = BytesReadSoFar();
        ProbeAll(file, -1);
        return BytesReadSoFar() - before;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint64_t cost = bytesReadBy(stub + c.overlay);
        // The same calls on a harmless executable of the same size.
        const std::uint64_t reference = bytesReadBy(stub + noise(c.overlay.size()));
        EXPECT_LE(cost, 3 * reference) << cost << " bytes read against " << reference;
    }
}

}  // namespace
}  // namespace mervok::test
