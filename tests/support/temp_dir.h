// A folder of the test's own under the system's temporary folder, removed with everything in it
// when the test ends (POSIX: native tests only). `prefix` names it, for whoever finds one left
// by a killed test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace pq::testing {

struct TempDir {
    std::filesystem::path path;
    explicit TempDir(const std::string& prefix) {
        std::string templ =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        path = mkdtemp(templ.data());
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

}  // namespace pq::testing
