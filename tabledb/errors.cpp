#include "tabledb/errors.h"

#include <cstdio>

namespace pq::tabledb {
namespace {

std::string Hex4(uint16_t code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%.4x", static_cast<unsigned>(code));
    return buf;
}

// The distinct texts, one per line, in their order.
std::string JoinDistinct(const std::vector<std::string>& texts, uint16_t code) {
    std::vector<std::string> seen;
    std::string out;
    for (const auto& t : texts) {
        if (t.empty()) continue;
        bool dup = false;
        for (const auto& s : seen) dup = dup || s == t;
        if (dup) continue;
        seen.push_back(t);
        if (!out.empty()) out += '\n';
        out += t;
    }
    if (out.empty()) out = "Table engine error $" + Hex4(code);
    return out;
}

}  // namespace

EDBEngineError::EDBEngineError(uint16_t code, std::vector<std::string> texts)
    : EDatabaseError(JoinDistinct(texts, code)), code_(code), texts_(std::move(texts)) {}

EDBEngineError::EDBEngineError(uint16_t code, std::vector<std::string> texts, std::string message)
    : EDatabaseError(std::move(message)), code_(code), texts_(std::move(texts)) {}

EDBEngineError EDBEngineError::StartFailure(uint16_t code) {
    return EDBEngineError(
        code, {},
        "An error occurred while attempting to initialize the table database engine (error $" +
            Hex4(code) + ")");
}

}  // namespace pq::tabledb
