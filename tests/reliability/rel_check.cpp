// rel_check: the judge of the kill harness (tools/reliability.sh).
//
//   rel_check pxlib TABLE.db
//       pxlib, an independent reader, reads the .DB through its .PX: exit 0 when every record
//       reads and the index agrees with the data file's count. Nothing is recovered.
//   rel_check verify HOST BEFORE PACKAGE (--saved R | --at-least SLOT POSITION | --complete)
//       opens every host table of HOST for writing with the engine (which undoes an interrupted
//       save), then checks it: the engine's check, pxlib's reading of its .DB and .PX, and its
//       records against BEFORE (a copy of the host before the merge) and PACKAGE. The merge
//       writes the package's records in order, table after table: the host must hold the first
//       A of them with their new values, the others as BEFORE has them, and nothing else.
//       --saved R: R saves had returned (A is R, or R + 1 when the kill came after the next
//       save returned and before it was reported); --at-least: the installer's bars showed the
//       table slot SLOT with POSITION records done (A is at least that); --complete: every
//       record. Prints the failures, then "applied A of T, undone U" (U: tables whose
//       unfinished save was undone); exit 1 on failure.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "install/subject_catalogue.h"
#include "paradox/file.h"
#include "paradox/journal.h"
#include "paradox/schema.h"
#include "paradox/table.h"
#include "tests/support/pxlib.h"

namespace pq {
namespace {

using paradox::FieldType;
using paradox::Table;
using paradox::Value;

std::vector<std::string> g_failures;
int g_undone = 0;  // tables whose unfinished save was undone

void Fail(const std::string& what) {
    g_failures.push_back(what);
}

// pxlib is not given the blob file (Debian's pxlib fails on them): its complaints about the
// blobs it cannot read are expected, every other one counts.
void CollectPxlibError(pxdoc_t*, int, const char* message, void* data) {
    const std::string m = message;
    if (m.find("blob") != std::string::npos || m.find("Blob") != std::string::npos) return;
    static_cast<std::vector<std::string>*>(data)->push_back(m);
}

struct PxlibTable {
    std::vector<std::string> errors;
    int records = 0;
    std::vector<std::vector<std::string>> keys;  // each record's alpha and integer fields
};

// Reads the whole table with pxlib through its primary index. Blob fields are not read (pxlib
// is not given the blob file).
PxlibTable ReadWithPxlib(const std::string& db) {
    PXLIB_ALLOCATIONS;
    PxlibTable out;
    std::string px = db.substr(0, db.size() - 3) + ".px";
    if (!paradox::OsFileSystem().IsFile(px)) px = db.substr(0, db.size() - 3) + ".PX";
    pxdoc_t* doc = PX_new3(CollectPxlibError, nullptr, nullptr, nullptr, &out.errors);
    if (PX_open_file(doc, db.c_str()) < 0) {
        out.errors.push_back("pxlib cannot open " + db);
        PX_delete(doc);
        return out;
    }
    pxdoc_t* index = PX_new3(CollectPxlibError, nullptr, nullptr, nullptr, &out.errors);
    if (PX_open_file(index, px.c_str()) < 0 || PX_read_primary_index(index) < 0 ||
        PX_add_primary_index(doc, index) < 0)
        out.errors.push_back("pxlib refuses the primary index " + px);
    out.records = PX_get_num_records(doc);
    const int fields = PX_get_num_fields(doc);
    pxfield_t* defs = PX_get_fields(doc);
    for (int r = 0; r < out.records; ++r) {
        pxval_t** v = PX_retrieve_record(doc, r);
        if (!v) {
            out.errors.push_back("pxlib cannot read record " + std::to_string(r));
            continue;
        }
        std::vector<std::string> row;
        for (int i = 0; i < fields; ++i) {
            const char type = defs[i].px_ftype;
            if (type == pxfAlpha)
                row.push_back(v[i]->isnull || !v[i]->value.str.val
                                  ? ""
                                  : std::string(v[i]->value.str.val,
                                                strnlen(v[i]->value.str.val,
                                                        static_cast<size_t>(v[i]->value.str.len))));
            else if (type == pxfLong || type == pxfAutoInc || type == pxfShort)
                row.push_back(v[i]->isnull ? "" : std::to_string(v[i]->value.lval));
            if ((type == pxfAlpha || type == pxfMemoBLOb || type == pxfGraphic) &&
                v[i]->value.str.val && !v[i]->isnull)
                doc->free(doc, v[i]->value.str.val);
            doc->free(doc, v[i]);
        }
        doc->free(doc, v);
        out.keys.push_back(std::move(row));
    }
    PX_close(doc);
    PX_delete(doc);
    PX_close(index);
    PX_delete(index);
    return out;
}

// The same fields as pxlib gives them (alpha in the table's code page, integers in decimal).
std::vector<std::vector<std::string>> EngineKeys(Table& t) {
    std::vector<std::vector<std::string>> rows;
    for (t.First(); !t.AtEnd(); t.Next()) {
        std::vector<std::string> row;
        for (size_t i = 0; i < t.schema().fields.size(); ++i) {
            const FieldType type = t.schema().fields[i].type;
            const Value v = t.Get(i);
            if (type == FieldType::kAlpha)
                row.push_back(v.IsNull() ? "" : text::FromUtf8(v.AsText(), t.schema().codePage));
            else if (type == FieldType::kLong || type == FieldType::kAutoInc ||
                     type == FieldType::kShort)
                row.push_back(v.IsNull() ? "" : std::to_string(v.AsInteger()));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

int PxlibOnly(const std::string& db) {
    const PxlibTable p = ReadWithPxlib(db);
    for (const auto& e : p.errors) std::printf("%s: %s\n", db.c_str(), e.c_str());
    if (p.errors.empty() && static_cast<int>(p.keys.size()) != p.records) {
        std::printf("%s: pxlib read %zu of %d records\n", db.c_str(), p.keys.size(), p.records);
        return 1;
    }
    return p.errors.empty() ? 0 : 1;
}

// A record as the merge compares it: every field but the auto-increment ones.
using Record = std::vector<Value>;

struct Contents {
    std::vector<std::pair<std::string, Record>> rows;  // key, record; in table order
};

Contents Read(Table& t, bool figures) {
    Contents c;
    for (t.First(); !t.AtEnd(); t.Next()) {
        Record r;
        for (size_t i = 0; i < t.schema().fields.size(); ++i)
            if (t.schema().fields[i].type != FieldType::kAutoInc) r.push_back(t.Get(i));
        c.rows.emplace_back(figures ? t.Get(0).AsText() : std::to_string(t.Get(1).AsInteger()),
                            std::move(r));
    }
    return c;
}

Contents ReadPath(const std::string& path, bool figures) {
    paradox::OpenOptions o;
    o.readOnly = true;
    auto t = Table::Open(paradox::OsFileSystem(), path, o);
    return Read(*t, figures);
}

struct Slot {
    int slot;
    std::string name;
    Contents package;
    int applied = 0;  // leading package records found with their new values
    bool untouchedAfter = true;
};

// Checks one recovered host table against its before and its package; sets `applied`.
void JudgeTable(Slot& s, const Contents& before, const Contents& now) {
    std::map<std::string, const Record*> was, is;
    for (const auto& [k, r] : before.rows) was[k] = &r;
    for (const auto& [k, r] : now.rows)
        if (!is.emplace(k, &r).second) Fail(s.name + ": key " + k + " appears twice");
    std::map<std::string, const Record*> last;  // the package's final value of each key
    std::vector<int> state;                     // per package record: 1 new, 0 old, 2 either
    for (const auto& [k, r] : s.package.rows) {
        const auto w = was.find(k);
        const auto n = is.find(k);
        const bool asNew = n != is.end() && *n->second == r;
        const bool asOld =
            w == was.end() ? n == is.end() : n != is.end() && *n->second == *w->second;
        if (!asNew && !asOld) {
            Fail(s.name + ": record " + k + " holds neither its old nor its new values");
            state.push_back(-1);
        } else {
            state.push_back(asNew && asOld ? 2 : asNew ? 1 : 0);
        }
        last[k] = &r;
    }
    size_t i = 0;
    while (i < state.size() && (state[i] == 1 || state[i] == 2)) ++i;
    s.applied = static_cast<int>(i);
    for (size_t j = i; j < state.size(); ++j)
        if (state[j] == 1) {
            Fail(s.name + ": record " + s.package.rows[j].first + " (package record " +
                 std::to_string(j + 1) + ") has its new values although record " +
                 std::to_string(i + 1) + " has not");
            break;
        }
    s.untouchedAfter = true;
    for (size_t j = 0; j < state.size(); ++j) s.untouchedAfter &= state[j] != 1;
    // Records the package does not carry stay as they were; nothing else appears.
    for (const auto& [k, r] : now.rows)
        if (!last.count(k) && (!was.count(k) || !(*was[k] == r)))
            Fail(s.name + ": record " + k + " changed although the package does not carry it");
    for (const auto& [k, r] : before.rows)
        if (!is.count(k)) Fail(s.name + ": record " + k + " is gone");
}

int Verify(const std::string& host, const std::string& before, const std::string& package, int argc,
           char** argv) {
    std::optional<long> saved, atLeastSlot, atLeastPosition;
    bool complete = false;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--saved" && i + 1 < argc) {
            saved = std::atol(argv[++i]);
        } else if (a == "--at-least" && i + 2 < argc) {
            atLeastSlot = std::atol(argv[++i]);
            atLeastPosition = std::atol(argv[++i]);
        } else if (a == "--complete") {
            complete = true;
        } else {
            std::fprintf(stderr, "rel_check: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    paradox::FileSystem& fs = paradox::OsFileSystem();
    std::vector<Slot> slots;
    for (unsigned s = 0; s < install::SubjectCatalogue.SubjectCount; ++s) {
        for (int kind = 0; kind < 2; ++kind) {
            const std::string_view suffix =
                kind == 0 ? install::QuestionSuffix : install::FigureSuffix;
            const std::string rel =
                "/Dados/" + install::SubjectNameAt(s) + "/" + install::HostTableName(s, suffix);
            if (!fs.IsFile(host + rel)) continue;
            Slot slot{static_cast<int>(2 * s) + kind, install::HostTableName(s, suffix),
                      ReadPath(package + "/" + install::PackageTableName(s, suffix), kind == 1)};
            try {
                // What the engine's open for writing would do first, done here to be counted.
                const paradox::Recovery r = paradox::RecoverTable(fs, host + rel, false);
                if (r == paradox::Recovery::kRolledBack) ++g_undone;
                if (r == paradox::Recovery::kStale)
                    Fail(host + rel + ": the files changed after the interrupted save");
                Contents now;
                {
                    auto t = Table::Open(fs, host + rel);
                    // Recovered, no blob is left without its record: warnings count too.
                    std::vector<std::string> warnings;
                    for (const std::string& p : t->Check(&warnings)) Fail(p);
                    for (const std::string& w : warnings) Fail("warning: " + w);
                    now = Read(*t, kind == 1);
                    const PxlibTable px = ReadWithPxlib(host + rel);
                    for (const auto& e : px.errors) Fail(host + rel + ": pxlib: " + e);
                    if (px.errors.empty() && px.keys != EngineKeys(*t))
                        Fail(host + rel + ": pxlib reads other records than the engine");
                }
                if (fs.IsFile(host + rel.substr(0, rel.size() - 3) + ".pqj"))
                    Fail(host + rel + ": its journal is still there after the table was closed");
                JudgeTable(slot, ReadPath(before + rel, kind == 1), now);
            } catch (const std::exception& e) {
                Fail(host + rel + ": " + e.what());
            }
            slots.push_back(std::move(slot));
        }
    }
    // Table after table: every table before the first incomplete one complete, every one
    // after it untouched.
    long applied = 0, total = 0, lowerBound = 0;
    bool open = true;
    for (const Slot& s : slots) {
        const long m = static_cast<long>(s.package.rows.size());
        total += m;
        if (atLeastSlot && s.slot < *atLeastSlot) lowerBound += m;
        if (atLeastSlot && s.slot == *atLeastSlot) lowerBound += *atLeastPosition;
        if (!open && !s.untouchedAfter)
            Fail(s.name + ": changed although an earlier table was not finished");
        if (open) applied += s.applied;
        if (s.applied < m) open = false;
    }
    if (saved && (applied < *saved || applied > *saved + 1))
        Fail("the tables hold " + std::to_string(applied) + " merged records; " +
             std::to_string(*saved) + " saves had returned");
    if (atLeastSlot && applied < lowerBound)
        Fail("the tables hold " + std::to_string(applied) +
             " merged records; the installer had "
             "shown " +
             std::to_string(lowerBound));
    if (complete && applied != total)
        Fail("the tables hold " + std::to_string(applied) + " of the " + std::to_string(total) +
             " records of a completed merge");
    for (const std::string& f : g_failures) std::printf("FAIL %s\n", f.c_str());
    std::printf("applied %ld of %ld, undone %d\n", applied, total, g_undone);
    return g_failures.empty() ? 0 : 1;
}

}  // namespace
}  // namespace pq

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    try {
        if (verb == "pxlib" && argc == 3) return pq::PxlibOnly(argv[2]);
        if (verb == "verify" && argc >= 5)
            return pq::Verify(argv[2], argv[3], argv[4], argc - 5, argv + 5);
    } catch (const std::exception& e) {
        std::printf("FAIL %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "usage: rel_check pxlib TABLE.db | rel_check verify HOST BEFORE PACKAGE "
                 "(--saved R | --at-least SLOT POSITION | --complete)\n");
    return 2;
}
