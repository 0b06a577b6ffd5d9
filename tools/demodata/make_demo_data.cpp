// make_demo_data: lays out a demonstration host's tables and a package's tables.
//
//   make_demo_data --host DIR --package DIR [--questions N] [--figures N]
//                  [--package-questions M] [--package-figures M] [--overlap 0.5]
//
// Host tables go to DIR/Dados/<Subject>/<Subject>.db and <Subject>F.db (with maintained
// secondary indexes on NumeroReal and, named PorDescricao, on Descricao), package tables to
// DIR/<Prefix>.db and <Prefix>F.db, for all eight subjects.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "install/subject_catalogue.h"
#include "paradox/file.h"
#include "paradox/table.h"
#include "tools/demodata/question_bank.h"

namespace {

using namespace pq;

void MakeFolder(const std::string& path) {
    std::string cmd = "mkdir -p '" + path + "'";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot make folder " + path);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: make_demo_data --host DIR --package DIR [--questions N] [--figures N]\n"
                 "       [--package-questions M] [--package-figures M] [--overlap F]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string hostDir, packageDir;
    int questions = 300, figures = 40, packageQuestions = 120, packageFigures = 20;
    double overlap = 0.5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i], val = argv[i + 1];
        if (opt == "--host")
            hostDir = val;
        else if (opt == "--package")
            packageDir = val;
        else if (opt == "--questions")
            questions = std::stoi(val);
        else if (opt == "--figures")
            figures = std::stoi(val);
        else if (opt == "--package-questions")
            packageQuestions = std::stoi(val);
        else if (opt == "--package-figures")
            packageFigures = std::stoi(val);
        else if (opt == "--overlap")
            overlap = std::stod(val);
        else
            return Usage();
    }
    if (hostDir.empty() || packageDir.empty() || argc % 2 == 0) return Usage();
    try {
        auto& fs = paradox::OsFileSystem();
        MakeFolder(packageDir);
        for (unsigned s = 0; s < install::SubjectCatalogue.SubjectCount; ++s) {
            const std::string name = install::SubjectNameAt(s);
            const std::string folder = hostDir + "/Dados/" + name;
            MakeFolder(folder);
            std::vector<demodata::QuestionRecord> hostQ, packQ;
            for (int n = 1; n <= questions; ++n) hostQ.push_back(demodata::MakeQuestion(s, n, 0));
            for (int n : demodata::PackageNumbers(questions, packageQuestions, overlap))
                packQ.push_back(demodata::MakeQuestion(s, n, 1));
            std::vector<demodata::FigureRecord> hostF, packF;
            for (int n = 1; n <= figures; ++n) hostF.push_back(demodata::MakeFigure(s, n, 0, 3000));
            for (int n : demodata::PackageNumbers(figures, packageFigures, overlap))
                packF.push_back(demodata::MakeFigure(s, n, 1, 3000));
            for (const char* suffix :
                 {".db", "F.db", ".px", "F.px", ".mb", "F.mb", ".x02", ".y02", "F.xg0", "F.yg0"}) {
                fs.Remove(folder + "/" + name + suffix);
                fs.Remove(packageDir + "/" + install::PackagePrefixAt(s) + suffix);
            }
            demodata::WriteQuestionTable(fs, folder + "/" + name + ".db", hostQ);
            demodata::WriteFigureTable(fs, folder + "/" + name + "F.db", hostF);
            // The host's own indexes, which the installation keeps.
            paradox::Table::Open(fs, folder + "/" + name + ".db")
                ->AddSecondaryIndex({"NumeroReal"});
            paradox::Table::Open(fs, folder + "/" + name + "F.db")
                ->AddSecondaryIndex({"Descricao"}, "PorDescricao");
            demodata::WriteQuestionTable(fs, packageDir + "/" + install::PackagePrefixAt(s) + ".db",
                                         packQ);
            demodata::WriteFigureTable(fs, packageDir + "/" + install::PackagePrefixAt(s) + "F.db",
                                       packF);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_demo_data: %s\n", e.what());
        return 1;
    }
    return 0;
}
