// The malformed package tables end to end: each table of the corpus (tests/malformed, written by
// the native build) stands in the package of the real installer under Wine, as Matemática's
// question or figure table, with the host's matching table beside its owner. The installation
// must end without the completion box after reporting the problem through the error-report
// library, with a text that holds the corpus's expected words; the host table must then still
// be valid and keep every record the package does not carry exactly as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>

#include "install/subject_catalogue.h"
#include "paradox/table.h"
#include "tests/e2e/e2e_support_win.h"
#include "tests/malformed/manifest.h"

namespace pq::e2e {
namespace {

using malformed::Entry;

constexpr unsigned kMatematica = 5;

paradox::FileSystem& Files() {
    return paradox::OsFileSystem();
}

std::string CorpusFolder() {
    return WindowsPath(PQ_MALFORMED_CORPUS);
}

std::vector<Entry> LoadManifest() {
    return malformed::ParseManifest(ReadFileBytes(CorpusFolder() + "\\manifest.tsv"));
}

std::string Backslashes(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// The files of a table: its .db and the files beside it with the same name before the dot.
std::vector<std::string> TableFiles(const std::string& db) {
    const size_t slash = db.find_last_of('\\');
    const std::string folder = db.substr(0, slash);
    const std::string stem = db.substr(slash + 1, db.size() - slash - 4);
    std::vector<std::string> out;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Wide(folder + "\\" + stem + ".*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        out.push_back(Narrow(found.cFileName));
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return out;
}

// Copies a table's files into `to`, each renamed to `stem` with its own extension.
void CopyTable(const std::string& db, const std::string& to, const std::string& stem) {
    const std::string folder = db.substr(0, db.find_last_of('\\'));
    for (const std::string& name : TableFiles(db)) {
        const std::string ext = name.substr(name.find_last_of('.'));
        ASSERT_TRUE(CopyFileW(Wide(folder + "\\" + name).c_str(),
                              Wide(to + "\\" + stem + ext).c_str(), FALSE))
            << name;
    }
}

// A table's records as texts by their merge key (NumeroReal or Nome).
std::map<std::string, std::vector<std::string>> Records(const std::string& db, size_t keyField) {
    auto t = paradox::Table::Open(Files(), db, {true, {}});
    std::map<std::string, std::vector<std::string>> out;
    for (t->First(); !t->AtEnd(); t->Next()) {
        std::vector<std::string> row;
        for (size_t i = 0; i < t->schema().fields.size(); ++i) {
            if (paradox::IsBlobType(t->schema().fields[i].type)) {
                const std::vector<uint8_t> b = t->GetBlob(i);
                row.push_back(std::string(b.begin(), b.end()));
            } else {
                row.push_back(t->Get(i).DebugString());
            }
        }
        out[row[keyField]] = row;
    }
    return out;
}

class MalformedE2E : public ::testing::TestWithParam<Entry> {};

TEST_P(MalformedE2E, IsReportedThroughTheLibraryAndLeavesTheHostValid) {
    const Entry& e = GetParam();
    UninstallEntry entry;
    TempDir hostDir("e2e-host-malformed");
    Medium medium("malformed");
    const std::string host = MakeHostFolder(hostDir.Path());
    entry.PointAt(host);
    const std::string subject = install::SubjectNameAt(kMatematica);
    const std::string dados = host + "\\Dados";
    CreateDirectoryW(Wide(dados).c_str(), nullptr);
    CreateDirectoryW(Wide(dados + "\\" + subject).c_str(), nullptr);
    const std::string package = medium.Folder() + "\\Questoes";
    CreateDirectoryW(Wide(package).c_str(), nullptr);

    // Only the host table of the case's kind exists, so the installer merges that one table
    // (it passes over a subject's table whose host table is missing).
    const std::string suffix = e.Figures() ? "F" : "";
    const std::string hostTable = install::HostTablePath(host + "\\", kMatematica, suffix + ".db");
    CopyTable(CorpusFolder() + "\\" + Backslashes(e.host), dados + "\\" + subject,
              subject + suffix);
    CopyTable(CorpusFolder() + "\\" + Backslashes(e.file), package,
              install::PackagePrefixAt(kMatematica) + suffix);
    const size_t keyField = e.Figures() ? 0 : 1;
    const auto before = Records(hostTable, keyField);
    ASSERT_FALSE(before.empty());

    Installer run(medium, "0,0,0,0");
    HWND agreement = OpenAgreement(run);
    ASSERT_TRUE(agreement);
    PostMessageW(ChildButton(agreement, "&Sim"), BM_CLICK, 0, 0);
    ExpectEndWithoutCompletionBox(run);

    // The report: the problem's text reached the library (an exception report, or a save
    // failure offered for retry first).
    const auto calls = medium.Reports();
    ASSERT_FALSE(calls.empty()) << "the library was not called";
    bool named = false;
    for (const auto& call : calls)
        for (const std::string& field : call.fields)
            named = named || field.find(e.expected) != std::string::npos;
    EXPECT_TRUE(named) << "no report holds \"" << e.expected
                       << "\"; the first: " << calls[0].function << " "
                       << (calls[0].fields.empty() ? "" : calls[0].fields.back());

    // The host table: valid, and every record the package does not touch as it was.
    {
        auto t = paradox::Table::Open(Files(), hostTable, {true, {}});
        EXPECT_EQ(t->Check(), std::vector<std::string>{});
    }
    // The merge can have saved only records it read from the package before the failure, and
    // those the engine reads too, in the same order, up to the first fault.
    std::set<std::string> readable;
    try {
        const std::string copy =
            package + "\\" + install::PackagePrefixAt(kMatematica) + suffix + ".db";
        auto t = paradox::Table::Open(Files(), copy, {true, {}});
        for (t->First(); !t->AtEnd(); t->Next()) readable.insert(t->Get(keyField).DebugString());
    } catch (const std::exception&) {
    }
    const auto after = Records(hostTable, keyField);
    for (const auto& [key, row] : before) {
        auto it = after.find(key);
        ASSERT_NE(it, after.end()) << "record " << key << " lost";
        if (!readable.count(key)) {
            EXPECT_EQ(it->second, row) << "record " << key << " changed";
        }
    }
    for (const auto& [key, row] : after)
        if (!before.count(key)) {
            EXPECT_TRUE(readable.count(key)) << "record " << key << " added";
        }
}

INSTANTIATE_TEST_SUITE_P(Corpus, MalformedE2E, ::testing::ValuesIn(LoadManifest()),
                         [](const ::testing::TestParamInfo<Entry>& info) {
                             return info.param.Case();
                         });

// The corpus is there: the Windows build reads the one the native build wrote.
TEST(MalformedE2ECorpus, IsWrittenByTheNativeBuild) {
    EXPECT_GE(LoadManifest().size(), 25u)
        << "no corpus at " << CorpusFolder() << ": build the native-asan preset first";
}

}  // namespace
}  // namespace pq::e2e
