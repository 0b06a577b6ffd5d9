#include "app/startup_checks.h"

namespace pq::app {

std::string DiskSpaceMessage() {
    return "Espaço em disco insuficiente. São necessários no mínimo " +
           std::to_string(MinFreeMegabytes) + "Mb em disco para a instação deste pacote.";
}

std::string FolderOf(std::string_view path) {
    const size_t cut = path.find_last_of("\\:");
    if (cut == std::string_view::npos) return {};
    return std::string(path.substr(0, cut + 1));
}

std::string ExtractHostFolder(std::string_view t) {
    // p is 1-based, 0 when the marker is absent; p + 2 characters go either way, so a
    // command without the marker loses its first two characters.
    const size_t found = t.find(kFolderMarker);
    const size_t p = found == std::string_view::npos ? 0 : found + 1;
    std::string rest(t.substr(std::min(t.size(), p + 2)));
    const size_t quote = rest.find('"');
    if (quote != std::string::npos) rest.erase(quote, 1);
    return FolderOf(rest);
}

std::string DriveRoot(std::string_view hostFolder) {
    const size_t slash = hostFolder.find('\\');
    if (slash == std::string_view::npos) return {};
    return std::string(hostFolder.substr(0, slash + 1));
}

std::string FreeSpaceRoot(std::string_view path) {
    if (path.substr(0, 2) == "\\\\") {
        const size_t server = path.find('\\', 2);
        const size_t share =
            server == std::string_view::npos ? server : path.find('\\', server + 1);
        if (share == std::string_view::npos) return std::string(path) + "\\";
        return std::string(path.substr(0, share + 1));
    }
    return std::string(path.substr(0, std::min<size_t>(path.size(), 2))) + "\\";
}

bool IsAbsolutePath(std::string_view path) {
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path.size() >= 3 && letter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
    // "\\server\..." with a non-empty server name.
    return path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
}

StartupOutcome RunStartupChecks(const StartupSystem& system, TDadosApp& data) {
    data.ProgramFolder = FolderOf(system.executablePath);
    data.HostFolder =
        ExtractHostFolder(ReadTextOrEmpty(system.registry, kUninstallKey, kUninstallValue));

    // The folder already ends with a separator, so the candidate carries a doubled one, which
    // the file lookup accepts. A candidate that is not absolute (an empty folder gives
    // "\FarolExames.exe") is refused without a lookup: its meaning would depend on the current
    // drive and folder.
    const std::string candidate = data.HostFolder + std::string(kHostExecutable);
    if (!IsAbsolutePath(candidate) || !system.files.IsRegularFile(candidate))
        return {false, std::string(kHostMissingMessage)};

    const int64_t freeBytes = system.drives.FreeBytes(FreeSpaceRoot(candidate));
    const int64_t megabytes = freeBytes / 1024 / 1024;  // truncates toward zero
    if (megabytes < MinFreeMegabytes) return {false, DiskSpaceMessage()};
    return {true, {}};
}

}  // namespace pq::app
