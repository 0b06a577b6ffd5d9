// Helpers for the table engine's tests: sample tables copied into a memory file system, schema
// building, and reading a whole table back as values.
#pragma once

#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "paradox/file.h"
#include "paradox/schema.h"
#include "paradox/table.h"
#include "paradox/value.h"

namespace pq::paradox {
// Values in test messages.
inline void PrintTo(const Value& v, std::ostream* os) {
    *os << v.DebugString();
}
}  // namespace pq::paradox

namespace pq::paradox::testing {

inline std::vector<uint8_t> ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string SamplePath(const std::string& name) {
    return std::string(PQ_SAMPLES_DIR) + "/" + name;
}

// Copies the named sample files into `fs` under `folder` ("/s/" by default).
inline void CopySamples(MemoryFileSystem& fs, const std::vector<std::string>& names,
                        const std::string& folder = "/s/") {
    for (const auto& n : names) {
        auto bytes = ReadHostFile(SamplePath(n));
        if (bytes.empty()) throw std::runtime_error("sample missing: " + n);
        fs.Bytes(folder + n) = bytes;
    }
}

inline Field F(const std::string& name, FieldType type, uint16_t size = 0) {
    Field f;
    f.name = name;
    f.type = type;
    f.size = size ? size : FixedFieldSize(type);
    return f;
}

inline Schema MakeSchema(std::vector<Field> fields, int keys = 0, uint32_t blockSize = 2048,
                         int level = 7) {
    Schema s;
    s.fields = std::move(fields);
    s.keyFieldCount = keys;
    s.blockSize = blockSize;
    s.fileVersion = *VersionForLevel(level);
    return s;
}

using Row = std::vector<Value>;

// Every record in table order, every field (blobs by value).
inline std::vector<Row> ReadAll(Table& t) {
    std::vector<Row> rows;
    for (t.First(); !t.AtEnd(); t.Next()) {
        Row r;
        for (size_t i = 0; i < t.schema().fields.size(); ++i) r.push_back(t.Get(i));
        rows.push_back(std::move(r));
    }
    return rows;
}

inline void InsertRow(Table& t, const Row& row) {
    t.Append();
    for (size_t i = 0; i < row.size(); ++i) t.Set(i, row[i]);
    t.Post();
}

}  // namespace pq::paradox::testing
