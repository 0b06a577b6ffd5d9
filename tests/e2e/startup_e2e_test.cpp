// The installer's start-up end to end: the real program under Wine with the three kinds of
// host installation, and without its error-report library.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/e2e/e2e_support_win.h"

namespace pq::e2e {
namespace {

// Start-up refused: message 1 in a "Pacote Lumen" box, the main window never shown, the
// process ends once OK is pressed.
void ExpectRefusal(Installer& run, const Medium& medium) {
    HWND box = run.WaitForWindow(L"#32770", kMessageTitle);
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(MessageBoxText(box), "Não foi encontrado o Farol Exames instalado neste computador.");
    EXPECT_TRUE(run.Running());
    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_FALSE(run.MainWindowSeen());
    EXPECT_TRUE(medium.Reports().empty());
}

TEST(Startup, WithoutUninstallEntryRefuses) {
    UninstallEntry entry;  // removed: there is none
    Medium medium("sem-entrada");
    Installer run(medium);
    ExpectRefusal(run, medium);
}

TEST(Startup, EntryToAFolderWithoutTheHostRefuses) {
    UninstallEntry entry;
    TempDir host("e2e-host-vazio");
    entry.PointAt(MakeHostFolder(host.Path(), /*withExecutable=*/false));
    Medium medium("host-vazio");
    Installer run(medium);
    ExpectRefusal(run, medium);
}

TEST(Startup, GoodEntryShowsTheMainWindowAndSairEndsTheProgram) {
    UninstallEntry entry;
    TempDir host("e2e-host");
    entry.PointAt(MakeHostFolder(host.Path()));
    Medium medium("host-bom");
    Installer run(medium);

    HWND window = run.WaitForMainWindow();
    ASSERT_TRUE(window) << "the main window did not appear";
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 457);
    EXPECT_EQ(r.bottom - r.top, 305);
    // Once the card is painted (the desktop behind is black), keep a picture of it.
    HDC screen = GetDC(nullptr);
    EXPECT_TRUE(WaitFor([&] { return GetPixel(screen, r.left + 100, r.top + 250) != 0; }));
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(SaveScreenshot(nullptr, ScreenshotDir() + "\\e2e-janela-principal.bmp"));

    Installer::Click(window, 228 + 64, 192 + 25);  // the middle of BtnSair
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_TRUE(medium.Reports().empty());
}

TEST(Startup, WithoutDERodedeTheProgramDoesNotStart) {
    UninstallEntry entry;
    TempDir host("e2e-host-sem-dll");
    entry.PointAt(MakeHostFolder(host.Path()));
    Medium medium("sem-dll", Medium::Library::kNone);
    Installer run(medium);
    const DWORD code = run.WaitForExit();
    // STATUS_DLL_NOT_FOUND; a Linux shell sees its low byte, 53.
    EXPECT_EQ(code, 0xC0000135u);
    EXPECT_FALSE(run.MainWindowSeen());
}

}  // namespace
}  // namespace pq::e2e
