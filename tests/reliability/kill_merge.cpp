// kill_merge: the installer's merge without its windows, for the kill harness
// (tools/reliability.sh), which kills it at random moments.
//
//   kill_merge make HOST PACKAGE [--subjects S] [--questions HOST_N PACKAGE_N]
//                                [--figures HOST_N PACKAGE_N] [--picture BYTES]
//       a host installation (HOST/FarolExames.exe, HOST/Dados/<subject>/<subject>[F].db) and a
//       package (PACKAGE/<prefix>[F].db) for the first S subjects; half of the package's
//       records revise host records, the others are new.
//   kill_merge merge HOST PACKAGE
//       merges every package table into its host table as the installer does (the catalogue's
//       aliases, OpenTablePair, MergeTable, host tables that are missing skipped) and prints
//       "saved SLOT KEY" once each record's save has returned, flushed before the next record
//       (SLOT: 2 x subject + 0 for questions, 1 for figures; KEY: NumeroReal or Nome), then
//       "done".
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "install/merge.h"
#include "install/session_setup.h"
#include "install/subject_catalogue.h"
#include "paradox/file.h"
#include "paradox/table.h"
#include "tabledb/session.h"
#include "tabledb/table.h"
#include "tools/demodata/question_bank.h"

namespace pq {
namespace {

namespace fsys = std::filesystem;

std::string HostTable(const std::string& host, unsigned s, std::string_view suffix) {
    return host + "/Dados/" + install::SubjectNameAt(s) + "/" + install::HostTableName(s, suffix);
}

int Make(const std::string& host, const std::string& package, int argc, char** argv) {
    int subjects = 8, hostQ = 300, packQ = 200, hostF = 30, packF = 20;
    size_t picture = 6000;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] {
            if (++i >= argc) throw std::runtime_error(a + " needs a value");
            return std::atoi(argv[i]);
        };
        if (a == "--subjects") {
            subjects = next();
        } else if (a == "--questions") {
            hostQ = next();
            packQ = next();
        } else if (a == "--figures") {
            hostF = next();
            packF = next();
        } else if (a == "--picture") {
            picture = static_cast<size_t>(next());
        } else {
            throw std::runtime_error("unknown option " + a);
        }
    }
    fsys::create_directories(host + "/Dados");
    fsys::create_directories(package);
    if (std::FILE* f = std::fopen((host + "/FarolExames.exe").c_str(), "wb")) {
        std::fputs("MZ", f);
        std::fclose(f);
    }
    paradox::FileSystem& fs = paradox::OsFileSystem();
    for (int s = 0; s < subjects; ++s) {
        const unsigned u = static_cast<unsigned>(s);
        fsys::create_directories(host + "/Dados/" + install::SubjectNameAt(u));
        std::vector<demodata::QuestionRecord> hq, pq;
        for (int n = 1; n <= hostQ; ++n) hq.push_back(demodata::MakeQuestion(u, n, 0));
        for (int n : demodata::PackageNumbers(hostQ, packQ, 0.5))
            pq.push_back(demodata::MakeQuestion(u, n, 1));
        std::vector<demodata::FigureRecord> hf, pf;
        for (int n = 1; n <= hostF; ++n) hf.push_back(demodata::MakeFigure(u, n, 0, picture / 2));
        for (int n : demodata::PackageNumbers(hostF, packF, 0.5))
            pf.push_back(demodata::MakeFigure(u, n, 1, picture));
        demodata::WriteQuestionTable(fs, HostTable(host, u, ".db"), hq);
        demodata::WriteFigureTable(fs, HostTable(host, u, "F.db"), hf);
        const std::string prefix = package + "/" + install::PackagePrefixAt(u);
        demodata::WriteQuestionTable(fs, prefix + ".db", pq);
        demodata::WriteFigureTable(fs, prefix + "F.db", pf);
    }
    return 0;
}

// The progress window's side of the merge: each step of the bar follows a returned save.
class ReportingHost : public install::MergeHost {
  public:
    void Start(int slot, std::vector<std::string> keys) {
        slot_ = slot;
        keys_ = std::move(keys);
    }
    void SetPartialPosition(int position) override {
        if (position > 0 && static_cast<size_t>(position) <= keys_.size()) {
            std::printf("saved %d %s\n", slot_, keys_[static_cast<size_t>(position) - 1].c_str());
            std::fflush(stdout);
        }
        position_ = position;
    }
    void SetPartialMax(int) override {}
    int PartialPosition() const override { return position_; }
    void ProcessMessages() override {}
    bool CancelRequested() const override { return false; }

  private:
    int slot_ = 0;
    int position_ = 0;
    std::vector<std::string> keys_;
};

// The package table's keys in table order, read apart from the merge.
std::vector<std::string> Keys(const std::string& path, bool figures) {
    paradox::OpenOptions o;
    o.readOnly = true;
    auto t = paradox::Table::Open(paradox::OsFileSystem(), path, o);
    std::vector<std::string> keys;
    for (t->First(); !t->AtEnd(); t->Next())
        keys.push_back(figures ? t->Get(0).AsText() : std::to_string(t->Get(1).AsInteger()));
    return keys;
}

int Merge(const std::string& host, const std::string& package) {
    tabledb::Session session(paradox::OsFileSystem());
    session.DefineStandardAlias(std::string(install::PackageAliasName), package + "/", "Paradox");
    tabledb::Table dest(session, "TableDest");
    tabledb::Table source(session, "TableSource");
    source.SetDatabaseName(std::string(install::PackageAliasName));
    ReportingHost bar;
    for (unsigned s = 0; s < install::SubjectCatalogue.SubjectCount; ++s) {
        session.DefineStandardAlias(install::HostAliasName(s),
                                    host + "/Dados/" + install::SubjectNameAt(s) + "/", "Paradox");
        for (int kind = 0; kind < 2; ++kind) {
            const std::string_view suffix =
                kind == 0 ? install::QuestionSuffix : install::FigureSuffix;
            if (!paradox::OsFileSystem().IsFile(HostTable(host, s, suffix))) continue;
            bar.Start(static_cast<int>(2 * s) + kind,
                      Keys(package + "/" + install::PackageTableName(s, suffix), kind == 1));
            install::OpenTablePair(dest, source, s, suffix);
            install::MergeTable(source, dest, bar);
        }
    }
    std::printf("done\n");
    return 0;
}

}  // namespace
}  // namespace pq

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (argc < 4 || (verb != "make" && verb != "merge")) {
        std::fprintf(stderr, "usage: kill_merge make|merge HOST PACKAGE [options]\n");
        return 2;
    }
    try {
        return verb == "make" ? pq::Make(argv[2], argv[3], argc - 4, argv + 4)
                              : pq::Merge(argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kill_merge: %s\n", e.what());
        return 1;
    }
}
