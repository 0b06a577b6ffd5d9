#include "install/session_setup.h"

#include "install/subject_catalogue.h"
#include "tabledb/session.h"
#include "tabledb/table.h"

namespace pq::install {

void PrepareSession(tabledb::Session& session, std::string_view programFolder) {
    session.ReleaseIdleConnections();
    session.RemoveAlias(std::string(PackageAliasName));
    session.DefineStandardAlias(std::string(PackageAliasName), PackageAliasPath(programFolder),
                                "Paradox");
    session.SetNetFileDir("c:\\");
    session.RegisterPassword("Norte Fundos");
    session.RegisterPassword("K734");
    session.SetActive(true);
}

void DefineSubjectAlias(tabledb::Session& session, std::string_view hostFolder, unsigned index) {
    DefineSubjectAliasAt(session, index, HostAliasPath(hostFolder, index));
}

void DefineSubjectAliasAt(tabledb::Session& session, unsigned index, const std::string& folder) {
    const std::string name = HostAliasName(index);
    session.RemoveAlias(name);
    session.DefineStandardAlias(name, folder, "Paradox");
}

void OpenTablePair(tabledb::Table& tableDest, tabledb::Table& tableSource, unsigned index,
                   std::string_view suffix) {
    tableDest.SetActive(false);
    tableDest.SetDatabaseName(HostAliasName(index));
    tableDest.SetTableName(HostTableName(index, suffix));
    tableDest.SetActive(true);
    tableSource.SetActive(false);
    tableSource.SetTableName(PackageTableName(index, suffix));
    tableSource.SetActive(true);
}

}  // namespace pq::install
