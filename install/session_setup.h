// Preparing the engine's session for an installation run and pointing the progress window's
// two tables at one subject's package and host tables.
#pragma once

#include <string>
#include <string_view>

namespace pq::tabledb {
class Session;
class Table;
}  // namespace pq::tabledb

namespace pq::install {

// The package alias "AliasZelanto" on ProgramFolder + "Questoes", the network control folder
// "c:\" and the two table passwords, in that order; starts the engine.
void PrepareSession(tabledb::Session& session, std::string_view programFolder);

// Replaces the subject's host alias "AliasFE" + N with HostFolder + "Dados\" + N.
void DefineSubjectAlias(tabledb::Session& session, std::string_view hostFolder, unsigned index);

// Replaces the subject's host alias with one on `folder`, where the host really keeps that
// subject's table (LocateHostTable).
void DefineSubjectAliasAt(tabledb::Session& session, unsigned index, const std::string& folder);

// Closes, re-points and opens the destination on the host table N + S and the source on the
// package table P + S (its database name stays what the window set).
void OpenTablePair(tabledb::Table& tableDest, tabledb::Table& tableSource, unsigned index,
                   std::string_view suffix);

}  // namespace pq::install
