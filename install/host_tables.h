// Where the host really keeps each subject's tables, and which of their files a running host
// holds.
//
// The host is a 32-bit program without a manifest. Installed under the Program Files folders
// or the Windows folder, its writes there are redirected by Windows into the user's
// VirtualStore, and from then on it reads those copies; a 64-bit program like this one is never
// redirected, so it looks there itself, table by table, as the host's redirection happened file
// by file.
//
// The file tests and the folder listing are the caller's, so the rules are tested natively;
// host_files_win.h supplies the Win32 ones. Paths are UTF-8 with backslashes.
// Portable: no platform headers.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pq::install {

struct HostRedirection {
    // Folders whose writes Windows redirects for the host (the Program Files folders and the
    // Windows folder), without a final separator.
    std::vector<std::string> redirectedFolders;
    // The user's VirtualStore folder, without a final separator; "" when unknown.
    std::string virtualStore;
};

// The VirtualStore folder that stands for `folder` (its path after the drive, below the
// VirtualStore), or "" when `folder` is not inside one of the redirected folders. Folder
// names compare without regard to case.
std::string VirtualStoreFolderOf(std::string_view folder, const HostRedirection& redirection);

struct HostTableLocation {
    std::string folder;  // the subject's alias path: its table folder, no final separator
    std::string table;   // the table's .db file in that folder
};

// Subject `index`'s host table of kind `suffix`: the VirtualStore copy of its folder when that
// holds the table, otherwise the folder under `hostFolder` (whether or not the table is there).
HostTableLocation LocateHostTable(std::string_view hostFolder, unsigned index,
                                  std::string_view suffix, const HostRedirection& redirection,
                                  const std::function<bool(const std::string&)>& isFile);

// The names of the files a program that has the table `tableFile` open may hold, among the
// `entries` of its folder: the table's own files (.DB, .PX, .MB, secondary indexes .Xnn,
// .Ynn, .XGn, .YGn) and the table engine's lock files PARADOX.LCK and PDOXUSRS.LCK. Names
// compare without regard to case, as the file system does.
std::vector<std::string> FilesInUseWithTable(std::string_view tableFile,
                                             const std::vector<std::string>& entries);

}  // namespace pq::install
