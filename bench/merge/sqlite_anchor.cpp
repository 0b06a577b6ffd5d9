#include "bench/merge/sqlite_anchor.h"

#include <sqlite3.h>

#include <chrono>
#include <stdexcept>
#include <vector>

namespace pq::bench {
namespace {

// Owns one connection; every failure becomes std::runtime_error with SQLite's own text.
class Db {
  public:
    explicit Db(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw std::runtime_error(path + ": " + why);
        }
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=NORMAL");
    }
    ~Db() { sqlite3_close(db_); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    void Check(int rc, const char* what) const {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db_));
    }
    void Exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string why = error ? error : sqlite3_errmsg(db_);
            sqlite3_free(error);
            throw std::runtime_error(std::string(sql) + ": " + why);
        }
    }
    sqlite3* get() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

class Statement {
  public:
    Statement(Db& db, const char* sql) : db_(db) {
        db.Check(sqlite3_prepare_v2(db.get(), sql, -1, &s_, nullptr), sql);
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void Text(int i, const std::string& v) {
        db_.Check(v.empty() ? sqlite3_bind_null(s_, i)
                            : sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()),
                                                SQLITE_STATIC),
                  "bind");
    }
    void Integer(int i, int64_t v) { db_.Check(sqlite3_bind_int64(s_, i, v), "bind"); }
    void Blob(int i, const std::vector<uint8_t>& v) {
        db_.Check(sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC),
                  "bind");
    }
    // Runs a statement that gives no rows and readies it for the next.
    void Run() {
        db_.Check(sqlite3_step(s_), "step");
        db_.Check(sqlite3_reset(s_), "reset");
    }
    int64_t Single() {
        db_.Check(sqlite3_step(s_), "step");
        const int64_t v = sqlite3_column_int64(s_, 0);
        db_.Check(sqlite3_reset(s_), "reset");
        return v;
    }

  private:
    Db& db_;
    sqlite3_stmt* s_ = nullptr;
};

const char* TableName(Kind kind) {
    return kind == Kind::kQuestions ? "Questoes" : "Figuras";
}

void CreateTable(Db& db, Kind kind) {
    if (kind == Kind::kQuestions) {
        db.Exec(
            "CREATE TABLE Questoes (Codigo INTEGER PRIMARY KEY, NumeroReal INTEGER, "
            "Enunciado TEXT, AlternativaA TEXT, AlternativaB TEXT, AlternativaC TEXT, "
            "AlternativaD TEXT, AlternativaE TEXT, Resposta TEXT, Nivel INTEGER, Figura TEXT)");
        db.Exec("CREATE UNIQUE INDEX QuestoesNumeroReal ON Questoes (NumeroReal)");
    } else {
        db.Exec("CREATE TABLE Figuras (Nome TEXT NOT NULL, Figura BLOB)");
        db.Exec("CREATE UNIQUE INDEX FigurasNome ON Figuras (Nome)");
    }
}

const char* UpsertSql(Kind kind) {
    if (kind == Kind::kQuestions)
        return "INSERT INTO Questoes (NumeroReal, Enunciado, AlternativaA, AlternativaB, "
               "AlternativaC, AlternativaD, AlternativaE, Resposta, Nivel, Figura) "
               "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10) "
               "ON CONFLICT (NumeroReal) DO UPDATE SET Enunciado = excluded.Enunciado, "
               "AlternativaA = excluded.AlternativaA, AlternativaB = excluded.AlternativaB, "
               "AlternativaC = excluded.AlternativaC, AlternativaD = excluded.AlternativaD, "
               "AlternativaE = excluded.AlternativaE, Resposta = excluded.Resposta, "
               "Nivel = excluded.Nivel, Figura = excluded.Figura";
    return "INSERT INTO Figuras (Nome, Figura) VALUES (?1, ?2) "
           "ON CONFLICT (Nome) DO UPDATE SET Figura = excluded.Figura";
}

void Bind(Statement& s, const QuestionRecord& q) {
    s.Integer(1, q.numeroReal);
    s.Text(2, q.enunciado);
    for (int i = 0; i < 5; ++i) s.Text(3 + i, q.alternativas[i]);
    s.Text(8, q.resposta);
    s.Integer(9, q.nivel);
    s.Text(10, q.figura);
}

void Bind(Statement& s, const FigureRecord& f) {
    s.Text(1, f.nome);
    s.Blob(2, f.figura);
}

}  // namespace

void WriteSqliteHost(const std::string& path, Kind kind, uint32_t n) {
    Db db(path);
    CreateTable(db, kind);
    db.Exec("BEGIN");
    Statement s(db, UpsertSql(kind));
    // The bound values are not copied (SQLITE_STATIC): each record lives until its step.
    for (uint32_t i = 0; i < n; ++i) {
        if (kind == Kind::kQuestions) {
            const QuestionRecord q = MakeQuestion(HostNumeroReal(i), Version::kHost);
            Bind(s, q);
            s.Run();
        } else {
            const FigureRecord f = MakeFigure(HostFigureName(i), Version::kHost);
            Bind(s, f);
            s.Run();
        }
    }
    db.Exec("COMMIT");
}

SqliteMeasure RunSqliteUpsert(const std::string& path, Kind kind, uint32_t n, uint32_t m,
                              Commit commit) {
    const std::vector<PackageEntry> plan = PackagePlan(kind, n, m);
    std::vector<QuestionRecord> questions;
    std::vector<FigureRecord> figures;
    for (const PackageEntry& e : plan) {
        if (kind == Kind::kQuestions)
            questions.push_back(PackageQuestion(e));
        else
            figures.push_back(PackageFigure(e));
    }
    Db db(path);
    Statement upsert(db, UpsertSql(kind));
    SqliteMeasure out;
    const auto start = std::chrono::steady_clock::now();
    // Without BEGIN, SQLite commits each statement on its own.
    if (commit == Commit::kOnce) db.Exec("BEGIN");
    for (const QuestionRecord& q : questions) {
        Bind(upsert, q);
        upsert.Run();
    }
    for (const FigureRecord& f : figures) {
        Bind(upsert, f);
        upsert.Run();
    }
    if (commit == Commit::kOnce) db.Exec("COMMIT");
    const auto end = std::chrono::steady_clock::now();
    out.seconds = std::chrono::duration<double>(end - start).count();
    Statement count(db, (std::string("SELECT count(*) FROM ") + TableName(kind)).c_str());
    out.rowsAfter = static_cast<uint64_t>(count.Single());
    return out;
}

}  // namespace pq::bench
