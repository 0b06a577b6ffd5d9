// The start-up checks of the main window's creation: find the host application (Farol Exames)
// through its uninstall entry, make sure its executable is there and that its drive has room
// for the package. They also publish the two process-wide folders in `DadosApp`, from which
// the installation builds every path.
//
// The checks read the system only through the small interfaces below, so every rule is tested
// natively; startup_checks_win.h supplies the Win32 implementations. Paths are UTF-8.
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shell/dados_app.h"
#include "shell/registry.h"

namespace pq::app {

using shell::DadosApp;
using shell::MachineRegistry;
using shell::RegistryText;
using shell::TDadosApp;

inline constexpr std::string_view kUninstallKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Farol Exames";
inline constexpr std::string_view kUninstallValue = "UninstallString";
inline constexpr std::string_view kFolderMarker = "-c";
inline constexpr std::string_view kHostExecutable = "\\FarolExames.exe";
inline constexpr int MinFreeMegabytes = 35;

inline constexpr std::string_view kRefusalTitle = "Pacote Lumen";
inline constexpr std::string_view kHostMissingMessage =
    "Não foi encontrado o Farol Exames instalado neste computador.";
// "Espaço em disco insuficiente. São necessários no mínimo 35Mb em disco para a instação
// deste pacote." built from MinFreeMegabytes.
std::string DiskSpaceMessage();

// The part of `path` up to and including its last backslash or colon; "" when it has neither.
std::string FolderOf(std::string_view path);

// The host folder from the host's uninstall command line: the text after the first "-c"
// (case-sensitive; without one the first two characters go), less its first double quote,
// up to and including the last backslash or colon.
std::string ExtractHostFolder(std::string_view uninstallCommand);

// `hostFolder` up to and including its first backslash; "" when it has none. For a network
// folder ("\\server\share\...") that is the single leading backslash.
std::string DriveRoot(std::string_view hostFolder);

// The root whose free space is measured for an absolute path: "X:\" for "X:\...", the share
// root "\\server\share\" for a network path (where DriveRoot would give "\", the current
// drive).
std::string FreeSpaceRoot(std::string_view absolutePath);

// True for "X:\..." and "\\server\..." paths, which do not depend on the current drive or
// folder.
bool IsAbsolutePath(std::string_view path);

class FileProbe {
  public:
    virtual ~FileProbe() = default;
    // True when a regular file (not a folder) exists at `path`.
    virtual bool IsRegularFile(const std::string& path) = 0;
};

class DriveSpace {
  public:
    virtual ~DriveSpace() = default;
    // The free bytes of the drive at `root`; 0 when the drive cannot be queried.
    virtual int64_t FreeBytes(const std::string& root) = 0;
};

struct StartupSystem {
    std::string executablePath;  // full path of the running program
    MachineRegistry& registry;
    FileProbe& files;
    DriveSpace& drives;
};

struct StartupOutcome {
    bool passed = false;
    std::string refusal;  // the message to show when !passed
};

// Runs the checks in order, stopping at the first failure. Sets data.ProgramFolder and
// data.HostFolder before any check can fail. A "UninstallString" that is not a text value
// throws ERegistryException (after ProgramFolder is set; HostFolder stays as it was).
StartupOutcome RunStartupChecks(const StartupSystem& system, TDadosApp& data);

}  // namespace pq::app
