#include "bench/merge/tables.h"

#include <set>

#include "paradox/table.h"

namespace pq::bench {
namespace {

using paradox::FieldType;
using paradox::Table;
using paradox::Value;

constexpr char kAlternativeNames[5][13] = {"AlternativaA", "AlternativaB", "AlternativaC",
                                           "AlternativaD", "AlternativaE"};

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

Value TextOrNull(const std::string& s) {
    return s.empty() ? Value() : Value::Text(s);
}

void AppendQuestion(Table& t, const QuestionRecord& q) {
    t.Append();
    t.Set(1, Value::Integer(q.numeroReal));
    t.Set(2, Value::Text(q.enunciado));
    for (size_t i = 0; i < q.alternativas.size(); ++i) t.Set(3 + i, Value::Text(q.alternativas[i]));
    t.Set(8, Value::Text(q.resposta));
    t.Set(9, Value::Integer(q.nivel));
    t.Set(10, TextOrNull(q.figura));
    t.Post();
}

void AppendFigure(Table& t, const FigureRecord& f) {
    t.Append();
    t.Set(0, Value::Text(f.nome));
    t.Set(1, Value::Bytes(f.figura));
    t.Post();
}

// The differences between a question as the table holds it (current record) and as expected.
void CompareQuestion(Table& t, const QuestionRecord& q, const std::string& what,
                     std::vector<std::string>& problems) {
    auto expect = [&](size_t field, const Value& want) {
        const Value got = t.Get(field);
        if (!(got == want))
            problems.push_back(what + ": field " + t.schema().fields[field].name + " is " +
                               got.DebugString().substr(0, 60) + ", expected " +
                               want.DebugString().substr(0, 60));
    };
    expect(2, Value::Text(q.enunciado));
    for (size_t i = 0; i < q.alternativas.size(); ++i)
        expect(3 + i, Value::Text(q.alternativas[i]));
    expect(8, Value::Text(q.resposta));
    expect(9, Value::Integer(q.nivel));
    expect(10, TextOrNull(q.figura));
}

}  // namespace

paradox::Schema BenchSchema(Kind kind) {
    paradox::Schema s;
    if (kind == Kind::kQuestions) {
        s.fields = {{"Codigo", FieldType::kAutoInc, 4},
                    {"NumeroReal", FieldType::kLong, 4},
                    {"Enunciado", FieldType::kMemo, 30}};
        for (const char* name : kAlternativeNames)
            s.fields.push_back({name, FieldType::kAlpha, 255});
        s.fields.push_back({"Resposta", FieldType::kAlpha, 1});
        s.fields.push_back({"Nivel", FieldType::kShort, 2});
        s.fields.push_back({"Figura", FieldType::kAlpha, 30});
    } else {
        s.fields = {{"Nome", FieldType::kAlpha, 40}, {"Figura", FieldType::kGraphic, 10}};
    }
    s.keyFieldCount = 1;
    s.blockSize = 4096;
    s.fileVersion = *paradox::VersionForLevel(7);
    return s;
}

std::string HostTableName(Kind kind) {
    return kind == Kind::kQuestions ? "Questoes.db" : "QuestoesF.db";
}

std::string PackageTableName(Kind kind) {
    return kind == Kind::kQuestions ? "Pac.db" : "PacF.db";
}

void WriteHostTable(paradox::FileSystem& fs, const std::string& folder, Kind kind, uint32_t n) {
    WriteHostTableAt(fs, Join(folder, HostTableName(kind)), kind, n);
}

void WritePackageTable(paradox::FileSystem& fs, const std::string& folder, Kind kind,
                       const std::vector<PackageEntry>& plan) {
    WritePackageTableAt(fs, Join(folder, PackageTableName(kind)), kind, plan);
}

void WriteHostTableAt(paradox::FileSystem& fs, const std::string& path, Kind kind, uint32_t n) {
    auto t = Table::Create(fs, path, BenchSchema(kind));
    for (uint32_t i = 0; i < n; ++i) {
        if (kind == Kind::kQuestions)
            AppendQuestion(*t, MakeQuestion(HostNumeroReal(i), Version::kHost));
        else
            AppendFigure(*t, MakeFigure(HostFigureName(i), Version::kHost));
    }
}

void WritePackageTableAt(paradox::FileSystem& fs, const std::string& path, Kind kind,
                         const std::vector<PackageEntry>& plan) {
    auto t = Table::Create(fs, path, BenchSchema(kind));
    for (const PackageEntry& e : plan) {
        if (kind == Kind::kQuestions)
            AppendQuestion(*t, PackageQuestion(e));
        else
            AppendFigure(*t, PackageFigure(e));
    }
}

std::vector<std::string> VerifyMergedHost(paradox::FileSystem& fs, const std::string& folder,
                                          const std::string& tableName, Kind kind, uint32_t n,
                                          const std::vector<PackageEntry>& plan, size_t samples,
                                          bool full) {
    std::vector<std::string> problems;
    auto t = Table::Open(fs, Join(folder, tableName), {true, {}});
    const uint32_t m = static_cast<uint32_t>(plan.size());
    if (t->RecordCount() != MergedRecordCount(n, m))
        problems.push_back("the host holds " + std::to_string(t->RecordCount()) +
                           " records, expected " + std::to_string(MergedRecordCount(n, m)));

    // Package keys: the package's content. Other host keys: the host's own.
    std::vector<std::pair<uint32_t, bool>> checks;  // (host index, new key after it)
    std::set<uint32_t> updated;
    for (const PackageEntry& e : plan)
        if (e.existing) updated.insert(e.hostIndex);
    for (size_t i = 0; i < plan.size() && i < samples; ++i)
        checks.push_back({plan[i].hostIndex, !plan[i].existing});
    const size_t packageChecks = checks.size();
    const uint32_t step = std::max<uint32_t>(1, n / static_cast<uint32_t>(samples + 1));
    for (uint32_t i = 0; i < n && checks.size() < packageChecks + samples; i += step)
        if (!updated.count(i)) checks.push_back({i, false});

    for (size_t c = 0; c < checks.size(); ++c) {
        const auto [index, isNew] = checks[c];
        const bool fromPackage = c < packageChecks;
        const Version version = fromPackage ? Version::kPackage : Version::kHost;
        if (kind == Kind::kQuestions) {
            const int32_t key = isNew ? NewNumeroReal(index) : HostNumeroReal(index);
            const std::string what = "NumeroReal " + std::to_string(key);
            if (!t->FindFirstEqual(1, Value::Integer(key))) {
                problems.push_back(what + " is missing");
                continue;
            }
            CompareQuestion(*t, MakeQuestion(key, version), what, problems);
        } else {
            const std::string nome = isNew ? NewFigureName(index) : HostFigureName(index);
            if (!t->SeekKey({Value::Text(nome)})) {
                problems.push_back("figure '" + nome + "' is missing");
                continue;
            }
            if (!(t->Get(1) == Value::Bytes(MakeFigure(nome, version).figura)))
                problems.push_back("figure '" + nome + "' holds another picture");
        }
    }
    if (full)
        for (const std::string& p : t->Check()) problems.push_back(p);
    return problems;
}

}  // namespace pq::bench
