// The corpus's manifest (make_corpus.py writes it): one line per malformed package table after
// a line of column names, four tab-separated columns. Read by the native merge test and by the
// end-to-end test under Wine.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace pq::malformed {

struct Entry {
    std::string file;        // package table, relative to the corpus folder ("case/Mat.db")
    std::string expected;    // text the error message holds
    std::string host;        // host table, relative to the corpus folder
    bool namesTable = true;  // the message names the package table's file
    std::string Case() const { return file.substr(0, file.find('/')); }
    bool Figures() const { return file.find("F.db") != std::string::npos; }
};

inline void PrintTo(const Entry& e, std::ostream* out) {
    *out << e.file;
}

// The entries of a manifest's text; lines without four columns are passed over.
inline std::vector<Entry> ParseManifest(const std::string& text) {
    std::stringstream in(text);
    std::vector<Entry> entries;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::stringstream s(line);
        for (std::string col; std::getline(s, col, '\t');) cols.push_back(col);
        if (cols.size() != 4) continue;
        entries.push_back({cols[0], cols[1], cols[2], cols[3] == "yes"});
    }
    return entries;
}

}  // namespace pq::malformed
