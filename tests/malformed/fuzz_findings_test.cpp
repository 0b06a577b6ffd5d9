// Faults the fuzz targets found, each pinned down by its input (or the smallest table that
// shows it) and run through the target's own code (fuzz/fuzz_support.h). A test is named after
// the fault it keeps fixed.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "paradox/error.h"
#include "paradox/table.h"

#if defined(__SANITIZE_ADDRESS__)
// An allocation sized by hostile bytes fails here at once instead of being served.
extern "C" const char* __asan_default_options() {
    return "max_allocation_size_mb=256";
}
#endif

namespace pq::paradox {
namespace {

// An input of `size` bytes, zero but for the runs given (offset, bytes): the fuzzers' inputs are
// mostly zeros.
std::vector<uint8_t> Sparse(size_t size,
                            const std::vector<std::pair<size_t, std::vector<uint8_t>>>& runs) {
    std::vector<uint8_t> out(size, 0);
    for (const auto& [at, bytes] : runs) std::copy(bytes.begin(), bytes.end(), out.begin() + at);
    return out;
}

std::vector<uint8_t> SampleBytes(const std::string& name) {
    std::ifstream in(std::string(PQ_SAMPLES_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// table_files_fuzzer, first input (the sample bcd.db): a BCD field with 32 decimals reads
// back as "0.<32 digits>", and encoding that text again counted the leading zero as a 33rd
// digit and wrote before the field's bytes (a wild write in PackBcd).
TEST(FuzzFinding, Bcd32DecimalsLeadingZeroOverflowedTheDigits) {
    MemoryFileSystem fs;
    Schema s;
    s.fields = {{"Id", FieldType::kShort, 2}, {"Valor", FieldType::kBcd, 32}};
    auto t = Table::Create(fs, "/t/bcd32.db", s);
    t->Append();
    t->Set(0, Value::Integer(1));
    t->Set(1, Value::Bcd("0.5"));
    t->Post();
    t->First();
    const Value v = t->Get(1);
    EXPECT_EQ(v, Value::Bcd("0.5" + std::string(31, '0')));
    ASSERT_TRUE(t->FindFirstEqual(1, v));
    EXPECT_EQ(t->Get(0), Value::Integer(1));
    EXPECT_TRUE(t->Check().empty());

    fuzz::Frame frame;
    frame.db = SampleBytes("bcd.db");
    fuzz::FuzzTableFiles(fuzz::JoinFrame(frame));
}

// table_files_fuzzer, oom-a3b50102 (minimized): a .DB whose header counts 201326720 records
// in its one block. The first search by field value reserved the in-memory field index for
// that many records: a 4 GiB allocation. The table is now refused when it opens.
TEST(FuzzFinding, RecordCountBeyondTheBlocksSizedTheFieldIndex) {
    const std::vector<uint8_t> input = Sparse(
        2029,
        {
            {0x001, {0x10, 0x01, 0x00, 0x33, 0x00, 0xE9, 0x03, 0x02, 0x01, 0x80, 0x00,
                     0x00, 0x0C, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x03}},
            {0x01A, {0x01, 0x00, 0x00, 0x01}},
            {0x025, {0x03}},
            {0x02A, {0xFF, 0x00, 0xFF}},
            {0x031,
             {0x87, 0x82, 0x00, 0x48, 0xE4, 0xDF, 0x6B, 0x42, 0xE4, 0xDF, 0x6B, 0x00, 0x0B, 0x01}},
            {0x042, {0x1F, 0x0F}},
            {0x055, {0xEF}},
            {0x05A, {0x20, 0x00, 0x0B, 0x01, 0x0B, 0x01}},
            {0x064, {0x5E, 0xD6, 0xEE, 0x5E, 0x04, 0x00, 0x8B}},
            {0x06E, {0x52, 0x03, 0x01, 0x01, 0x91, 0x00, 0x01}},
            {0x07C, {0x17, 0x02, 0x17, 0x00, 0x17, 0x20, 0x38, 0x92, 0xDF, 0x6B, 0x87, 0x92,
                     0xDF, 0x6B, 0x89, 0x92, 0x70, 0x00, 0x8B, 0x92, 0xDF, 0x6B, 0x62}},
            {0x09E, {0x81}},
            {0x0A2,
             {0x42, 0x00, 0x43, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x61, 0x73, 0x63, 0x69,
              0x69}},
            {0x251, {0xFF, 0xFF, 0xFF, 0xFF}},
            {0x2A3, {0xFF, 0xFF}},
            {0x3DE, {0xFF, 0xFF, 0xFF, 0xFF}},
            {0x453, {0xFF, 0xFF, 0xFF, 0xFF}},
            {0x4D5, {0xFF, 0xFF, 0xFF, 0xFF}},
            {0x60E, {0xFF, 0xFF, 0xFF, 0xFF}},
            {0x660, {0xFF, 0xFF}},
            {0x79B, {0xFF, 0xFF, 0xFF, 0xFF}},
        });
    fuzz::FuzzTableFiles(input);

    MemoryFileSystem fs;
    fs.Bytes(fuzz::kDbPath) = fuzz::SplitFrame(input).db;
    try {
        Table::Open(fs, fuzz::kDbPath, {true, {}});
        FAIL() << "opened";
    } catch (const CorruptError& e) {
        EXPECT_STREQ(e.what(),
                     "/fuzz/T.DB: header: 201326720 records do not fit the 1 blocks in use");
    }
}

}  // namespace
}  // namespace pq::paradox
