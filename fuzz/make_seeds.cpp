// Writes the seed corpora of the fuzz targets: tables made by our engine (question and figure
// tables, every field type, a two-field key over a three-level index, an encrypted table, level
// 4, 5 and 7 headers, a table with freed blocks), plus the sample tables when their folder is
// given. Each table becomes one seed of each target: its .DB alone in OUT/db, and its .DB,
// .PX and .MB framed in OUT/files. OUT/merge holds package tables for the merge target.
//
// Usage: make_seeds OUT [SAMPLES_FOLDER]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "paradox/error.h"
#include "paradox/table.h"

namespace {

using namespace pq;
using paradox::FieldType;
using paradox::Schema;
using paradox::Table;
using paradox::Value;
namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

void Emit(const fs::path& out, const std::string& name, const fuzz::Frame& frame) {
    WriteFile(out / "db" / name, frame.db);
    WriteFile(out / "files" / name, fuzz::JoinFrame(frame));
}

// A table made in memory by `fill`, emitted under `name`.
void Made(const fs::path& out, const std::string& name, const Schema& schema,
          const std::function<void(Table&)>& fill, const std::string& password = "") {
    paradox::MemoryFileSystem mem;
    {
        paradox::CreateOptions options;
        options.password = password;
        if (schema.blockSize == 1024) options.indexBlockSize = 1024;
        auto t = Table::Create(mem, fuzz::kDbPath, schema, options);
        fill(*t);
        if (!t->Check().empty()) throw std::runtime_error(name + ": the made table is not valid");
    }
    fuzz::Frame f;
    f.db = mem.Bytes(fuzz::kDbPath);
    if (mem.IsFile(fuzz::kPxPath)) f.px = mem.Bytes(fuzz::kPxPath);
    if (mem.IsFile(fuzz::kMbPath)) f.mb = mem.Bytes(fuzz::kMbPath);
    Emit(out, name, f);
}

Schema QuestionSchema() {
    Schema s;
    s.fields = {{"Codigo", FieldType::kAutoInc, 4},  {"NumeroReal", FieldType::kLong, 4},
                {"Enunciado", FieldType::kMemo, 20}, {"Alternativa", FieldType::kAlpha, 60},
                {"Resposta", FieldType::kAlpha, 1},  {"Nivel", FieldType::kShort, 2}};
    s.keyFieldCount = 1;
    s.blockSize = 1024;
    return s;
}

void Questions(Table& t, int n) {
    for (int i = 0; i < n; ++i) {
        t.Append();
        t.Set(1, Value::Integer(100 + i));
        // Short memos stay in the leader, longer ones take a slot, the longest a whole block.
        const size_t len = i % 3 == 0 ? 5 : i % 3 == 1 ? 300 : 3000;
        t.Set(2, Value::Text(std::string(len, static_cast<char>('a' + i % 26))));
        t.Set(3, Value::Text("alternativa " + std::to_string(i)));
        t.Set(4, Value::Text("ABCDE"[i % 5] + std::string()));
        t.Set(5, Value::Integer(i % 4));
        t.Post();
    }
}

Schema EveryType(uint8_t version) {
    Schema s;
    s.fields = {{"A", FieldType::kAlpha, 12},     {"D", FieldType::kDate, 4},
                {"S", FieldType::kShort, 2},      {"I", FieldType::kLong, 4},
                {"C", FieldType::kCurrency, 8},   {"N", FieldType::kNumber, 8},
                {"L", FieldType::kLogical, 1},    {"M", FieldType::kMemo, 11},
                {"B", FieldType::kBinary, 10},    {"F", FieldType::kFmtMemo, 11},
                {"O", FieldType::kOle, 10},       {"G", FieldType::kGraphic, 10},
                {"T", FieldType::kTime, 4},       {"TS", FieldType::kTimestamp, 8},
                {"Auto", FieldType::kAutoInc, 4}, {"Bcd", FieldType::kBcd, 2},
                {"Y", FieldType::kBytes, 6}};
    s.keyFieldCount = 0;
    s.fileVersion = version;
    s.blockSize = 2048;
    return s;
}

void EveryTypeRows(Table& t) {
    // Sets a field by name when the table has it (level 4 tables hold fewer types).
    auto set = [&](const char* name, const Value& v) {
        const int i = t.schema().Find(name);
        if (i >= 0) t.Set(static_cast<size_t>(i), v);
    };
    for (int i = 0; i < 4; ++i) {
        t.Append();
        set("A", Value::Text("linha " + std::to_string(i)));
        set("D", Value::Date(730000 + i));
        set("S", Value::Integer(-i));
        set("I", Value::Integer(i * 100000));
        set("C", Value::Double(i * 1.25));
        set("N", Value::Double(-i / 3.0));
        set("L", Value::Bool(i % 2 == 0));
        set("M", Value::Text(std::string(i * 40, 'm')));
        set("B", Value::Bytes(std::vector<uint8_t>(i * 30, 0xB1)));
        set("F", Value::Text(std::string(i * 20, 'f')));
        set("O", Value::Bytes(std::vector<uint8_t>(i * 10, 0x0E)));
        set("G", Value::Bytes(std::vector<uint8_t>(i * 25 + 1, 0x47)));
        set("T", Value::Time(i * 3600000));
        set("TS", Value::Timestamp(63000000000000.0 + i));
        set("Bcd", Value::Bcd(std::to_string(i) + ".5"));
        set("Y", Value::Bytes({1, 2, 3, static_cast<uint8_t>(i)}));
        t.Post();
    }
    t.Append();  // a record of nulls
    t.Post();
}

void Generate(const fs::path& out) {
    // Question tables as the package and host keep them.
    Made(out, "questions", QuestionSchema(), [](Table& t) { Questions(t, 6); });
    Made(out, "questions_empty", QuestionSchema(), [](Table&) {});

    Schema figures;
    figures.fields = {{"Nome", FieldType::kAlpha, 20}, {"Figura", FieldType::kGraphic, 10}};
    figures.keyFieldCount = 1;
    figures.blockSize = 1024;
    Made(out, "figures", figures, [](Table& t) {
        const size_t sizes[] = {40, 900, 5000};
        for (int i = 0; i < 3; ++i) {
            t.Append();
            t.Set(0, Value::Text("fig" + std::to_string(i)));
            t.Set(1, Value::Bytes(std::vector<uint8_t>(sizes[i], static_cast<uint8_t>(i))));
            t.Post();
        }
    });

    for (int level : {4, 5, 7}) {
        Schema s = EveryType(*paradox::VersionForLevel(level));
        if (level == 4) {
            // Level 4 knows alpha, date, short, currency, number and the blob types.
            std::erase_if(s.fields, [](const paradox::Field& f) {
                switch (f.type) {
                    case FieldType::kLong:
                    case FieldType::kLogical:
                    case FieldType::kTime:
                    case FieldType::kTimestamp:
                    case FieldType::kAutoInc:
                    case FieldType::kBcd:
                    case FieldType::kBytes:
                        return true;
                    default:
                        return false;
                }
            });
        }
        Made(out, "every_type_level" + std::to_string(level), s, EveryTypeRows);
    }

    // A two-field key over enough records for three index levels.
    Schema wide;
    wide.fields = {{"Grupo", FieldType::kShort, 2},
                   {"Chave", FieldType::kAlpha, 16},
                   {"Valor", FieldType::kLong, 4}};
    wide.keyFieldCount = 2;
    wide.blockSize = 1024;
    Made(out, "two_field_key_three_levels", wide, [](Table& t) {
        for (int i = 0; i < 2200; ++i) {
            t.Append();
            t.Set(0, Value::Integer(i % 7));
            t.Set(1, Value::Text("k" + std::to_string(i * 7919 % 10007)));
            t.Set(2, Value::Integer(i));
            t.Post();
        }
    });

    // Deletes leave freed blocks on the free list.
    Made(out, "questions_with_free_blocks", QuestionSchema(), [](Table& t) {
        Questions(t, 40);
        t.First();
        for (int i = 0; i < 25 && !t.AtEnd(); ++i) t.Delete();
    });

    Made(
        out, "questions_encrypted", QuestionSchema(), [](Table& t) { Questions(t, 5); },
        fuzz::kPassword);

    Schema unkeyed = QuestionSchema();
    unkeyed.keyFieldCount = 0;
    unkeyed.blockSize = 2048;
    Made(out, "questions_unkeyed", unkeyed, [](Table& t) { Questions(t, 12); });
}

// Package tables in the host tables' layouts, for the merge target: its first byte chooses the
// kind (0 questions, 1 figures), then the frame.
void MergeSeeds(const fs::path& out) {
    fs::create_directories(out / "merge");
    auto emit = [&](const std::string& name, bool figures,
                    const std::function<void(Table&)>& fill) {
        paradox::MemoryFileSystem mem;
        {
            auto t =
                Table::Create(mem, fuzz::kDbPath,
                              figures ? fuzz::MergeFigureSchema() : fuzz::MergeQuestionSchema());
            fill(*t);
        }
        fuzz::Frame f;
        f.db = mem.Bytes(fuzz::kDbPath);
        if (mem.IsFile(fuzz::kPxPath)) f.px = mem.Bytes(fuzz::kPxPath);
        if (mem.IsFile(fuzz::kMbPath)) f.mb = mem.Bytes(fuzz::kMbPath);
        std::vector<uint8_t> bytes{static_cast<uint8_t>(figures ? 1 : 0)};
        const std::vector<uint8_t> frame = fuzz::JoinFrame(f);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        WriteFile(out / "merge" / name, bytes);
    };
    emit("questions", false, [](Table& t) {
        for (int i = 0; i < 7; ++i) {
            t.Append();
            t.Set(1, Value::Integer(99 + i));  // 100, 102 and 104 are in the host
            if (i % 3) t.Set(2, Value::Text(std::string(i * 500, 'q')));
            t.Set(3, Value::Text("nova " + std::to_string(i)));
            t.Set(4, Value::Integer(i));
            t.Post();
        }
    });
    emit("figures", true, [](Table& t) {
        for (int i = 0; i < 4; ++i) {
            t.Append();
            t.Set(0, Value::Text("fig" + std::to_string(i * 2)));  // fig0 and fig2 are in the host
            t.Set(1, Value::Bytes(std::vector<uint8_t>(i == 1 ? 5000 : 20 + i * 100, 'p')));
            t.Post();
        }
    });
}

void Samples(const fs::path& out, const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        const fs::path p = entry.path();
        std::string ext = p.extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext != ".db") continue;
        fuzz::Frame f;
        f.db = ReadFile(p);
        for (const char* e : {".PX", ".px"})
            if (fs::exists(fs::path(p).replace_extension(e)))
                f.px = ReadFile(fs::path(p).replace_extension(e));
        for (const char* e : {".MB", ".mb"})
            if (fs::exists(fs::path(p).replace_extension(e)))
                f.mb = ReadFile(fs::path(p).replace_extension(e));
        Emit(out, "sample_" + p.stem().string(), f);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: make_seeds OUT [SAMPLES_FOLDER]\n";
        return 2;
    }
    try {
        const fs::path out = argv[1];
        fs::create_directories(out / "db");
        fs::create_directories(out / "files");
        Generate(out);
        MergeSeeds(out);
        if (argc == 3 && fs::is_directory(argv[2])) Samples(out, argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "make_seeds: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
