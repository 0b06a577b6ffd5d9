// The program entry of InstalaPacote.exe: the application with its title, the main window
// created hidden (it shows itself when the start-up checks pass), the message loop.
#include <windows.h>

#include "app/principal_win.h"
#include "components/kinds.h"
#include "shell/error_bridge_win.h"
#include "ui/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        ui::Application app;
        components::RegisterKinds(ui::Kinds());
        app.SetTitle("Pacote de Questões");
        app.SetShowMainForm(false);
        app.CreateForm<pq::app::TFPrincipal>();
        app.Run();
    } catch (const std::exception& e) {
        // Only a failure before the message loop can land here (the main window's definition
        // could not be loaded, say): the application's handler is not there yet.
        pq::shell::ReportException("TApplication", e);
        return 1;
    }
    return 0;
}
