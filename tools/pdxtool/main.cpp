// pdxtool: looks into Paradox tables and makes them, for people and tests.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/exception.h"
#include "paradox/error.h"
#include "paradox/file.h"
#include "paradox/format.h"
#include "paradox/header.h"
#include "paradox/table.h"
#include "paradox/validity.h"
#include "tools/pdxtool/dump_format.h"
#include "tools/pdxtool/schema_text.h"
#include "tools/pdxtool/tsv_load.h"
#include "tools/pdxtool/validity_text.h"

namespace {

using namespace pq;
using paradox::OsFileSystem;

const char kHelp[] =
    "usage:\n"
    "  pdxtool info TABLE.db [--password P]...   level, block size, counts, key, code page,\n"
    "                                            encryption, fields with type and size\n"
    "  pdxtool dump TABLE.db [--password P]...   field names, then one record a line\n"
    "  pdxtool check TABLE.db [--password P]...  exit status 0 only for a valid table\n"
    "                                            (warnings, e.g. a blob no record points\n"
    "                                            at, are printed and do not count)\n"
    "  (info, dump, check) --no-recover          read the files as they are: a save that\n"
    "                                            a killed program left unfinished is not\n"
    "                                            undone first (it is by default)\n"
    "  pdxtool create TABLE.db SCHEMA [DATA.tsv] a new table from a schema, filled from DATA\n"
    "  pdxtool upsert TABLE.db DATA.tsv [--password P]...\n"
    "                                            each record of DATA replaces the record with\n"
    "                                            its primary key, or is inserted (unkeyed:\n"
    "                                            appended); prints inserted N, replaced M\n"
    "\n"
    "dump: values separated by tabs; text with \\t, \\n, \\r and \\\\ escaped; null as \\N;\n"
    "integers in decimal; numbers and currency as the shortest decimal that reads back the\n"
    "same; BCD with the field's decimals; logical true/false; dates YYYY-MM-DD, times\n"
    "HH:MM:SS.mmm, timestamps YYYY-MM-DD HH:MM:SS.mmm; blobs and bytes blob:SIZE:CRC32.\n"
    "\n"
    "SCHEMA: one line each, '#' for comments:\n"
    "  level 7 | block 2048 | index-block 4096 | codepage 1252 | key N | password TEXT\n"
    "  field TYPE NAME      (NAME is the rest of the line)\n"
    "  index F1[,F2...] [name NAME]  a maintained secondary index on the fields\n"
    "                       (unnamed on one field: .Xnn; otherwise .XGn)\n"
    "  valid NAME required | valid NAME min V | valid NAME max V | valid NAME default V\n"
    "                       (validity checks, written to the table's .VAL)\n"
    "TYPE: A<n> alpha, Y<n> bytes (n 1..255); #<d> BCD with d decimals; M<n> memo,\n"
    "F<n> formatted memo (n = leader + 10, 11..250); B<n> binary, O<n> OLE, G<n> graphic\n"
    "(10..250); D date, T time, @ timestamp, S short, I long, + autoincrement, N number,\n"
    "$ currency, L logical.\n"
    "\n"
    "DATA.tsv: the first line names the columns (fields by name); then one record a line\n"
    "in dump form. In blob and bytes fields, @FILE takes a file's content (relative to the\n"
    "DATA file's folder) and hex:0A1B... raw bytes; \\@ is a literal '@'.\n";

std::string ReadWhole(const std::string& path) {
    auto f = OsFileSystem().Open(path, paradox::OpenMode::kRead);
    std::string s(static_cast<size_t>(f->Size()), '\0');
    if (!s.empty()) f->ReadAt(0, s.data(), s.size());
    return s;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

struct Args {
    std::vector<std::string> positional;
    std::vector<std::string> passwords;
    bool recover = true;
};

bool ParseArgs(int argc, char** argv, Args* a) {
    for (int i = 2; i < argc; ++i) {
        const std::string s = argv[i];
        if (s == "--password") {
            if (++i == argc) return false;
            a->passwords.push_back(argv[i]);
        } else if (s == "--no-recover") {
            a->recover = false;
        } else {
            a->positional.push_back(s);
        }
    }
    return true;
}

int Info(const Args& a) {
    const std::string& path = a.positional.at(0);
    auto file = OsFileSystem().Open(path, paradox::OpenMode::kRead);
    const paradox::FileHeader h = paradox::ReadFileHeader(*file, path, false);
    std::printf("table: %s\n", path.c_str());
    std::printf("level: %s (file version %d)\n", paradox::LevelName(h.fileVersion).c_str(),
                h.fileVersion);
    std::printf("block size: %u\n", h.BlockSize());
    std::printf("records: %u\n", h.recordCount);
    std::printf("blocks: %u in use, %u in file\n", h.blocksInUse, h.blocksInFile);
    std::string keys;
    for (int i = 0; i < h.keyFieldCount; ++i) keys += (i ? ", " : "") + h.fields[i].name;
    std::printf("key fields: %d%s\n", h.keyFieldCount,
                keys.empty() ? "" : (" (" + keys + ")").c_str());
    std::printf("code page: %d\n", h.codePage);
    std::printf("sort order: 0x%02X\n", h.sortOrder);
    std::printf("encrypted: %s\n", h.encryptionKey ? "yes" : "no");
    std::printf("auto-increment: %u\n", h.autoIncrement);
    if (!h.encryptionKey || !a.passwords.empty()) {
        paradox::OpenOptions o;
        o.readOnly = true;
        o.passwords = a.passwords;
        o.recover = a.recover;
        auto t = paradox::Table::Open(OsFileSystem(), path, o);
        const paradox::TableInfo info = t->info();
        if (t->IsKeyed())
            std::printf("index: %d levels, %u entries, %u-byte blocks\n", info.indexLevels,
                        info.indexEntries, info.indexBlockSize);
        std::printf("blob file: %s\n", info.hasBlobFile ? "yes" : "no");
        std::string sec;
        for (const auto& s : info.secondaryIndexFiles) sec += (sec.empty() ? "" : ", ") + s;
        std::printf("secondary index files: %s\n", sec.empty() ? "none" : sec.c_str());
        for (const auto& x : info.secondaryIndexes) {
            std::string fields;
            for (const auto& f : x.fields) fields += (fields.empty() ? "" : ", ") + f;
            std::printf("secondary index: %s, kind %d (%s), on %s%s%s\n", x.file.c_str(),
                        x.fileType, x.maintained ? "maintained" : "not maintained", fields.c_str(),
                        x.name.empty() ? "" : (", named " + x.name).c_str(),
                        x.refusal.empty() ? "" : ("; writes refused: " + x.refusal).c_str());
        }
        if (const paradox::Validity* v = t->validity()) {
            const auto lines = pdxtool::ValidityText(*v, t->schema());
            std::printf("validity checks: %zu\n", lines.size());
            for (const auto& line : lines) std::printf("  %s\n", line.c_str());
        } else {
            std::printf("validity checks: none\n");
        }
    }
    std::printf("fields: %zu\n", h.fields.size());
    for (size_t i = 0; i < h.fields.size(); ++i)
        std::printf("  %zu\t%s\t%s\t%s\n", i + 1, h.fields[i].name.c_str(),
                    pdxtool::TypeText(h.fields[i]).c_str(), paradox::TypeName(h.fields[i].type));
    return 0;
}

std::unique_ptr<paradox::Table> OpenForReading(const Args& a) {
    paradox::OpenOptions o;
    o.readOnly = true;
    o.passwords = a.passwords;
    o.recover = a.recover;
    return paradox::Table::Open(OsFileSystem(), a.positional.at(0), o);
}

int Dump(const Args& a) {
    auto t = OpenForReading(a);
    std::ostringstream out;
    pdxtool::DumpTable(*t, out);
    std::fwrite(out.str().data(), 1, out.str().size(), stdout);
    return 0;
}

int Check(const Args& a) {
    std::vector<std::string> problems, warnings;
    try {
        auto t = OpenForReading(a);
        problems = t->Check(&warnings);
    } catch (const Exception& e) {
        problems.push_back(e.what());
    }
    for (const auto& p : problems) std::printf("%s\n", p.c_str());
    for (const auto& w : warnings) std::printf("warning: %s\n", w.c_str());
    if (problems.empty()) std::printf("%s: ok\n", a.positional.at(0).c_str());
    return problems.empty() ? 0 : 1;
}

// The name of a file beside the table, with the table's base name and `ext` in the case of the
// table's extension.
std::string Sibling(const std::string& path, std::string ext) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string base = hasExt ? path.substr(0, dot) : path;
    const std::string old = hasExt ? path.substr(dot + 1) : "";
    if (!old.empty() && old.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos)
        for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return base + "." + ext;
}

std::vector<uint8_t> ReadBytes(const std::string& p) {
    const std::string s = ReadWhole(p);
    return std::vector<uint8_t>(s.begin(), s.end());
}

int Create(const Args& a) {
    if (a.positional.size() < 2 || a.positional.size() > 3) return -1;
    const std::string& path = a.positional[0];
    pdxtool::SchemaText s = pdxtool::ParseSchemaText(ReadWhole(a.positional[1]), a.positional[1]);
    if (!a.passwords.empty()) s.options.password = a.passwords.front();
    const paradox::Validity validity =
        pdxtool::ValidityFromText(s.valid, s.schema, a.positional[1]);
    auto t = paradox::Table::Create(OsFileSystem(), path, s.schema, s.options);
    if (!s.valid.empty()) {
        // The validity file is written for the new table's change counter; the table is opened
        // again to hold the records that follow to its checks.
        t.reset();
        const uint8_t change =
            paradox::ReadFileHeader(*OsFileSystem().Open(path, paradox::OpenMode::kRead), path,
                                    false)
                .raw[paradox::format::kChangeCount2];
        const std::vector<uint8_t> val =
            paradox::BuildValidityFile(validity, s.schema, FileName(path), change);
        auto f = OsFileSystem().Open(Sibling(path, "VAL"), paradox::OpenMode::kCreate);
        f->WriteAt(0, val.data(), val.size());
        f.reset();
        paradox::OpenOptions o;
        if (!s.options.password.empty()) o.passwords.push_back(s.options.password);
        t = paradox::Table::Open(OsFileSystem(), path, o);
    }
    size_t rows = 0;
    if (a.positional.size() == 3) {
        const std::string& tsv = a.positional[2];
        rows = pdxtool::LoadTsv(*t, ReadWhole(tsv), tsv, Folder(tsv), ReadBytes);
    }
    for (const pdxtool::IndexText& index : s.indexes)
        t->AddSecondaryIndex(index.fields, index.name);
    std::printf("%s: %zu records\n", path.c_str(), rows);
    return 0;
}

int Upsert(const Args& a) {
    if (a.positional.size() != 2) return -1;
    paradox::OpenOptions o;
    o.passwords = a.passwords;
    auto t = paradox::Table::Open(OsFileSystem(), a.positional[0], o);
    const std::string& tsv = a.positional[1];
    const pdxtool::UpsertCounts n =
        pdxtool::UpsertTsv(*t, ReadWhole(tsv), tsv, Folder(tsv), ReadBytes);
    std::printf("inserted %zu, replaced %zu\n", n.inserted, n.replaced);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fputs(kHelp, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const std::string verb = argv[1];
    Args a;
    if (!ParseArgs(argc, argv, &a) || a.positional.empty()) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    try {
        int rc = -1;
        if (verb == "info")
            rc = Info(a);
        else if (verb == "dump")
            rc = Dump(a);
        else if (verb == "check")
            rc = Check(a);
        else if (verb == "create")
            rc = Create(a);
        else if (verb == "upsert")
            rc = Upsert(a);
        if (rc < 0) {
            std::fputs(kHelp, stderr);
            return 2;
        }
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pdxtool: %s\n", e.what());
        return 1;
    }
}
