#include "install/subject_catalogue.h"

#include <gtest/gtest.h>

#include "base/exception.h"
#include "base/text.h"

namespace pq::install {
namespace {

TEST(SubjectCatalogue, EightSubjectsInInstallationOrder) {
    ASSERT_EQ(SubjectCatalogue.SubjectCount, 8);
    const char* names[] = {"Biologia", "Física",     "Geografia", "História",
                           "Inglês",   "Matemática", "Português", "Química"};
    const char* prefixes[] = {"Bio", "Fis", "Geo", "His", "Ing", "Mat", "Por", "Qui"};
    for (unsigned i = 0; i < 8; ++i) {
        EXPECT_EQ(SubjectNameAt(i), names[i]);
        EXPECT_EQ(PackagePrefixAt(i), prefixes[i]);
    }
    EXPECT_THROW(SubjectNameAt(8), ERangeError);
    EXPECT_THROW(PackagePrefixAt(255), ERangeError);
    EXPECT_THROW(HostTablePath("C:\\", 8, QuestionSuffix), ERangeError);
}

TEST(SubjectCatalogue, DerivedNamesForFisicaFigures) {
    EXPECT_EQ(HostAliasName(1), "AliasFEFísica");
    EXPECT_EQ(HostAliasPath("C:\\Host\\", 1), "C:\\Host\\Dados\\Física");
    EXPECT_EQ(HostTablePath("C:\\Host\\", 1, FigureSuffix), "C:\\Host\\Dados\\Física\\FísicaF.db");
    EXPECT_EQ(HostTableName(1, FigureSuffix), "FísicaF.db");
    EXPECT_EQ(PackageTableName(1, FigureSuffix), "FisF.db");
    EXPECT_EQ(PackageAliasPath("D:\\"), "D:\\Questoes");
    EXPECT_EQ(HostTableName(0, QuestionSuffix), "Biologia.db");
    EXPECT_EQ(PackageTableName(0, QuestionSuffix), "Bio.db");
    // The names reach the ANSI boundary byte for byte.
    EXPECT_EQ(text::Utf8ToAnsi(HostAliasName(5)), "AliasFEMatem\xE1tica");
    EXPECT_EQ(text::Utf8ToAnsi(HostTableName(6, FigureSuffix)), "Portugu\xEAsF.db");
    EXPECT_EQ(text::Utf8ToAnsi(HostTableName(4, QuestionSuffix)), "Ingl\xEAs.db");
}

}  // namespace
}  // namespace pq::install
