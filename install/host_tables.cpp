#include "install/host_tables.h"

#include <cstdint>

#include "install/subject_catalogue.h"

namespace pq::install {
namespace {

char FoldAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The byte at `i` of a UTF-8 text with its letter's case folded: ASCII letters, and the
// accented small letters of Latin-1 (U+00E0 to U+00FE but U+00F7) on their second byte.
uint8_t FoldedByte(std::string_view s, size_t i) {
    const auto c = static_cast<uint8_t>(s[i]);
    if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 'A');
    if (i > 0 && static_cast<uint8_t>(s[i - 1]) == 0xC3 && c >= 0xA0 && c <= 0xBE && c != 0xB7)
        return static_cast<uint8_t>(c - 0x20);
    return c;
}

// File names compared as Windows compares them, for the letters of this program's names.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldedByte(a, i) != FoldedByte(b, i)) return false;
    return true;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (FoldAscii(c) >= 'A' && FoldAscii(c) <= 'F');
}

bool IsHexRun(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsHexDigit(c)) return false;
    return true;
}

// .DB, .PX, .MB, .Xnn/.Ynn (a field number) and .XGn/.YGn (an index number).
bool IsTableFileExtension(std::string_view ext) {
    if (SameName(ext, "DB") || SameName(ext, "PX") || SameName(ext, "MB")) return true;
    if (ext.size() < 2 || (FoldAscii(ext[0]) != 'X' && FoldAscii(ext[0]) != 'Y')) return false;
    const std::string_view rest = ext.substr(1);
    if (FoldAscii(rest[0]) == 'G') return rest.size() == 2 && IsHexRun(rest.substr(1));
    return rest.size() == 2 && IsHexRun(rest);
}

std::string_view FileNameOf(std::string_view path) {
    const size_t cut = path.find_last_of("\\/:");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::string VirtualStoreFolderOf(std::string_view folder, const HostRedirection& redirection) {
    if (redirection.virtualStore.empty()) return {};
    // Only drive-letter paths are redirected: "X:\..." below a redirected folder.
    if (folder.size() < 3 || folder[1] != ':' || folder[2] != '\\') return {};
    for (const std::string& redirected : redirection.redirectedFolders) {
        if (redirected.size() < 3 || folder.size() < redirected.size()) continue;
        if (!SameName(folder.substr(0, redirected.size()), redirected)) continue;
        if (folder.size() > redirected.size() && folder[redirected.size()] != '\\') continue;
        return redirection.virtualStore + std::string(folder.substr(2));
    }
    return {};
}

HostTableLocation LocateHostTable(std::string_view hostFolder, unsigned index,
                                  std::string_view suffix, const HostRedirection& redirection,
                                  const std::function<bool(const std::string&)>& isFile) {
    const std::string name = HostTableName(index, suffix);
    HostTableLocation real{HostAliasPath(hostFolder, index),
                           HostTablePath(hostFolder, index, suffix)};
    const std::string copy = VirtualStoreFolderOf(real.folder, redirection);
    if (!copy.empty() && isFile(copy + "\\" + name)) return {copy, copy + "\\" + name};
    return real;
}

std::vector<std::string> FilesInUseWithTable(std::string_view tableFile,
                                             const std::vector<std::string>& entries) {
    const std::string_view table = FileNameOf(tableFile);
    const size_t dot = table.find_last_of('.');
    const std::string_view base = dot == std::string_view::npos ? table : table.substr(0, dot);
    std::vector<std::string> held;
    for (const std::string& entry : entries) {
        if (SameName(entry, "PARADOX.LCK") || SameName(entry, "PDOXUSRS.LCK")) {
            held.push_back(entry);
            continue;
        }
        const size_t entryDot = entry.find_last_of('.');
        if (entryDot == std::string::npos || entryDot != base.size()) continue;
        if (!SameName(std::string_view(entry).substr(0, entryDot), base)) continue;
        if (IsTableFileExtension(std::string_view(entry).substr(entryDot + 1)))
            held.push_back(entry);
    }
    return held;
}

}  // namespace pq::install
