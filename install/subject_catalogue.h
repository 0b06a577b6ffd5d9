// The fixed catalogue of the package's eight subjects and every name derived from it: alias
// names and paths, table names and host table paths. Its order is the installation order.
// Texts are UTF-8 (the accented subject names are used unchanged in aliases and file names).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pq::install {

struct SubjectCatalogueTable {
    static constexpr uint8_t SubjectCount = 8;
    std::array<std::string_view, SubjectCount> PackagePrefix;
    std::array<std::string_view, SubjectCount> SubjectName;
};

inline constexpr SubjectCatalogueTable SubjectCatalogue = {
    {"Bio", "Fis", "Geo", "His", "Ing", "Mat", "Por", "Qui"},
    {"Biologia", "Física", "Geografia", "História", "Inglês", "Matemática", "Português", "Química"},
};

// Table kinds, told apart by the suffix appended to a base name.
inline constexpr std::string_view QuestionSuffix = ".db";
inline constexpr std::string_view FigureSuffix = "F.db";

inline constexpr std::string_view PackageAliasName = "AliasZelanto";
inline constexpr std::string_view HostAliasPrefix = "AliasFE";

// REQUIRES nothing: an index outside 0..7 raises ERangeError.
std::string PackagePrefixAt(unsigned index);
std::string SubjectNameAt(unsigned index);

// Both folders end with their path separator; nothing here adds one to them.
std::string PackageAliasPath(std::string_view programFolder);  // ProgramFolder + "Questoes"
std::string HostAliasName(unsigned index);                     // "AliasFE" + N
std::string HostAliasPath(std::string_view hostFolder,
                          unsigned index);                              // HostFolder + "Dados\" + N
std::string HostTableName(unsigned index, std::string_view suffix);     // N + S
std::string PackageTableName(unsigned index, std::string_view suffix);  // P + S
// HostFolder + "Dados\" + N + "\" + N + S
std::string HostTablePath(std::string_view hostFolder, unsigned index, std::string_view suffix);

}  // namespace pq::install
