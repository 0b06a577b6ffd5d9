#include "fuzz/fuzz_support.h"

#include <algorithm>

#include "paradox/error.h"
#include "paradox/schema.h"

namespace pq::fuzz {

namespace {

uint32_t TakeLength(std::span<const uint8_t>& in) {
    if (in.size() < 4) {
        in = {};
        return 0;
    }
    const uint32_t n =
        uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
    in = in.subspan(4);
    return n;
}

std::vector<uint8_t> TakeBytes(std::span<const uint8_t>& in, uint32_t n) {
    const size_t take = std::min<size_t>(n, in.size());
    std::vector<uint8_t> out(in.begin(), in.begin() + take);
    in = in.subspan(take);
    return out;
}

void PutLength(std::vector<uint8_t>& out, size_t n) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
}

// Searches by the first record's key and by each searchable field's value in that record.
void Search(paradox::Table& t) {
    const paradox::Schema& s = t.schema();
    t.First();
    if (t.AtEnd()) return;
    std::vector<paradox::Value> first;
    for (size_t i = 0; i < s.fields.size(); ++i)
        first.push_back(paradox::IsBlobType(s.fields[i].type) ? paradox::Value() : t.Get(i));
    if (s.keyFieldCount > 0) {
        std::vector<paradox::Value> key(first.begin(), first.begin() + s.keyFieldCount);
        t.SeekKey(key);
        key.resize(1);
        t.SeekKey(key);
    }
    for (size_t i = 0; i < s.fields.size(); ++i) {
        if (paradox::IsBlobType(s.fields[i].type)) continue;
        try {
            if (t.FindFirstEqual(i, first[i]) && !t.AtEnd()) t.Get(i);
        } catch (const paradox::ValueError&) {
        }
    }
}

constexpr size_t kMaxRecords = 100000;

}  // namespace

Frame SplitFrame(std::span<const uint8_t> input) {
    Frame f;
    f.db = TakeBytes(input, TakeLength(input));
    f.px = TakeBytes(input, TakeLength(input));
    f.mb.assign(input.begin(), input.end());
    return f;
}

std::vector<uint8_t> JoinFrame(const Frame& frame) {
    std::vector<uint8_t> out;
    PutLength(out, frame.db.size());
    out.insert(out.end(), frame.db.begin(), frame.db.end());
    PutLength(out, frame.px.size());
    out.insert(out.end(), frame.px.begin(), frame.px.end());
    out.insert(out.end(), frame.mb.begin(), frame.mb.end());
    return out;
}

void ReadEverything(paradox::Table& table, size_t maxRecords) {
    const size_t fields = table.schema().fields.size();
    size_t records = 0;
    for (table.First(); !table.AtEnd() && records < maxRecords; table.Next(), ++records) {
        for (size_t i = 0; i < fields; ++i) {
            table.Get(i);
            if (paradox::IsBlobType(table.schema().fields[i].type)) table.GetBlob(i);
        }
    }
}

void FuzzTableDb(std::span<const uint8_t> input) {
    paradox::MemoryFileSystem fs;
    fs.Bytes(kDbPath).assign(input.begin(), input.end());
    try {
        auto table = paradox::Table::Open(fs, kDbPath, {true, {kPassword}});
        try {
            ReadEverything(*table, kMaxRecords);
        } catch (const paradox::Error&) {
        }
        table->Check();
    } catch (const paradox::Error&) {
    }
}

void FuzzTableFiles(std::span<const uint8_t> input) {
    const Frame frame = SplitFrame(input);
    paradox::MemoryFileSystem fs;
    fs.Bytes(kDbPath) = frame.db;
    if (!frame.px.empty()) fs.Bytes(kPxPath) = frame.px;
    if (!frame.mb.empty()) fs.Bytes(kMbPath) = frame.mb;
    try {
        auto table = paradox::Table::Open(fs, kDbPath, {true, {kPassword}});
        try {
            ReadEverything(*table, kMaxRecords);
        } catch (const paradox::Error&) {
        }
        try {
            Search(*table);
        } catch (const paradox::Error&) {
        }
        // Searches for a text and an integer that need not be in the table.
        try {
            if (table->IsKeyed()) {
                table->SeekKey({paradox::Value::Text("zz")});
                table->SeekKey({paradox::Value::Integer(static_cast<int64_t>(input.size()))});
            }
        } catch (const paradox::Error&) {
        }
        table->Check();
    } catch (const paradox::Error&) {
    }
}

}  // namespace pq::fuzz
