#include "install/subject_catalogue.h"

#include "base/exception.h"

namespace pq::install {
namespace {

unsigned Checked(unsigned index) {
    if (index >= SubjectCatalogue.SubjectCount) throw ERangeError("Range check error");
    return index;
}

}  // namespace

std::string PackagePrefixAt(unsigned index) {
    return std::string(SubjectCatalogue.PackagePrefix[Checked(index)]);
}

std::string SubjectNameAt(unsigned index) {
    return std::string(SubjectCatalogue.SubjectName[Checked(index)]);
}

std::string PackageAliasPath(std::string_view programFolder) {
    return std::string(programFolder) + "Questoes";
}

std::string HostAliasName(unsigned index) {
    return std::string(HostAliasPrefix) + SubjectNameAt(index);
}

std::string HostAliasPath(std::string_view hostFolder, unsigned index) {
    return std::string(hostFolder) + "Dados\\" + SubjectNameAt(index);
}

std::string HostTableName(unsigned index, std::string_view suffix) {
    return SubjectNameAt(index) + std::string(suffix);
}

std::string PackageTableName(unsigned index, std::string_view suffix) {
    return PackagePrefixAt(index) + std::string(suffix);
}

std::string HostTablePath(std::string_view hostFolder, unsigned index, std::string_view suffix) {
    const std::string n = SubjectNameAt(index);
    return std::string(hostFolder) + "Dados\\" + n + "\\" + n + std::string(suffix);
}

}  // namespace pq::install
