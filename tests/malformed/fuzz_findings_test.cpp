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

namespace pq::paradox {
namespace {

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

}  // namespace
}  // namespace pq::paradox
