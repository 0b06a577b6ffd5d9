// The system's side of locating the host's tables: the folders Windows redirects for the host,
// and whether another program holds a table's files. Windows only.
#pragma once

#include <string>
#include <vector>

#include "install/host_tables.h"

namespace pq::install {

// The Program Files folders and the Windows folder, and the user's VirtualStore, as the
// system names them.
HostRedirection SystemHostRedirection();

// True when a regular file (not a folder) exists at `path`.
bool HostFileExists(const std::string& path);

// Of each of `tables` that exists, the files of its folder that go with it (FilesInUseWithTable)
// and that another program holds: those that cannot be opened with no sharing because they are
// open elsewhere. A file that cannot be opened for another reason is not counted: the engine
// reports it when it opens the table.
std::vector<std::string> HostFilesHeldElsewhere(const std::vector<std::string>& tables);

}  // namespace pq::install
