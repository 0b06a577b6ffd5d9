#include "install/host_tables.h"

#include <gtest/gtest.h>

#include <set>

namespace pq::install {
namespace {

const HostRedirection kMachine{{"C:\\Program Files", "C:\\Program Files (x86)", "C:\\windows"},
                               "C:\\users\\ana\\AppData\\Local\\VirtualStore"};

TEST(HostTables, VirtualStoreStandsOnlyForFoldersInsideTheRedirectedOnes) {
    const std::string store = kMachine.virtualStore;
    const struct {
        const char* folder;
        std::string want;
    } cases[] = {
        {"C:\\Program Files (x86)\\Farol Exames\\Dados\\Física",
         store + "\\Program Files (x86)\\Farol Exames\\Dados\\Física"},
        {"c:\\PROGRAM FILES\\Farol Exames\\Dados\\Inglês",
         store + "\\PROGRAM FILES\\Farol Exames\\Dados\\Inglês"},
        {"C:\\Windows\\Farol\\Dados\\Biologia", store + "\\Windows\\Farol\\Dados\\Biologia"},
        {"C:\\Program Files", store + "\\Program Files"},
        // A longer name that begins like a redirected folder is another folder.
        {"C:\\Program Files2\\Farol Exames\\Dados\\Biologia", ""},
        {"C:\\Escola\\Farol Exames\\Dados\\Biologia", ""},
        {"D:\\Program Files\\Farol Exames\\Dados\\Biologia", ""},
        {"\\\\servidor\\Program Files\\Farol\\Dados\\Biologia", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VirtualStoreFolderOf(c.folder, kMachine), c.want) << c.folder;
    EXPECT_EQ(VirtualStoreFolderOf("C:\\Program Files\\Farol", {kMachine.redirectedFolders, ""}),
              "");
}

TEST(HostTables, EachTableIsTakenFromTheVirtualStoreOnlyWhereItsCopyIsThere) {
    const std::string host = "C:\\Program Files (x86)\\Farol Exames\\";
    const std::string copies =
        kMachine.virtualStore + "\\Program Files (x86)\\Farol Exames\\Dados\\";
    // The host wrote Física's question table (redirected) but never its figure table.
    const std::set<std::string> files = {copies + "Física\\Física.db"};
    auto isFile = [&](const std::string& p) { return files.count(p) > 0; };

    HostTableLocation q = LocateHostTable(host, 1, ".db", kMachine, isFile);
    EXPECT_EQ(q.folder, copies + "Física");
    EXPECT_EQ(q.table, copies + "Física\\Física.db");
    HostTableLocation f = LocateHostTable(host, 1, "F.db", kMachine, isFile);
    EXPECT_EQ(f.folder, host + "Dados\\Física");
    EXPECT_EQ(f.table, host + "Dados\\Física\\FísicaF.db");

    // Outside the redirected folders the VirtualStore is never looked at.
    const std::string other = "C:\\Escola\\Farol Exames\\";
    q = LocateHostTable(other, 1, ".db", kMachine, [](const std::string&) { return true; });
    EXPECT_EQ(q.table, other + "Dados\\Física\\Física.db");
}

TEST(HostTables, FilesThatARunningHostHoldsWithATable) {
    const std::vector<std::string> entries = {
        "Física.DB", "FÍSICA.PX", "física.mb", "Física.X02", "Física.Y02", "Física.x0A",
        "Física.XG0", "Física.YGf", "PARADOX.LCK", "pdoxusrs.lck",
        // Not this table's, or not a file the engine holds.
        "FísicaF.db", "FísicaF.PX", "Física.VAL", "Física.X2", "Física.XG", "Física.XGZ",
        "Física.db.bak", "PDOXUSRS.NET", "Fisica.DB", "Física", "Biologia.X02"};
    const std::vector<std::string> want = {"Física.DB",   "FÍSICA.PX",   "física.mb",  "Física.X02",
                                           "Física.Y02",  "Física.x0A",  "Física.XG0", "Física.YGf",
                                           "PARADOX.LCK", "pdoxusrs.lck"};
    EXPECT_EQ(FilesInUseWithTable("C:\\H\\Dados\\Física\\Física.db", entries), want);
    EXPECT_EQ(FilesInUseWithTable("Física.db", {}), std::vector<std::string>{});
}

}  // namespace
}  // namespace pq::install
