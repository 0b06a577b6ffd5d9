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

// The uninstall entry where the host's 32-bit setup program leaves it, where a 64-bit one
// would, in both (the 32-bit one counts: its folder decides) and in neither.
TEST(Startup, UninstallEntryInEitherRegistryViewTheThirtyTwoBitOneFirst) {
    TempDir withHost("e2e-vista-host"), withoutHost("e2e-vista-vazio");
    const std::string good = MakeHostFolder(withHost.Path());
    const std::string empty = MakeHostFolder(withoutHost.Path(), /*withExecutable=*/false);
    const struct {
        const char* name;
        const std::string* in32;
        const std::string* in64;
        bool shows;
    } cases[] = {{"only-32", &good, nullptr, true},
                 {"only-64", nullptr, &good, true},
                 {"both-32-good", &good, &empty, true},
                 {"both-32-empty", &empty, &good, false},
                 {"neither", nullptr, nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UninstallEntry entry32(RegistryView::k32), entry64(RegistryView::k64);
        if (c.in32) entry32.PointAt(*c.in32);
        if (c.in64) entry64.PointAt(*c.in64);
        Medium medium(std::string("vista-") + c.name);
        Installer run(medium);
        if (!c.shows) {
            ExpectRefusal(run, medium);
            continue;
        }
        HWND window = run.WaitForMainWindow();
        ASSERT_TRUE(window) << "the main window did not appear";
        Installer::Click(window, 228 + 64, 192 + 25);  // BtnSair
        EXPECT_EQ(run.WaitForExit(), 0u);
    }
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
