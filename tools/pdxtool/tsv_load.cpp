#include "tools/pdxtool/tsv_load.h"

#include <algorithm>

#include "base/exception.h"
#include "paradox/error.h"
#include "tools/pdxtool/dump_format.h"

namespace pq::pdxtool {

using paradox::FieldType;
using paradox::Value;

namespace {

// A problem with the text itself, already naming file and line.
class LineError : public Exception {
  public:
    using Exception::Exception;
};

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) return out;
        start = tab + 1;
    }
}

bool ParseHex(std::string_view s, std::vector<uint8_t>* out) {
    if (s.size() % 2) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    out->clear();
    for (size_t i = 0; i < s.size(); i += 2) {
        const int hi = digit(s[i]), lo = digit(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// Appends every record or (upsert) replaces the record with the same primary key; counts the
// replaced ones in *replaced.
size_t Load(paradox::Table& table, std::string_view tsv, const std::string& where,
            const std::string& baseFolder, const ReadFileFn& readFile, bool upsert,
            size_t* replaced) {
    const paradox::Schema& schema = table.schema();
    std::vector<int> columns;
    size_t lineNo = 0, rows = 0;
    bool header = true;
    while (!tsv.empty()) {
        const size_t nl = tsv.find('\n');
        std::string_view line = tsv.substr(0, nl);
        tsv = nl == std::string_view::npos ? std::string_view() : tsv.substr(nl + 1);
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        auto fail = [&](const std::string& what) {
            throw LineError(where + ":" + std::to_string(lineNo) + ": " + what);
        };
        if (header) {
            for (std::string_view name : SplitTabs(line)) {
                std::string unescaped;
                if (!UnescapeText(name, &unescaped)) fail("bad escape in a column name");
                const int i = schema.Find(unescaped);
                if (i < 0) fail("the table has no field '" + unescaped + "'");
                columns.push_back(i);
            }
            header = false;
            if (upsert)
                for (int k = 0; k < schema.keyFieldCount; ++k)
                    if (std::find(columns.begin(), columns.end(), k) == columns.end())
                        fail("no column for the key field '" + schema.fields[k].name + "'");
            continue;
        }
        if (line.empty() && tsv.empty()) break;  // the final newline
        const auto cells = SplitTabs(line);
        if (cells.size() != columns.size())
            fail(std::to_string(cells.size()) + " values for " + std::to_string(columns.size()) +
                 " columns");
        try {
            bool found = false;
            if (upsert && schema.keyFieldCount > 0) {
                std::vector<Value> key(static_cast<size_t>(schema.keyFieldCount));
                for (size_t c = 0; c < cells.size(); ++c) {
                    if (columns[c] >= schema.keyFieldCount) continue;
                    std::string text;
                    if (!UnescapeText(cells[c], &text))
                        fail("bad escape in '" + std::string(cells[c]) + "'");
                    if (cells[c] != "\\N") key[static_cast<size_t>(columns[c])] = Value::Text(text);
                }
                found = table.SeekKey(key);
            }
            if (found) {
                table.Edit();
                ++*replaced;
            } else {
                table.Append();
            }
            for (size_t c = 0; c < cells.size(); ++c) {
                const size_t i = static_cast<size_t>(columns[c]);
                const paradox::Field& f = schema.fields[i];
                const std::string_view cell = cells[c];
                if (f.type == FieldType::kAutoInc) continue;
                if (cell == "\\N") {
                    table.Set(i, Value());
                    continue;
                }
                const bool binary = paradox::IsBlobType(f.type) || f.type == FieldType::kBytes;
                if (binary && !cell.empty() && cell.front() == '@') {
                    std::string file(cell.substr(1));
                    const bool absolute = file.front() == '/' || file.front() == '\\' ||
                                          (file.size() > 1 && file[1] == ':');
                    if (!absolute && !baseFolder.empty()) file = baseFolder + "/" + file;
                    table.Set(i, Value::Bytes(readFile(file)));
                    continue;
                }
                if (binary && cell.substr(0, 4) == "hex:") {
                    std::vector<uint8_t> bytes;
                    if (!ParseHex(cell.substr(4), &bytes)) fail("bad hex value");
                    table.Set(i, Value::Bytes(std::move(bytes)));
                    continue;
                }
                std::string text;
                if (!UnescapeText(cell, &text)) fail("bad escape in '" + std::string(cell) + "'");
                table.Set(i, Value::Text(std::move(text)));
            }
            table.Post();
        } catch (const LineError&) {
            if (table.state() != paradox::Table::State::kBrowse) table.Cancel();
            throw;
        } catch (const Exception& e) {
            if (table.state() != paradox::Table::State::kBrowse) table.Cancel();
            const auto* ve = dynamic_cast<const paradox::ValueError*>(&e);
            fail(std::string(e.what()) + (ve ? " (" + ve->detail() + ")" : ""));
        }
        ++rows;
    }
    if (header) throw Exception(where + ": empty file (the first line names the columns)");
    return rows;
}

}  // namespace

size_t LoadTsv(paradox::Table& table, std::string_view tsv, const std::string& where,
               const std::string& baseFolder, const ReadFileFn& readFile) {
    size_t replaced = 0;
    return Load(table, tsv, where, baseFolder, readFile, false, &replaced);
}

UpsertCounts UpsertTsv(paradox::Table& table, std::string_view tsv, const std::string& where,
                       const std::string& baseFolder, const ReadFileFn& readFile) {
    UpsertCounts counts;
    const size_t rows = Load(table, tsv, where, baseFolder, readFile, true, &counts.replaced);
    counts.inserted = rows - counts.replaced;
    return counts;
}

}  // namespace pq::pdxtool
