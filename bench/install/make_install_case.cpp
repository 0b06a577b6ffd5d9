// make_install_case: lays out a host and a package medium for the full installation under
// Wine, with the benchmark's question and figure tables (figures of about 30 KB), for all
// eight subjects of the catalogue.
//
//   make_install_case --host DIR --medium DIR [--host-questions 20000] [--host-figures 5000]
//                     [--package-questions 2000] [--package-figures 500] [--verify]
//
// --verify checks an installed host instead: every subject's tables hold the merged records
// (counts, sampled contents) and pass the engine's checks; exit code 1 when one does not.
//
// Native only (paths are the system's UTF-8 bytes). Host tables: DIR/Dados/<Subject>/
// <Subject>.db and <Subject>F.db, DIR being the host's folder (FarolExames.exe is made there
// too). Package tables: MEDIUM/Questoes/<Prefix>.db and <Prefix>F.db. Half of each package's
// keys are keys its host has.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/merge/tables.h"
#include "bench/merge/workload.h"
#include "install/subject_catalogue.h"
#include "paradox/file.h"

namespace {

using namespace pq;
namespace fs = std::filesystem;

uint32_t Count(const char* text) {
    const unsigned long v = std::stoul(text);
    if (v == 0 || v > 100000) throw std::invalid_argument(std::string("bad count ") + text);
    return static_cast<uint32_t>(v);
}

// Every subject's host tables after the installation.
int Verify(const std::string& host, uint32_t hostQuestions, uint32_t hostFigures,
           uint32_t packageQuestions, uint32_t packageFigures) {
    int bad = 0;
    for (unsigned s = 0; s < install::SubjectCatalogue.SubjectCount; ++s) {
        const std::string folder = (fs::path(host) / "Dados" / install::SubjectNameAt(s)).string();
        for (bench::Kind kind : {bench::Kind::kQuestions, bench::Kind::kFigures}) {
            const bool questions = kind == bench::Kind::kQuestions;
            const uint32_t n = questions ? hostQuestions : hostFigures;
            const auto plan =
                bench::PackagePlan(kind, n, questions ? packageQuestions : packageFigures);
            const std::string table = install::SubjectNameAt(s) + (questions ? ".db" : "F.db");
            for (const std::string& p : bench::VerifyMergedHost(paradox::OsFileSystem(), folder,
                                                                table, kind, n, plan, 50, true)) {
                std::fprintf(stderr, "make_install_case: %s\n", p.c_str());
                ++bad;
            }
        }
    }
    if (bad == 0) std::fprintf(stderr, "make_install_case: every host table holds the merge\n");
    return bad == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        std::string host, medium;
        bool verify = false;
        uint32_t hostQuestions = 20000, hostFigures = 5000, packageQuestions = 2000,
                 packageFigures = 500;
        for (int i = 1; i < argc; i += 2) {
            const std::string opt = argv[i];
            if (opt == "--verify") {
                verify = true;
                --i;
                continue;
            }
            if (i + 1 >= argc) throw std::invalid_argument(opt + " needs a value");
            if (opt == "--host")
                host = argv[i + 1];
            else if (opt == "--medium")
                medium = argv[i + 1];
            else if (opt == "--host-questions")
                hostQuestions = Count(argv[i + 1]);
            else if (opt == "--host-figures")
                hostFigures = Count(argv[i + 1]);
            else if (opt == "--package-questions")
                packageQuestions = Count(argv[i + 1]);
            else if (opt == "--package-figures")
                packageFigures = Count(argv[i + 1]);
            else
                throw std::invalid_argument("unknown option " + opt);
        }
        if (host.empty() || medium.empty())
            throw std::invalid_argument(
                "usage: make_install_case --host DIR --medium DIR [--host-questions N] "
                "[--host-figures N] [--package-questions M] [--package-figures M] [--verify]");
        if (verify)
            return Verify(host, hostQuestions, hostFigures, packageQuestions, packageFigures);
        auto& files = paradox::OsFileSystem();
        fs::remove_all(fs::path(host) / "Dados");
        fs::remove_all(fs::path(medium) / "Questoes");
        fs::create_directories(fs::path(medium) / "Questoes");
        std::ofstream(fs::path(host) / "FarolExames.exe", std::ios::binary) << "MZ";
        for (unsigned s = 0; s < install::SubjectCatalogue.SubjectCount; ++s) {
            const std::string name = install::SubjectNameAt(s);
            const fs::path folder = fs::path(host) / "Dados" / name;
            fs::create_directories(folder);
            const std::string base = (folder / name).string();
            const std::string package =
                (fs::path(medium) / "Questoes" / install::PackagePrefixAt(s)).string();
            bench::WriteHostTableAt(files, base + ".db", bench::Kind::kQuestions, hostQuestions);
            bench::WriteHostTableAt(files, base + "F.db", bench::Kind::kFigures, hostFigures);
            bench::WritePackageTableAt(
                files, package + ".db", bench::Kind::kQuestions,
                bench::PackagePlan(bench::Kind::kQuestions, hostQuestions, packageQuestions));
            bench::WritePackageTableAt(
                files, package + "F.db", bench::Kind::kFigures,
                bench::PackagePlan(bench::Kind::kFigures, hostFigures, packageFigures));
            std::fprintf(stderr, "make_install_case: %s done\n", name.c_str());
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_install_case: %s\n", e.what());
        return 1;
    }
}
