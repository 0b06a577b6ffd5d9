// The blob file: every blob of the sample .MB files against bytes decoded by hand, round trips
// of the writer, space reuse, encryption, attacks on the bytes, and a failed write at every
// point of each operation.
#include "paradox/blob_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "paradox/crypt.h"
#include "paradox/error.h"
#include "paradox/graphic.h"

namespace pq::paradox {
namespace {

constexpr uint32_t kKey123 = 0x0A25E09A;  // PasswordChecksum("123")

std::vector<uint8_t> ReadSample(const std::string& name) {
    std::ifstream in(std::string(PQ_SAMPLES_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Crc32(const std::vector<uint8_t>& bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
std::vector<uint8_t> Slice(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return {b.begin() + at, b.begin() + at + n};
}
std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// The 10 bytes after a blob field's leader: u32 offset|index, u32 length, u16 modification.
BlobRef DescriptorAt(const std::vector<uint8_t>& record, size_t fieldAt, size_t leader) {
    const size_t at = fieldAt + leader;
    return {U32(record, at), U32(record, at + 4), U16(record, at + 8)};
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>((i * 131 + seed * 7 + i / 253) ^ seed);
    return v;
}

// A blob file in memory with its BlobFile.
struct Mb {
    MemoryFileSystem fs;
    std::unique_ptr<File> file;
    std::unique_ptr<BlobFile> blobs;

    struct NewFile {};
    explicit Mb(std::vector<uint8_t> bytes, std::optional<uint32_t> key = std::nullopt) {
        fs.Bytes("T.MB") = std::move(bytes);
        Reopen(key);
    }
    explicit Mb(NewFile, std::optional<uint32_t> key = std::nullopt) {
        file = fs.Open("T.MB", OpenMode::kCreate);
        BlobFile::CreateEmpty(*file, key);
        Reopen(key);
    }
    Mb(const Mb&) = delete;
    Mb& operator=(const Mb&) = delete;
    void Reopen(std::optional<uint32_t> key = std::nullopt) {
        blobs.reset();
        file = fs.Open("T.MB", OpenMode::kReadWrite);
        if (!fs.Bytes("T.MB").empty()) blobs = std::make_unique<BlobFile>(*file, "T.MB", key);
    }
    std::vector<uint8_t>& raw() { return fs.Bytes("T.MB"); }
    std::vector<uint8_t> Read(const BlobRef& r) const {
        return blobs->Read(r.offsetAndIndex, r.length, r.modNumber);
    }
    std::vector<std::string> Problems() const {
        std::vector<std::string> p;
        blobs->Check(p);
        return p;
    }
};

// Runs `f`, which must throw CorruptError with a message naming the file and containing `what`.
void ExpectCorrupt(const std::function<void()>& f, const std::string& what,
                   const std::string& file = "T.MB") {
    try {
        f();
        ADD_FAILURE() << "no CorruptError; expected: " << what;
    } catch (const CorruptError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(what), std::string::npos) << message;
        EXPECT_EQ(message.rfind(file, 0), 0u) << message;
    }
}

// ---- The samples ------------------------------------------------------------------------------

struct SampleBlob {
    size_t recordFieldAt;  // the blob field's offset in the .DB file
    uint32_t offsetAndIndex;
    uint32_t length;
    uint32_t crc;
    std::string first;
    std::string last;
};

void ExpectBlob(const BlobFile& mb, const std::vector<uint8_t>& db, size_t leader,
                const SampleBlob& s) {
    SCOPED_TRACE(s.offsetAndIndex);
    const BlobRef ref = DescriptorAt(db, s.recordFieldAt, leader);
    EXPECT_EQ(ref.offsetAndIndex, s.offsetAndIndex);
    EXPECT_EQ(ref.length, s.length);
    EXPECT_EQ(ref.modNumber, 1);
    const std::vector<uint8_t> blob = mb.Read(ref.offsetAndIndex, ref.length, ref.modNumber);
    ASSERT_EQ(blob.size(), s.length);
    EXPECT_EQ(Crc32(blob), s.crc);
    EXPECT_EQ(Slice(blob, 0, s.first.size()), Bytes(s.first));
    EXPECT_EQ(Slice(blob, blob.size() - s.last.size(), s.last.size()), Bytes(s.last));
}

TEST(BlobSamples, ReadsEveryMemoOfTheLevel7Customers) {
    // CUSTOMER.DB: 2048-byte header, 2 KiB blocks, records of 394 bytes from byte 6 of a block;
    // the memo (M110: 100-byte leader) at 280 in the record, after CustNo and seven alphas.
    const std::vector<uint8_t> db = ReadSample("CUSTOMER.DB");
    Mb mb(ReadSample("CUSTOMER.MB"));
    auto fieldAt = [](size_t record) { return 0x800 + 6 + record * 394 + 280; };
    const SampleBlob blobs[] = {
        {fieldAt(1), 0x103F, 518, 0x9ABD6BBC, "\tThe length of the l", "ocument."},
        {fieldAt(2), 0x103E, 318, 0x5BF65561, "mvn versions:set", "ide.html"},
        {fieldAt(3), 0x20FF, 56864, 0x39A86823, " The PARADOX File St", "\r\nEnd.\r\n"},
        {fieldAt(4), 0x103C, 426, 0xE5A8952E, "private static Strin", "  }\r\n}\r\n"},
    };
    for (const SampleBlob& s : blobs) {
        ExpectBlob(*mb.blobs, db, 100, s);
        // The leader holds a copy of the first 100 bytes.
        EXPECT_EQ(Slice(db, s.recordFieldAt, 100),
                  Slice(mb.Read(DescriptorAt(db, s.recordFieldAt, 100)), 0, 100));
    }
    // Record 0 keeps its 32-byte memo whole in the leader: no pointer into the file.
    EXPECT_EQ(DescriptorAt(db, fieldAt(0), 100).offsetAndIndex, 0u);
    EXPECT_EQ(DescriptorAt(db, fieldAt(0), 100).length, 32u);
    // Slot 0x3D held a memo once: deleted, its space counted free in the header's hint.
    ExpectCorrupt([&] { mb.blobs->Read(0x103D, 436, 1); }, "slot 0x3D is free");
    EXPECT_EQ(U32(mb.raw(), mb::kHeaderHintBlock), 0x1002u);
    EXPECT_EQ(U32(mb.raw(), mb::kHeaderHintFreeChunks), 155u);  // 235 - (33 + 20 + 27)
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(BlobSamples, ReadsTheLevel5MemoAndGraphic) {
    // memo.db and graphic240.db: Id (4 bytes) then a 250-byte blob field (240-byte leader).
    {
        const std::vector<uint8_t> db = ReadSample("memo.db");
        Mb mb(ReadSample("memo.mb"));
        ExpectBlob(*mb.blobs, db, 240, {0x80A, 0x103F, 555, 0xCAD8063A, "0123456789", "67890\n"});
        const BlobRef inline_ = DescriptorAt(db, 0x80A + 254, 240);
        EXPECT_EQ(inline_.offsetAndIndex, 0u);
        EXPECT_EQ(inline_.length, 12u);
        EXPECT_TRUE(mb.Problems().empty());
    }
    const std::vector<uint8_t> db = ReadSample("graphic240.db");
    Mb mb(ReadSample("graphic240.mb"));
    const std::string head("\x01\x00\x00\x01\x6E\x4E\x00\x00", 8);
    const std::string tail("\xFF\xFF\xFF\xFF\xFF\x00\x00\x00", 8);
    ExpectBlob(*mb.blobs, db, 240, {0x80A, 0x10FF, 20086, 0x888B7C8E, head + "BM", tail});
    const std::vector<uint8_t> stored = mb.Read(DescriptorAt(db, 0x80A, 240));
    const std::vector<uint8_t> picture = StripGraphicPrefix(stored, "graphic240.mb");
    ASSERT_EQ(picture.size(), 20078u);  // the bitmap's own size field: 0x4E6E
    EXPECT_EQ(Slice(picture, 0, 6), (std::vector<uint8_t>{'B', 'M', 0x6E, 0x4E, 0, 0}));
    // The record's leader copies the picture, not the prefix.
    EXPECT_EQ(Slice(db, 0x80A, 240), Slice(picture, 0, 240));
    EXPECT_EQ(AddGraphicPrefix(picture), stored);
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(BlobSamples, ReadsTheEncryptedLevel4Memos) {
    std::vector<uint8_t> db = ReadSample("encryptedmemo.db");
    DecryptDbBlock(db.data() + 0x800, 0x800, kKey123, 1);
    Mb mb(ReadSample("encryptedmemo.mb"), kKey123);
    // Records of 250 bytes: a memo M250 alone.
    ExpectBlob(*mb.blobs, db, 240,
               {0x806, 0x10FF, 55855, 0x7E8A28BB, " The PARADOX File St", "e;\nEnd.\n"});
    ExpectBlob(*mb.blobs, db, 240,
               {0x806 + 250, 0xF0FF, 494832, 0xEFBDD929, "(This is stale", "where m "});
    EXPECT_TRUE(mb.Problems().empty());
    // Without the key the header is noise.
    ExpectCorrupt([&] { BlobFile b(*mb.file, "T.MB", std::nullopt); }, "where the header block");
    ExpectCorrupt([&] { BlobFile b(*mb.file, "T.MB", PasswordChecksum("321")); },
                  "password is wrong");
}

TEST(BlobSamples, NewFileHasTheSamplesHeaderBlock) {
    Mb plain(Mb::NewFile{});
    const std::vector<uint8_t> sample = ReadSample("graphic240.mb");
    EXPECT_EQ(plain.raw(), Slice(sample, 0, 4096));
    // The samples with suballocated blocks differ only in the hint at 0x38..0x3F.
    std::vector<uint8_t> memo = Slice(ReadSample("memo.mb"), 0, 4096);
    std::fill(memo.begin() + 0x38, memo.begin() + 0x40, 0);
    EXPECT_EQ(plain.raw(), memo);

    Mb coded(Mb::NewFile{}, kKey123);
    EXPECT_EQ(coded.raw(), Slice(ReadSample("encryptedmemo.mb"), 0, 4096));
    EXPECT_TRUE(coded.Problems().empty());
}

// ---- Writing ----------------------------------------------------------------------------------

TEST(BlobWrite, RoundTripsAtEveryBoundary) {
    Mb mb(Mb::NewFile{});
    EXPECT_EQ(mb.blobs->Write({}).offsetAndIndex, 0u);  // empty: stored nowhere
    EXPECT_EQ(mb.blobs->Read(0, 0, 0), std::vector<uint8_t>{});
    EXPECT_EQ(mb.raw().size(), 4096u);

    struct Case {
        size_t size;
        bool single;
        uint32_t units;
    };
    const Case cases[] = {{1, false, 1},    {15, false, 1},   {16, false, 1},
                          {17, false, 1},   {2047, false, 1}, {2048, true, 1},
                          {4087, true, 1},  {4088, true, 2},  {100 * 1024, true, 26},
                          {1000, false, 1}, {2047, false, 1}};
    std::vector<std::pair<BlobRef, std::vector<uint8_t>>> written;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::vector<uint8_t> data = Pattern(c.size, static_cast<uint32_t>(c.size));
        const BlobRef ref = mb.blobs->Write(data);
        EXPECT_EQ(ref.length, c.size);
        EXPECT_EQ((ref.offsetAndIndex & 0xFF) == 0xFF, c.single);
        const uint32_t block = ref.offsetAndIndex & ~0xFFFu;
        EXPECT_EQ(mb.raw()[block], c.single ? mb::kTypeSingle : mb::kTypeSuballocated);
        EXPECT_EQ(U16(mb.raw(), block + 1), c.units);
        EXPECT_EQ(mb.Read(ref), data);
        written.push_back({ref, data});
    }
    // Small blobs share the first suballocated block, slots from 0x3F down.
    EXPECT_EQ(written[0].first.offsetAndIndex, 0x103Fu);
    EXPECT_EQ(written[1].first.offsetAndIndex, 0x103Eu);
    // 1 + 1 + 1 + 2 + 128 (2047 bytes) + 63 (1000 bytes) of the block's 235 chunks are taken:
    // the second 2047 bytes open a second block, at the end of the file.
    const uint32_t firstBlock = written[0].first.offsetAndIndex & ~0xFFu;
    EXPECT_EQ(written[4].first.offsetAndIndex & ~0xFFu, firstBlock);
    EXPECT_EQ(written[9].first.offsetAndIndex, firstBlock | 0x3A);
    EXPECT_EQ(written[10].first.offsetAndIndex, (mb.raw().size() - 4096) | 0x3F);
    // Modification numbers come from the header's count, which ends at the last one given.
    for (size_t i = 1; i < written.size(); ++i)
        EXPECT_EQ(written[i].first.modNumber, written[i - 1].first.modNumber + 1);
    EXPECT_EQ(written[0].first.modNumber, 2);  // a new file's count is 1
    EXPECT_EQ(U16(mb.raw(), mb::kHeaderModCount), written.back().first.modNumber);

    mb.Reopen();
    for (const auto& [ref, data] : written) EXPECT_EQ(mb.Read(ref), data);
    EXPECT_EQ(mb.raw().size() % 4096, 0u);
    EXPECT_TRUE(mb.Problems().empty());
}

// A blob written as a prefix and its data is stored as the two joined, in a slot or a block of
// its own by their joined length, and a prefix alone is a blob too.
TEST(BlobWrite, APrefixAndItsDataAreStoredAsOneBlob) {
    Mb mb(Mb::NewFile{});
    const std::vector<uint8_t> prefix = {1, 0, 0, 1, 9, 9, 9, 9};
    for (const size_t size : {size_t{0}, size_t{2039}, size_t{2040}, size_t{40000}}) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> data = Pattern(size, 5);
        const BlobRef ref = mb.blobs->Write(prefix, data);
        std::vector<uint8_t> joined = prefix;
        joined.insert(joined.end(), data.begin(), data.end());
        EXPECT_EQ(ref.length, joined.size());
        EXPECT_EQ((ref.offsetAndIndex & 0xFF) == 0xFF, joined.size() >= mb::kSmallLimit);
        EXPECT_EQ(mb.Read(ref), joined);
    }
    EXPECT_EQ(mb.blobs->Write({}, {}).offsetAndIndex, 0u);
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(BlobWrite, ManySmallBlobsFillSeveralBlocks) {
    Mb mb(Mb::NewFile{});
    std::vector<std::pair<BlobRef, std::vector<uint8_t>>> written;
    // 64 one-chunk blobs take every slot of one block; the 65th needs a second block.
    for (uint32_t i = 0; i < 65; ++i) {
        std::vector<uint8_t> data = Pattern(1 + i % 16, i);
        written.push_back({mb.blobs->Write(data), data});
    }
    EXPECT_EQ(written[63].first.offsetAndIndex, 0x1000u);
    EXPECT_EQ(written[64].first.offsetAndIndex, 0x203Fu);
    // Then blobs of every small size: slots and chunks run out in turn.
    for (uint32_t i = 0; i < 300; ++i) {
        std::vector<uint8_t> data = Pattern(1 + (i * 97) % 2047, 1000 + i);
        written.push_back({mb.blobs->Write(data), data});
    }
    size_t suballocated = 0;
    for (size_t at = 4096; at < mb.raw().size(); at += 4096) {
        EXPECT_EQ(mb.raw()[at], mb::kTypeSuballocated) << at;
        ++suballocated;
    }
    EXPECT_GT(suballocated, 50u);
    mb.Reopen();
    for (const auto& [ref, data] : written) ASSERT_EQ(mb.Read(ref), data) << ref.offsetAndIndex;
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(BlobWrite, FreedSpaceIsReusedWithoutGrowing) {
    Mb mb(Mb::NewFile{});
    const BlobRef keep = mb.blobs->Write(Pattern(300, 1));
    const BlobRef small = mb.blobs->Write(Pattern(500, 2));
    const BlobRef big = mb.blobs->Write(Pattern(40000, 3));  // 10 units
    const BlobRef after = mb.blobs->Write(Pattern(5000, 4));
    const size_t size = mb.raw().size();

    // A freed slot: the next blob that fits takes its place and its slot.
    mb.blobs->Free(small.offsetAndIndex);
    ExpectCorrupt([&] { mb.Read(small); }, "is free");
    const BlobRef again = mb.blobs->Write(Pattern(480, 5));
    EXPECT_EQ(again.offsetAndIndex, small.offsetAndIndex);
    EXPECT_EQ(mb.raw().size(), size);

    // A freed run: split between a shorter blob and the free rest, which takes another.
    mb.blobs->Free(big.offsetAndIndex);
    EXPECT_EQ(mb.raw()[big.offsetAndIndex & ~0xFFu], mb::kTypeFree);
    const BlobRef part = mb.blobs->Write(Pattern(12000, 6));  // 3 units
    EXPECT_EQ(part.offsetAndIndex, big.offsetAndIndex);
    const uint32_t rest = (big.offsetAndIndex & ~0xFFu) + 3 * 4096;
    EXPECT_EQ(mb.raw()[rest], mb::kTypeFree);
    EXPECT_EQ(U16(mb.raw(), rest + 1), 7u);
    const BlobRef fill = mb.blobs->Write(Pattern(7 * 4096 - 9, 7));
    EXPECT_EQ(fill.offsetAndIndex, rest | 0xFF);
    EXPECT_EQ(mb.raw().size(), size);

    // The last blob of a suballocated block frees the block; a new block takes it back.
    mb.blobs->Free(keep.offsetAndIndex);
    mb.blobs->Free(again.offsetAndIndex);
    EXPECT_EQ(mb.raw()[0x1000], mb::kTypeFree);
    const BlobRef back = mb.blobs->Write(Pattern(10, 8));
    EXPECT_EQ(back.offsetAndIndex, 0x103Fu);
    EXPECT_EQ(mb.raw().size(), size);

    for (const BlobRef& r : {part, fill, after, back}) EXPECT_FALSE(mb.Read(r).empty());
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(BlobWrite, AdjacentFreeRunsJoin) {
    Mb mb(Mb::NewFile{});
    const BlobRef a = mb.blobs->Write(Pattern(3 * 4096 - 9, 1));  // 3 units at 0x1000
    const BlobRef b = mb.blobs->Write(Pattern(2 * 4096 - 9, 2));  // 2 units at 0x4000
    const BlobRef c = mb.blobs->Write(Pattern(4096 - 9, 3));      // 1 unit at 0x6000
    const BlobRef d = mb.blobs->Write(Pattern(4096, 4));          // 2 units at 0x7000
    mb.blobs->Free(c.offsetAndIndex);                             // joins nothing
    mb.blobs->Free(a.offsetAndIndex);                             // joins nothing
    mb.blobs->Free(b.offsetAndIndex);  // joins both: 3 + 2 + 1 units at 0x1000
    EXPECT_EQ(mb.raw()[0x1000], mb::kTypeFree);
    EXPECT_EQ(U16(mb.raw(), 0x1001), 6u);
    const size_t size = mb.raw().size();
    const BlobRef e = mb.blobs->Write(Pattern(6 * 4096 - 9, 5));
    EXPECT_EQ(e.offsetAndIndex, 0x10FFu);
    EXPECT_EQ(mb.raw().size(), size);
    EXPECT_EQ(mb.Read(d), Pattern(4096, 4));
    EXPECT_EQ(mb.Read(e), Pattern(6 * 4096 - 9, 5));
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(BlobWrite, PlacesBlobsInTheSmallestRunAndTheFirstBlockThatFits) {
    Mb mb(Mb::NewFile{});
    // Free runs of 4, 2 and 2 units, apart from each other.
    std::vector<BlobRef> big;
    for (uint32_t units : {4u, 1u, 2u, 1u, 2u, 1u})
        big.push_back(mb.blobs->Write(Pattern(units * 4096 - 9, units)));
    mb.blobs->Free(big[0].offsetAndIndex);
    mb.blobs->Free(big[2].offsetAndIndex);
    mb.blobs->Free(big[4].offsetAndIndex);
    // Two units: the first of the two smallest runs, not the larger one before it.
    EXPECT_EQ(mb.blobs->Write(Pattern(2 * 4096 - 9, 9)).offsetAndIndex, big[2].offsetAndIndex);
    EXPECT_EQ(mb.blobs->Write(Pattern(4096, 9)).offsetAndIndex, big[4].offsetAndIndex);
    EXPECT_EQ(mb.blobs->Write(Pattern(3 * 4096 - 9, 9)).offsetAndIndex, big[0].offsetAndIndex);

    // Small blobs: three blocks; a gap in the first that a short blob fits and a long one
    // does not, which then goes to a later block with room.
    std::vector<BlobRef> small;
    for (int i = 0; i < 9; ++i) small.push_back(mb.blobs->Write(Pattern(1200, 20 + i)));
    const uint32_t first = small[0].offsetAndIndex & ~0xFFu;
    ASSERT_EQ(small[2].offsetAndIndex & ~0xFFu, first);
    mb.blobs->Free(small[1].offsetAndIndex);  // 75 chunks free in the first block
    mb.blobs->Free(small[7].offsetAndIndex);
    mb.blobs->Free(small[8].offsetAndIndex);  // the last block nearly empty
    EXPECT_EQ(mb.blobs->Write(Pattern(1000, 40)).offsetAndIndex & ~0xFFu, first);
    EXPECT_NE(mb.blobs->Write(Pattern(1500, 41)).offsetAndIndex & ~0xFFu, first);
    EXPECT_TRUE(mb.Problems().empty());
}

// A long churn of writes and frees of every size: each write lands where a blob file opened
// afresh from the same bytes would put it (the writer's kept indexes never go stale), every
// live blob reads back, and the file stays valid.
TEST(BlobWrite, KeptPlacementMatchesAFreshlyOpenedFile) {
    Mb mb(Mb::NewFile{});
    std::vector<std::pair<BlobRef, std::vector<uint8_t>>> live;
    uint32_t state = 12345;
    auto next = [&] { return state = state * 1103515245u + 12345u, state >> 8; };
    for (int step = 0; step < 600; ++step) {
        if (!live.empty() && next() % 3 == 0) {
            const size_t i = next() % live.size();
            mb.blobs->Free(live[i].first.offsetAndIndex);
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        const uint32_t r = next();
        const size_t n = r % 4 == 0 ? 2048 + r % 20000 : 1 + r % 2047;
        std::vector<uint8_t> data = Pattern(n, static_cast<uint32_t>(step));
        Mb fresh(mb.raw());
        const BlobRef expected = fresh.blobs->Write(data);
        const BlobRef ref = mb.blobs->Write(data);
        ASSERT_EQ(ref.offsetAndIndex, expected.offsetAndIndex) << "step " << step;
        live.push_back({ref, std::move(data)});
    }
    for (const auto& [ref, data] : live) EXPECT_EQ(mb.Read(ref), data);
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(BlobWrite, ReplacingByLargerAndSmallerKeepsTheFileValid) {
    // A record's blob replaced: the new value written, then the old one freed.
    Mb mb(Mb::NewFile{});
    BlobRef current = mb.blobs->Write(Pattern(100, 1));
    const size_t sizes[] = {5000, 50, 70000, 2048, 2047, 1, 9000, 300};
    uint32_t seed = 2;
    for (size_t n : sizes) {
        const BlobRef next = mb.blobs->Write(Pattern(n, seed));
        mb.blobs->Free(current.offsetAndIndex);
        current = next;
        EXPECT_EQ(mb.Read(current), Pattern(n, seed++));
        EXPECT_TRUE(mb.Problems().empty()) << n;
    }
    // Everything but the last value is free again; the file holds no more than the largest
    // value ever needed beside the others.
    EXPECT_LE(mb.raw().size(), 4096u * (1 + 18 + 3 + 1));
}

TEST(BlobWrite, WritesIntoTheSampleFileAndKeepsItsHint) {
    Mb mb(ReadSample("CUSTOMER.MB"));
    const size_t size = mb.raw().size();
    // 28 free chunks where slot 0x3D's memo was, between 0x4A0 and 0x660: first fit.
    const BlobRef ref = mb.blobs->Write(Pattern(440, 9));  // 28 chunks
    EXPECT_EQ(ref.offsetAndIndex, 0x103Du);
    EXPECT_EQ(mb.raw()[0x1000 + 12 + 5 * 0x3D], 0x4A);
    EXPECT_EQ(ref.modNumber, 2);
    EXPECT_EQ(U32(mb.raw(), mb::kHeaderHintBlock), 0x1002u);
    EXPECT_EQ(U32(mb.raw(), mb::kHeaderHintFreeChunks), 155u - 28u);
    EXPECT_EQ(mb.raw().size(), size);
    mb.blobs->Free(0x103E);  // 20 chunks
    EXPECT_EQ(U32(mb.raw(), mb::kHeaderHintFreeChunks), 155u - 28u + 20u);
    EXPECT_EQ(mb.Read(ref), Pattern(440, 9));
    EXPECT_EQ(Crc32(mb.blobs->Read(0x103F, 518, 1)), 0x9ABD6BBCu);
    EXPECT_TRUE(mb.Problems().empty());

    // Freeing the block's last memo frees the block and drops the hint.
    mb.blobs->Free(0x103F);
    mb.blobs->Free(0x103C);
    mb.blobs->Free(ref.offsetAndIndex);
    EXPECT_EQ(mb.raw()[0x1000], mb::kTypeFree);
    EXPECT_EQ(U32(mb.raw(), mb::kHeaderHintBlock), 0u);
    EXPECT_EQ(U32(mb.raw(), mb::kHeaderHintFreeChunks), 0u);
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(BlobWrite, EncryptedRoundTrip) {
    Mb mb(Mb::NewFile{}, kKey123);
    const std::string text = "Texto do memorando, com acentuação, repetido. ";
    std::vector<uint8_t> small, large;
    for (int i = 0; i < 20; ++i) small.insert(small.end(), text.begin(), text.end());
    for (int i = 0; i < 200; ++i) large.insert(large.end(), text.begin(), text.end());
    small.resize(700);
    const BlobRef a = mb.blobs->Write(small);
    const BlobRef b = mb.blobs->Write(large);
    const BlobRef c = mb.blobs->Write(Pattern(33, 3));
    mb.blobs->Free(c.offsetAndIndex);
    const BlobRef d = mb.blobs->Write(Pattern(20, 4));

    // No clear text on the file.
    const std::vector<uint8_t>& raw = mb.raw();
    EXPECT_EQ(std::search(raw.begin(), raw.end(), text.begin(), text.begin() + 12), raw.end());
    mb.Reopen(kKey123);
    EXPECT_EQ(mb.Read(a), small);
    EXPECT_EQ(mb.Read(b), large);
    EXPECT_EQ(mb.Read(d), Pattern(20, 4));
    EXPECT_TRUE(mb.Problems().empty());

    // Decoded whole, it is a clear blob file with the same blobs.
    std::vector<uint8_t> clear = raw;
    DecryptMbChunks(clear.data(), clear.size(), kKey123);
    Mb plain(clear);
    EXPECT_EQ(plain.Read(a), small);
    EXPECT_EQ(plain.Read(b), large);
    EXPECT_TRUE(plain.Problems().empty());
}

TEST(BlobWrite, EncryptedSampleTakesNewBlobs) {
    Mb mb(ReadSample("encryptedmemo.mb"), kKey123);
    const size_t size = mb.raw().size();
    const BlobRef small = mb.blobs->Write(Pattern(100, 1));
    mb.blobs->Free(0x10FF);  // 14 units
    const BlobRef big = mb.blobs->Write(Pattern(50000, 2));
    EXPECT_EQ(big.offsetAndIndex, 0x10FFu);
    EXPECT_EQ(mb.raw().size(), size + 4096);  // the suballocated block went to the end
    mb.Reopen(kKey123);
    EXPECT_EQ(mb.Read(small), Pattern(100, 1));
    EXPECT_EQ(mb.Read(big), Pattern(50000, 2));
    EXPECT_EQ(Crc32(mb.blobs->Read(0xF0FF, 494832, 1)), 0xEFBDD929u);
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(BlobWrite, WorksOnTheSystemsFiles) {
    const std::string path = std::string(PQ_BINARY_DIR) + "/blob_file_test_system.mb";
    FileSystem& fs = OsFileSystem();
    fs.Remove(path);
    std::vector<BlobRef> refs;
    {
        auto f = fs.Open(path, OpenMode::kCreate);
        BlobFile::CreateEmpty(*f, kKey123);
        BlobFile b(*f, "blob_file_test_system.mb", kKey123);
        for (size_t n : {10, 3000, 70000}) refs.push_back(b.Write(Pattern(n, 5)));
        b.Free(refs[1].offsetAndIndex);
        f->Sync();
    }
    auto f = fs.Open(path, OpenMode::kRead);
    EXPECT_EQ(f->Size(), 4096u * (1 + 1 + 1 + 18));
    BlobFile b(*f, "blob_file_test_system.mb", kKey123);
    EXPECT_EQ(b.Read(refs[0].offsetAndIndex, refs[0].length, refs[0].modNumber), Pattern(10, 5));
    EXPECT_EQ(b.Read(refs[2].offsetAndIndex, refs[2].length, refs[2].modNumber), Pattern(70000, 5));
    b.Validate();
    f.reset();
    fs.Remove(path);
    EXPECT_FALSE(fs.IsFile(path));
}

// ---- Attacks on the bytes ---------------------------------------------------------------------

TEST(BlobCorrupt, BadPointersAreRefused) {
    Mb mb(ReadSample("memo.mb"));  // one memo: block 0x1000, slot 0x3F, 555 bytes, mod 1
    const BlobFile& b = *mb.blobs;
    ExpectCorrupt([&] { b.Read(0x103F, 554, 1); },
                  "the record says 554 bytes, slot 0x3F holds 555");
    ExpectCorrupt([&] { b.Read(0x103F, 555, 2); }, "modification number 2 in the record, 1");
    ExpectCorrupt([&] { b.Read(0x103E, 555, 1); }, "slot 0x3E is free");
    ExpectCorrupt([&] { b.Read(0x1040, 555, 1); }, "slot 0x40 beyond");
    ExpectCorrupt([&] { b.Read(0x10FF, 555, 1); }, "block type 3 where a single-blob block");
    ExpectCorrupt([&] { b.Read(0x203F, 555, 1); }, "points past the end");
    ExpectCorrupt([&] { b.Read(0xFFFFF03F, 555, 1); }, "points past the end");
    ExpectCorrupt([&] { b.Read(0x183F, 555, 1); }, "not on a 4096-byte block boundary");
    ExpectCorrupt([&] { b.Read(0x3F, 555, 1); }, "points at the header block");
    ExpectCorrupt([&] { b.Read(0x103F, 0xFFFFFFF0u, 1); }, "is larger than the file");
    EXPECT_EQ(Crc32(b.Read(0x103F, 555, 1)), 0xCAD8063Au);  // and the right one still reads
}

TEST(BlobCorrupt, BrokenSlotsAndBlocksAreRefused) {
    const std::vector<uint8_t> memo = ReadSample("memo.mb");
    const size_t slot = 0x1000 + 12 + 5 * 0x3F;
    struct Attack {
        size_t at;
        uint8_t value;
        std::string error;
        bool checkSeesIt;  // a fault of the block itself, not only of the record's pointer
    };
    const Attack attacks[] = {
        {slot + 4, 17, "breaks the block", true},    // 17 bytes in a 16-byte chunk
        {slot + 0, 0x10, "breaks the block", true},  // data inside the slot table
        {slot + 0, 0xF0, "breaks the block", true},  // 35 chunks from 0xF00 pass the end
        {slot + 1, 0, "breaks the block", true},     // no chunks
        {slot + 1, 36, "slot 0x3F holds 571", false},
        {slot + 2, 9, "9 in slot 0x3F", false},
        {0x1000, 4, "block type 4 where a suballocated block", true},  // the hint
        {0x1001, 2, "suballocated block of 2 units", true},
    };
    for (const Attack& a : attacks) {
        SCOPED_TRACE(a.error);
        std::vector<uint8_t> bytes = memo;
        bytes[a.at] = a.value;
        Mb mb(bytes);
        ExpectCorrupt([&] { mb.blobs->Read(0x103F, 555, 1); }, a.error);
        EXPECT_EQ(!mb.Problems().empty(), a.checkSeesIt);
    }

    const std::vector<uint8_t> graphic = ReadSample("graphic240.mb");
    auto attackSingle = [&](size_t at, std::vector<uint8_t> value, const std::string& error) {
        SCOPED_TRACE(error);
        std::vector<uint8_t> bytes = graphic;
        std::copy(value.begin(), value.end(), bytes.begin() + at);
        Mb mb(bytes);
        ExpectCorrupt([&] { mb.blobs->Read(0x10FF, 20086, 1); }, error);
    };
    attackSingle(0x1003, {0x75, 0x4E}, "the record says 20086 bytes, the block holds 20085");
    attackSingle(0x1001, {0xFF, 0xFF}, "block of 65535 units does not fit");
    attackSingle(0x1001, {0, 0}, "block of 0 units does not fit");
    attackSingle(0x1001, {4, 0}, "does not fit in 4 units");
    attackSingle(0x1007, {2, 0}, "modification number 1 in the record, 2 in the block");
    attackSingle(0x1000, {3}, "block type 3 where a single-blob block");
    std::vector<uint8_t> truncated = Slice(graphic, 0, 8192);
    Mb cut(truncated);
    ExpectCorrupt([&] { cut.blobs->Read(0x10FF, 20086, 1); }, "is larger than the file (8192");
    EXPECT_FALSE(cut.Problems().empty());
}

TEST(BlobCorrupt, BrokenHeaderOrSizeIsRefusedOnOpen) {
    const std::vector<uint8_t> memo = ReadSample("memo.mb");
    MemoryFileSystem fs;
    auto open = [&](std::vector<uint8_t> bytes) {
        fs.Bytes("T.MB") = std::move(bytes);
        auto f = fs.Open("T.MB", OpenMode::kRead);
        BlobFile b(*f, "T.MB", std::nullopt);
    };
    ExpectCorrupt([&] { open({}); }, "size of 0 bytes is not a whole number");
    ExpectCorrupt([&] { open(Slice(memo, 0, 5000)); }, "size of 5000 bytes");
    std::vector<uint8_t> longer = memo;
    longer.push_back(0);
    ExpectCorrupt([&] { open(longer); }, "8193 bytes");
    struct Attack {
        size_t at;
        uint8_t value;
        std::string error;
    };
    const Attack attacks[] = {
        {0x00, 2, "block type 2 where the header block"},
        {0x01, 2, "header block of 2 units"},
        {0x0C, 0x20, "unit size is 0x2000"},
        {0x0E, 0x08, "suballocated block size is 0x800"},
        {0x10, 0x20, "chunk size is 0x20"},
        {0x11, 0x20, "slots per suballocated block is 0x20"},
        {0x14, 0x04, "threshold is 0x400"},
    };
    for (const Attack& a : attacks) {
        std::vector<uint8_t> bytes = memo;
        bytes[a.at] = a.value;
        ExpectCorrupt([&] { open(bytes); }, a.error);
    }
}

TEST(BlobCorrupt, CheckFindsEveryInconsistentBlock) {
    const std::vector<uint8_t> customer = ReadSample("CUSTOMER.MB");
    auto problems = [&](size_t at, std::vector<uint8_t> value) {
        std::vector<uint8_t> bytes = customer;
        std::copy(value.begin(), value.end(), bytes.begin() + at);
        Mb mb(bytes);
        return mb.Problems();
    };
    auto expectOne = [&](size_t at, std::vector<uint8_t> value, const std::string& what) {
        SCOPED_TRACE(what);
        const std::vector<std::string> found = problems(at, value);
        ASSERT_FALSE(found.empty());
        EXPECT_NE(found[0].find(what), std::string::npos) << found[0];
        EXPECT_EQ(found[0].rfind("T.MB at offset ", 0), 0u) << found[0];
    };
    expectOne(0x2000, {7}, "0x2000: block type 7 is not a blob block");
    expectOne(0x2000, {0}, "block type 0 is not a blob block");
    expectOne(0x2001, {15, 0}, "block of 15 units does not fit in the file (65536 bytes)");
    expectOne(0x2001, {0, 0}, "block of 0 units");
    expectOne(0x2003, {0xF8, 0xDF, 0, 0}, "blob of 57336 bytes does not fit in 14 units");
    expectOne(0x1001, {2, 0}, "suballocated block of 2 units");
    // Slot 0x3E given slot 0x3F's place: the two overlap.
    expectOne(0x1000 + 12 + 5 * 0x3E, {0x15}, "slot data overlap at 0x150");
    expectOne(0x1000 + 12 + 5 * 0x3C, {0xF0}, "slot 0x3C data at 0xF00 of 27 chunks");
    expectOne(0x1000 + 12 + 5 * 0x3C + 4, {0x11}, "slot 0x3C holds 27 chunks with 17 bytes");
    expectOne(mb::kHeaderHintBlock, {0x02, 0x20}, "names 0x2000 as a suballocated block");

    // Validate raises the first problem found.
    std::vector<uint8_t> bytes = customer;
    bytes[0x2000] = 9;
    Mb mb(bytes);
    ExpectCorrupt([&] { mb.blobs->Validate(); }, "block type 9 is not a blob block");
    // And no write goes into a file whose blocks cannot be walked.
    ExpectCorrupt([&] { mb.blobs->Write(Pattern(10, 1)); }, "block type 9");
    EXPECT_EQ(mb.raw(), bytes);
}

// The walk reads blocks through a window of 64 KiB: blocks past the first window, a header
// split by its edge, and the small blocks after a long one are all found and all checked.
TEST(BlobCorrupt, TheWalkFindsEveryBlockAndProblemPastItsFirstWindow) {
    const auto Hex = [](uint32_t v) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", v);
        return std::string(text);
    };
    Mb mb(Mb::NewFile{});
    std::vector<std::pair<BlobRef, std::vector<uint8_t>>> live;
    auto add = [&](size_t n) {
        std::vector<uint8_t> data = Pattern(n, static_cast<uint32_t>(live.size()));
        live.push_back({mb.blobs->Write(data), std::move(data)});
    };
    for (int i = 0; i < 40; ++i) add(1500);  // two a block: 20 suballocated blocks
    add(20000);                              // five units
    for (int i = 0; i < 10; ++i) add(1500);
    ASSERT_GT(mb.raw().size(), 26u * 4096);
    Mb fresh(mb.raw());
    for (const auto& [ref, data] : live) EXPECT_EQ(fresh.Read(ref), data);
    EXPECT_TRUE(fresh.Problems().empty());
    // The next write goes where a writer that saw every block puts it.
    EXPECT_EQ(fresh.blobs->Write(Pattern(100, 9)).offsetAndIndex,
              mb.blobs->Write(Pattern(100, 9)).offsetAndIndex);

    const uint32_t lateBlock = live[38].first.offsetAndIndex & ~0xFFFu;  // past 64 KiB
    const uint32_t afterLong = live[41].first.offsetAndIndex & ~0xFFFu;  // after the 5 units
    ASSERT_GT(lateBlock, 65536u);
    ASSERT_EQ(afterLong, (live[40].first.offsetAndIndex & ~0xFFFu) + 5 * 4096);
    auto problems = [&](uint32_t at, uint8_t value) {
        std::vector<uint8_t> bytes = mb.raw();
        bytes[at] = value;
        return Mb(bytes).Problems();
    };
    const auto overlap = problems(lateBlock + 12 + 5 * 0x3E, 0x15);  // onto slot 0x3F's data
    ASSERT_EQ(overlap.size(), 1u);
    EXPECT_EQ(overlap[0], "T.MB at offset " + Hex(lateBlock) + ": slot data overlap at 0x150");
    const auto type = problems(afterLong, 7);
    ASSERT_EQ(type.size(), 1u);
    EXPECT_EQ(type[0], "T.MB at offset " + Hex(afterLong) +
                           ": block type 7 is not a blob block (2, 3 or 4)");
}

TEST(BlobCorrupt, FreeingAnythingButALiveBlobIsRefused) {
    Mb mb(ReadSample("CUSTOMER.MB"));
    const std::vector<uint8_t> before = mb.raw();
    ExpectCorrupt([&] { mb.blobs->Free(0x103D); }, "slot 0x3D is free");
    ExpectCorrupt([&] { mb.blobs->Free(0x10FF); }, "block type 3 where a single-blob block");
    ExpectCorrupt([&] { mb.blobs->Free(0x203F); }, "block type 2 where a suballocated block");
    ExpectCorrupt([&] { mb.blobs->Free(0x30FF); }, "no block starts there");
    ExpectCorrupt([&] { mb.blobs->Free(0x100000FF); }, "no block starts there");
    ExpectCorrupt([&] { mb.blobs->Free(0x1050); }, "slot 0x50 beyond");
    EXPECT_EQ(mb.raw(), before);
    mb.blobs->Free(0);  // nothing in the file: nothing to do
    EXPECT_EQ(mb.raw(), before);
    mb.blobs->Free(0x20FF);
    ExpectCorrupt([&] { mb.blobs->Free(0x20FF); }, "block type 4 where a single-blob block");
    mb.blobs->Free(0x103C);
    ExpectCorrupt([&] { mb.blobs->Free(0x103C); }, "slot 0x3C is free");
    EXPECT_TRUE(mb.Problems().empty());
}

TEST(GraphicPrefix, ShortBlobsAreRefused) {
    EXPECT_EQ(AddGraphicPrefix(std::vector<uint8_t>{'B', 'M'}),
              (std::vector<uint8_t>{1, 0, 0, 1, 2, 0, 0, 0, 'B', 'M'}));
    EXPECT_EQ(StripGraphicPrefix(AddGraphicPrefix({}), "x"), std::vector<uint8_t>{});
    try {
        StripGraphicPrefix(std::vector<uint8_t>{1, 0, 0, 1, 2, 0, 0}, "PHOTOS.MB at offset 0x1000");
        ADD_FAILURE();
    } catch (const CorruptError& e) {
        EXPECT_STREQ(e.what(),
                     "PHOTOS.MB at offset 0x1000: graphic blob of 7 bytes is shorter than its "
                     "8-byte prefix");
    }
}

// ---- A failed write at every point ------------------------------------------------------------

// A file with a suballocated block holding two blobs (182 of its 235 chunks), a single-blob
// block, a free run of 3 units, and another single-blob block after it.
struct Base {
    Mb mb{Mb::NewFile{}};
    std::vector<std::pair<BlobRef, std::vector<uint8_t>>> live;
    BlobRef freedRun;
    Base() {
        for (auto [n, seed] :
             {std::pair{1500, 1}, {1400, 2}, {10000, 3}, {3 * 4096 - 9, 4}, {6000, 5}}) {
            std::vector<uint8_t> data = Pattern(n, seed);
            live.push_back({mb.blobs->Write(data), data});
        }
        freedRun = live[3].first;
        mb.blobs->Free(freedRun.offsetAndIndex);
        live.erase(live.begin() + 3);
    }
};

// An operation sets `made` as soon as it has written a blob.
using Operation = std::function<void(BlobFile&, std::optional<BlobRef>& made)>;

// The blobs a file holds, found by walking its bytes: single-blob blocks and live slots.
std::set<uint32_t> LiveBlobs(std::vector<uint8_t> raw, std::optional<uint32_t> key) {
    if (key) DecryptMbChunks(raw.data(), raw.size(), *key);
    std::set<uint32_t> live;
    for (size_t at = 4096; at < raw.size();) {
        const uint32_t units = U16(raw, at + 1);
        if (units == 0) {
            ADD_FAILURE() << "block of 0 units at " << at;
            break;
        }
        if (raw[at] == mb::kTypeSingle) live.insert(static_cast<uint32_t>(at) | 0xFF);
        if (raw[at] == mb::kTypeSuballocated)
            for (uint32_t i = 0; i < mb::kSlots; ++i) {
                const size_t slot = at + mb::kSlotTable + mb::kSlotSize * i;
                if (raw[slot] != 0 && raw[slot + 4] != 0)
                    live.insert(static_cast<uint32_t>(at) | i);
            }
        at += units * size_t{4096};
    }
    return live;
}

// Runs `op` on the base file with the Nth write failing, for every N until it succeeds. After
// each failure: every earlier blob but those in `gone` reads back, the file checks clean, and
// it holds no blob but the earlier ones (a half-done write leaves nothing behind); the same
// BlobFile then writes on. After the success the file holds the new blob too.
void ExpectEveryFailureLeavesTheFileValid(const std::string& name, std::optional<uint32_t> key,
                                          const std::vector<uint8_t>& value, const Operation& op,
                                          const std::vector<BlobRef>& gone = {}) {
    SCOPED_TRACE(name);
    Base base;
    std::vector<uint8_t> start = base.mb.raw();
    if (key) EncryptMbChunks(start.data(), start.size(), *key);  // the same file, encrypted
    std::set<uint32_t> before, after;
    for (const auto& [ref, data] : base.live) {
        before.insert(ref.offsetAndIndex);
        after.insert(ref.offsetAndIndex);
    }
    for (const BlobRef& g : gone) after.erase(g.offsetAndIndex);

    for (long long budget = 0;; ++budget) {
        SCOPED_TRACE("write budget " + std::to_string(budget));
        ASSERT_LT(budget, 100) << "the operation never completes";
        Mb mb(start, key);
        mb.fs.SetWriteBudget(budget);
        std::optional<BlobRef> made;
        bool failed = false;
        try {
            op(*mb.blobs, made);
        } catch (const IoError&) {
            failed = true;
        }
        const long long writes = mb.fs.WritesDone();
        mb.fs.SetWriteBudget(-1);

        const BlobFile fresh(*mb.file, "T.MB", key);
        for (const auto& [ref, data] : base.live)
            if (after.count(ref.offsetAndIndex)) {
                ASSERT_EQ(fresh.Read(ref.offsetAndIndex, ref.length, ref.modNumber), data);
            }
        std::vector<std::string> problems;
        fresh.Check(problems);
        ASSERT_TRUE(problems.empty()) << problems.front();
        const std::set<uint32_t> live = LiveBlobs(mb.raw(), key);
        if (failed) {
            std::set<uint32_t> possible = before;
            if (made) possible.insert(made->offsetAndIndex);
            ASSERT_TRUE(std::includes(possible.begin(), possible.end(), live.begin(), live.end()));
            ASSERT_TRUE(std::includes(live.begin(), live.end(), after.begin(), after.end()));
        } else {
            std::set<uint32_t> expected = after;
            if (made) {
                expected.insert(made->offsetAndIndex);
                ASSERT_EQ(fresh.Read(made->offsetAndIndex, made->length, made->modNumber), value);
            }
            ASSERT_EQ(live, expected);
        }

        // The BlobFile that saw the failure goes on writing, into a slot and into free space;
        // what it writes must be where the file's own structure says it is.
        const BlobRef more = mb.blobs->Write(Pattern(777, 77));
        const BlobRef more2 = mb.blobs->Write(Pattern(3000, 79));  // 1 unit
        mb.Reopen(key);
        ASSERT_EQ(mb.Read(more), Pattern(777, 77));
        ASSERT_EQ(mb.Read(more2), Pattern(3000, 79));
        ASSERT_TRUE(mb.Problems().empty()) << mb.Problems().front();
        const std::set<uint32_t> now = LiveBlobs(mb.raw(), key);
        for (const BlobRef& r : {more, more2}) ASSERT_TRUE(now.count(r.offsetAndIndex));
        if (!failed) {
            EXPECT_GT(budget, 0);
            EXPECT_LE(writes, budget);
            break;
        }
    }
}

void ExpectEveryOperationSurvivesFailures(std::optional<uint32_t> key) {
    auto write = [](std::vector<uint8_t> v) {
        return [v](BlobFile& b, std::optional<BlobRef>& made) { made = b.Write(v); };
    };
    const std::vector<uint8_t> small = Pattern(333, 9), longSmall = Pattern(2000, 9),
                               big = Pattern(4096 + 100, 9), huge = Pattern(20000, 9);
    ExpectEveryFailureLeavesTheFileValid("small into the block", key, small, write(small));
    // Too long for the room left in the block: a new one, split from the free run.
    ExpectEveryFailureLeavesTheFileValid("small into a new block", key, longSmall,
                                         write(longSmall));
    ExpectEveryFailureLeavesTheFileValid("single into the free run", key, big, write(big));
    ExpectEveryFailureLeavesTheFileValid("single at the end", key, huge, write(huge));

    Base probe;
    const BlobRef first = probe.live[0].first, second = probe.live[1].first,
                  single = probe.live[2].first;
    auto freeing = [](std::vector<BlobRef> refs) {
        return [refs](BlobFile& b, std::optional<BlobRef>&) {
            for (const BlobRef& r : refs) b.Free(r.offsetAndIndex);
        };
    };
    ExpectEveryFailureLeavesTheFileValid("free a slot", key, {}, freeing({first}), {first});
    ExpectEveryFailureLeavesTheFileValid("free a single next to a free run", key, {},
                                         freeing({single}), {single});
    ExpectEveryFailureLeavesTheFileValid("free a whole suballocated block", key, {},
                                         freeing({first, second}), {first, second});
    // A replacement: the new value, then the old one freed.
    ExpectEveryFailureLeavesTheFileValid("replace", key, huge,
                                         [&](BlobFile& b, std::optional<BlobRef>& made) {
                                             made = b.Write(huge);
                                             b.Free(single.offsetAndIndex);
                                         },
                                         {single});
}

TEST(BlobFaults, EveryFailedWriteLeavesEarlierBlobsAndAValidFile) {
    ExpectEveryOperationSurvivesFailures(std::nullopt);
}

TEST(BlobFaults, EveryFailedWriteLeavesAValidEncryptedFile) {
    ExpectEveryOperationSurvivesFailures(kKey123);
}

}  // namespace
}  // namespace pq::paradox
