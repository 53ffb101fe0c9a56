// Damaged and hostile input: cut and flipped archives, end records and
// headers with absurd counts and sizes. Every call must come back with a plain
// answer; the archive test and opening must agree.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <optional>

#include "plugin_library.h"

namespace mervok::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    bool recognised = false;
    bool opened = false;
    bool found = false;
    std::size_t listed = 0;
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

void PutLe16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    PutLe16(b, at, static_cast<std::uint16_t>(v));
    PutLe16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}
void AppendLe(Bytes& b, std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}
std::uint32_t GetLe32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A level-0 LHA header with its checksum claiming packed bytes of data,
// followed by that many (or `written`) bytes.
Bytes LhaLevel0Entry(const std::string& name, std::uint32_t packed,
                     std::optional<std::uint32_t> written = std::nullopt) {
    Bytes h(22);
    std::memcpy(&h[2], "-lh0-", 5);
    PutLe32(h, 7, packed);
    PutLe32(h, 11, packed);
    PutLe32(h, 15, 0x2A4320A3);
    h[19] = 0x20;
    h[20] = 0;
    h[21] = static_cast<std::uint8_t>(name.size());
    h.insert(h.end(), name.begin(), name.end());
    AppendLe(h, 0, 2);  // CRC of the data
    h[0] = static_cast<std::uint8_t>(h.size() - 2);
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < h.size(); ++i) {
        sum = static_cast<std::uint8_t>(sum + h[i]);
    }
    h[1] = sum;
    h.resize(h.size() + written.value_or(packed), 'x');
    return h;
}

class HostileInputTest : public ::testing::Test {
  protected:
    // Runs all three libraries on bytes written to a file; only `owner` may
    // recognise them. Returns what the owner said.
    Outcome ProbeAll(const Bytes& bytes, int owner) {
        WriteFileBytes(mPath, bytes);
        Outcome ownerOutcome;
        for (int kind = 0; kind < 3; ++kind) {
            Outcome o = Probe(*mLibraries[kind], mPath.string());
            EXPECT_EQ(o.recognised, o.opened) << mLibraries[kind]->Prefix();
            if (kind == owner) {
                ownerOutcome = o;
            } else {
                EXPECT_FALSE(o.recognised) << mLibraries[kind]->Prefix() << " took a foreign file";
            }
        }
        return ownerOutcome;
    }

    TempFolder mTemp{FastTempBase()};
    std::filesystem::path mPath = mTemp.Path() / "input.bin";
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
        const Bytes whole = ReadFileBytes(ArchiveFixtures() / file);
        ASSERT_FALSE(whole.empty());
        const std::size_t step = std::max<std::size_t>(1, whole.size() / 400);
        for (std::size_t length = 0; length < whole.size(); length += step) {
            SCOPED_TRACE("cut at " + std::to_string(length));
            Outcome o = ProbeAll(Bytes(whole.begin(), whole.begin() + length), owner);
            // ZIP and CAB name their full size in their headers: a cut one is refused.
            if (owner != kLha) {
                EXPECT_FALSE(o.opened);
            }
            EXPECT_LE(o.listed, 3u);
        }
        if (whole.size() > 4096) {
            continue;  // the executables' stubs add nothing to the flips
        }
        for (std::size_t at = 0; at < whole.size(); ++at) {
            for (std::uint8_t value :
                 {static_cast<std::uint8_t>(whole[at] ^ 0xFF), std::uint8_t{0}}) {
                Bytes damaged = whole;
                damaged[at] = value;
                WriteFileBytes(mPath, damaged);
                for (PluginLibrary* library : mLibraries) {
                    Outcome o = Probe(*library, mPath.string());
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
    Bytes zip = ReadFileBytes(ArchiveFixtures() / "zip/plain.zip");
    const std::size_t end = zip.size() - 22;
    const std::uint32_t realSize = GetLe32(zip, end + 12);
    const std::uint32_t offset = GetLe32(zip, end + 16);
    zip.resize(end);
    const std::uint64_t record = zip.size();
    const auto put = [&zip](int size, std::initializer_list<std::uint64_t> values) {
        for (std::uint64_t value : values) {
            AppendLe(zip, value, size);
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

TEST_F(HostileInputTest, ZipEndRecordsWithAbsurdNumbers) {
    // Four billion entries claimed: only the two real records are listed.
    Outcome o = ProbeAll(Zip64Variant(4'000'000'000ull, 0), kZip);
    EXPECT_TRUE(o.opened);
    EXPECT_TRUE(o.found);
    EXPECT_EQ(o.listed, 2u);
    // A directory larger than the file.
    o = ProbeAll(Zip64Variant(2, 1ull << 40), kZip);
    EXPECT_FALSE(o.opened);
}

TEST_F(HostileInputTest, LhaHeadersWithAbsurdSizes) {
    const Bytes lzh = ReadFileBytes(ArchiveFixtures() / "lha/level2.lzh");
    Bytes damaged = lzh;
    PutLe16(damaged, 0, 0xFFFF);  // header size beyond the file
    EXPECT_FALSE(ProbeAll(damaged, kLha).opened);

    // A stored size beyond the end: the first entry is still listed, the walk
    // then ends instead of reading on.
    Bytes huge = LhaLevel0Entry("FIRST.BIN", 0xFFFFFFF0, 0);
    Bytes second = LhaLevel0Entry("SECOND.TXT", 4);
    huge.insert(huge.end(), second.begin(), second.end());
    Outcome o = ProbeAll(huge, kLha);
    EXPECT_TRUE(o.opened);
    EXPECT_FALSE(o.found);
    EXPECT_EQ(o.listed, 1u);
}

TEST_F(HostileInputTest, HugeEntryCountsStayBounded) {
    // 100,000 empty entries and one document at the end.
    Bytes lzh;
    for (int i = 0; i < 100000; ++i) {
        Bytes entry = LhaLevel0Entry("F" + std::to_string(i) + ".BIN", 0);
        lzh.insert(lzh.end(), entry.begin(), entry.end());
    }
    Bytes last = LhaLevel0Entry("LAST.TXT", 3);
    lzh.insert(lzh.end(), last.begin(), last.end());
    lzh.push_back(0);
    Outcome o = ProbeAll(lzh, kLha);
    EXPECT_TRUE(o.found);
    EXPECT_EQ(o.listed, 100001u);
}

TEST_F(HostileInputTest, ArchiveAfterPaddingBehindTheStubIsFound) {
    // Some extractors pad their executable before the archive: the overlay
    // then holds no archive and the signature scan has to find it.
    const Bytes stub = ReadFileBytes(ArchiveFixtures() / "stub/stub_100k.exe");
    const std::pair<const char*, int> archives[] = {
        {"lha/lh5.lzh", kLha}, {"cab/mszip.cab", kCab}, {"zip/plain.zip", kZip}};
    for (const auto& [file, owner] : archives) {
        SCOPED_TRACE(file);
        Bytes sfx = stub;
        for (int i = 0; i < 4099; ++i) {
            sfx.push_back(static_cast<std::uint8_t>(i * 7 + 3));
        }
        const Bytes archive = ReadFileBytes(ArchiveFixtures() / file);
        sfx.insert(sfx.end(), archive.begin(), archive.end());
        Outcome o = ProbeAll(sfx, owner);
        EXPECT_TRUE(o.opened);
        EXPECT_TRUE(o.found);
    }
}

TEST_F(HostileInputTest, ExecutablesWithoutArchivesAreNotTakenForOne) {
    const Bytes stub = ReadFileBytes(ArchiveFixtures() / "stub/stub_8k.exe");
    ASSERT_FALSE(stub.empty());
    // Overlays of noise, of zeros, and of the extractor's own signature table.
    std::uint32_t seed = 12345;
    Bytes noise = stub;
    for (int i = 0; i < (1 << 18); ++i) {
        seed = seed * 1103515245u + 12345u;
        noise.push_back(static_cast<std::uint8_t>(seed >> 16));
    }
    ProbeAll(noise, -1);
    Bytes zeros = stub;
    zeros.resize(stub.size() + (1 << 16), 0);
    ProbeAll(zeros, -1);
    Bytes decoys = stub;
    const std::string table = "-lh5-\x01\x02-lh0-MSCF\0\0\0\0PK\x05\x06";
    for (int i = 0; i < 1000; ++i) {
        decoys.insert(decoys.end(), table.begin(), table.end());
    }
    ProbeAll(decoys, -1);
    // Look-alikes of large level-2 headers, packed tight.
    Bytes fakes = stub;
    Bytes fake(22, 0);
    PutLe16(fake, 0, 0xFFFF);
    std::memcpy(&fake[2], "-lh5-", 5);
    fake[20] = 2;
    for (int i = 0; i < 100000; ++i) {
        fakes.insert(fakes.end(), fake.begin(), fake.end());
    }
    ProbeAll(fakes, -1);
}

}  // namespace
}  // namespace mervok::test
