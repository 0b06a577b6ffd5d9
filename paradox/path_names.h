// The parts of a table file's path that the engine compares and builds: paths use either
// separator, and names compare without regard to ASCII case, as the host system's do.
// Portable: no platform headers.
#pragma once

#include <string>

namespace pq::paradox {

// The name after the last separator (the whole path when there is none).
inline std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder with its trailing separator, or "" for a bare name.
inline std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file name without its extension.
inline std::string BaseName(const std::string& path) {
    const std::string name = FileName(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

inline std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace pq::paradox
