// The program's one global record: the two process-wide folders that the start-up checks set
// once while the main window is created and from which the installation builds every path.
// Portable: no platform headers.
#pragma once

#include <string>

namespace pq::shell {

struct TDadosApp {
    std::string ProgramFolder;  // folder of the program's executable, ending with '\' or ':'
    std::string HostFolder;     // the host's folder, ending with '\' or ':'; empty when none
};
extern TDadosApp DadosApp;

}  // namespace pq::shell
