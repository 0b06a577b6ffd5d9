// The real library's report file: %LOCALAPPDATA%\DERodede\relatorios.txt, UTF-8, one report
// after the other.
#pragma once

#include <string>

namespace pq::derodede {

// The file's path (UTF-8); "" when the local application data folder is unknown.
std::string ReportFilePath();

// Appends `report` and a blank line, creating the folders and the file when needed. Returns
// the file's path, or "" when the report could not be kept.
std::string AppendReport(const std::string& report);

}  // namespace pq::derodede
