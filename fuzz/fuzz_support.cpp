#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "install/merge.h"
#include "install/session_setup.h"
#include "paradox/error.h"
#include "paradox/schema.h"
#include "tabledb/session.h"
#include "tabledb/table.h"

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

constexpr char kHostFolder[] = "/host";
constexpr char kPackageFolder[] = "/package";

class QuietHost : public install::MergeHost {
  public:
    void SetPartialPosition(int p) override { position_ = p; }
    void SetPartialMax(int) override {}
    int PartialPosition() const override { return position_; }
    void ProcessMessages() override {}
    bool CancelRequested() const override { return false; }

  private:
    int position_ = 0;
};

Frame TableFrame(paradox::MemoryFileSystem& fs, const std::string& db) {
    const std::string stem = db.substr(0, db.size() - 3);
    Frame f;
    f.db = fs.Bytes(db);
    if (fs.IsFile(stem + ".PX")) f.px = fs.Bytes(stem + ".PX");
    if (fs.IsFile(stem + ".MB")) f.mb = fs.Bytes(stem + ".MB");
    return f;
}

void PutFrame(paradox::MemoryFileSystem& fs, const std::string& db, const Frame& f) {
    const std::string stem = db.substr(0, db.size() - 3);
    fs.Bytes(db) = f.db;
    if (!f.px.empty()) fs.Bytes(stem + ".PX") = f.px;
    if (!f.mb.empty()) fs.Bytes(stem + ".MB") = f.mb;
}

Frame MakeHost(bool figures) {
    using paradox::Value;
    paradox::MemoryFileSystem fs;
    const std::string path = std::string(kHostFolder) + "/H.DB";
    {
        auto t =
            paradox::Table::Create(fs, path, figures ? MergeFigureSchema() : MergeQuestionSchema());
        for (int i = 0; i < 4; ++i) {
            t->Append();
            if (figures) {
                t->Set(0, Value::Text("fig" + std::to_string(i)));
                t->Set(1, Value::Bytes(std::vector<uint8_t>(i == 2 ? 3000 : 30 + i, 'g')));
            } else {
                t->Set(1, Value::Integer(100 + 2 * i));
                t->Set(2, Value::Text(std::string(i == 2 ? 2500 : 5 + 40 * i, 'e')));
                t->Set(3, Value::Text("alternativa " + std::to_string(i)));
                t->Set(4, Value::Integer(i));
            }
            t->Post();
        }
    }
    return TableFrame(fs, path);
}

[[noreturn]] void HostHarmed(const std::string& what) {
    std::fprintf(stderr, "the merge harmed the host table: %s\n", what.c_str());
    std::abort();
}

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

paradox::Schema MergeQuestionSchema() {
    using paradox::FieldType;
    paradox::Schema s;
    s.fields = {{"Codigo", FieldType::kAutoInc, 4},
                {"NumeroReal", FieldType::kLong, 4},
                {"Enunciado", FieldType::kMemo, 30},
                {"Alternativa", FieldType::kAlpha, 40},
                {"Nivel", FieldType::kShort, 2}};
    s.keyFieldCount = 1;
    s.blockSize = 1024;
    return s;
}

paradox::Schema MergeFigureSchema() {
    using paradox::FieldType;
    paradox::Schema s;
    s.fields = {{"Nome", FieldType::kAlpha, 20}, {"Figura", FieldType::kGraphic, 10}};
    s.keyFieldCount = 1;
    s.blockSize = 1024;
    return s;
}

const Frame& MergeHostTable(bool figures) {
    static const Frame questions = MakeHost(false);
    static const Frame pictures = MakeHost(true);
    return figures ? pictures : questions;
}

void FuzzMerge(std::span<const uint8_t> input) {
    if (input.empty()) return;
    const bool figures = input[0] % 2 == 1;
    paradox::MemoryFileSystem fs;
    // The merge tells a figure table by "F.db" in its name, in that case.
    const std::string hostName = figures ? "MatematicaF.db" : "Matematica.db";
    const std::string packageName = figures ? "MatF.db" : "Mat.db";
    const std::string hostPath = std::string(kHostFolder) + "/" + hostName;
    PutFrame(fs, hostPath, MergeHostTable(figures));
    const Frame package = SplitFrame(input.subspan(1));
    PutFrame(fs, std::string(kPackageFolder) + "/" + packageName, package);
    {
        tabledb::Session session(fs);
        install::PrepareSession(session, "/");
        tabledb::Table dest(session, "TableDest");
        tabledb::Table source(session, "TableSource");
        dest.SetDatabaseName(kHostFolder);
        dest.SetTableName(hostName);
        source.SetDatabaseName(kPackageFolder);
        source.SetTableName(packageName);
        QuietHost host;
        try {
            dest.SetActive(true);
            source.SetActive(true);
            install::MergeTable(source, dest, host);
        } catch (const pq::Exception&) {
            // Engine errors, the interface's field and value errors: the installer reports them.
        }
    }
    try {
        auto t = paradox::Table::Open(fs, hostPath, {true, {}});
        const std::vector<std::string> problems = t->Check();
        if (!problems.empty()) HostHarmed(problems.front());
        ReadEverything(*t, kMaxRecords);
    } catch (const paradox::Error& e) {
        HostHarmed(e.what());
    }
}

}  // namespace pq::fuzz
