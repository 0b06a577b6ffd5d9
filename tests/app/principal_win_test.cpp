// The main window under Wine with real messages: its shape, its hit-test answers, its buttons
// and its creation handler. The test program sits beside the scripted DERodede.dll (whose log
// shows the reports) and embeds the window's definition and pictures. The host's uninstall
// entry is made by each test (resource lock "farol_registry").
#include "app/principal_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "app/licence_agreement.h"
#include "app/startup_checks.h"
#include "components/kinds.h"
#include "derodede/report.h"
#include "tests/app/farol_registry_win.h"
#include "tests/app/win_test_support.h"
#include "ui/application.h"

namespace pq::app {

// The licence agreement as the install button sees it, for these tests.
int licenceRuns = 0;
bool mainHiddenDuringLicence = false;
void RunLicenceAgreement() {
    ++licenceRuns;
    mainHiddenDuringLicence = FPrincipal && !IsWindowVisible(FPrincipal->Handle());
}

namespace {

using namespace pq::testing;

// One application for the whole test program, set up as the program entry does.
class ApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        app_ = new ui::Application;
        components::RegisterKinds(ui::Kinds());
        app_->SetTitle("Pacote de Questões");
        app_->SetShowMainForm(false);
    }
    void TearDown() override { delete app_; }

  private:
    ui::Application* app_ = nullptr;
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SetEnvironmentVariableW(L"DERODEDE_LOG", Wide(log_).c_str()));
        host_ = MakeHostFolder(temp_.Path());
    }
    void TearDown() override { delete FPrincipal; }

    TFPrincipal& Create() {
        ui::App().CreateForm<TFPrincipal>();
        if (!FPrincipal) throw std::runtime_error("FPrincipal was not set");
        return *FPrincipal;
    }
    std::vector<derodede::LoggedCall> Reports() { return derodede::ParseLog(ReadFileBytes(log_)); }
    LRESULT HitTestAt(TFPrincipal& form, int clientX, int clientY) {
        const int x = form.Left() + clientX, y = form.Top() + clientY;
        return SendMessageW(form.Handle(), WM_NCHITTEST, 0,
                            MAKELPARAM(static_cast<WORD>(static_cast<short>(x)),
                                       static_cast<WORD>(static_cast<short>(y))));
    }
    // Processes messages until the application was asked to terminate.
    bool RunUntilTerminated() {
        return WaitFor([] {
            ui::App().ProcessMessages();
            return ui::App().Terminated();
        });
    }

    TempDir temp_{"principal"};
    std::string log_ = temp_.Path() + "\\derodede.log";
    std::string host_;
    UninstallEntry entry_;
};

TEST_F(MainWindow, PassingChecksShowTheBorderlessCentredWindow) {
    entry_.PointAt(host_);
    TFPrincipal& form = Create();
    EXPECT_TRUE(IsWindowVisible(form.Handle()));
    EXPECT_EQ(ui::App().Title(), "Pacote Lumen");
    EXPECT_TRUE(static_cast<bool>(ui::App().OnException));
    EXPECT_EQ(DadosApp.HostFolder, host_ + "\\");
    EXPECT_EQ(DadosApp.ProgramFolder, BinaryDir() + "\\bin\\scripted\\");
    EXPECT_EQ(WindowText(form.Handle()), "Pacote de Questões");

    RECT r;
    GetWindowRect(form.Handle(), &r);
    EXPECT_EQ(r.right - r.left, 457);
    EXPECT_EQ(r.bottom - r.top, 305);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 457) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 305) / 2);
    const LONG_PTR style = GetWindowLongPtrW(form.Handle(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(MainWindow, RegionFollowsTheCard) {
    entry_.PointAt(host_);
    TFPrincipal& form = Create();
    struct Probe {
        int x, y;
        bool inside;
        const char* where;
    };
    const Probe probes[] = {
        {150, 150, true, "left part"},
        {400, 150, true, "right part"},
        {455, 150, true, "right edge"},
        // The rounded rectangle calls leave out their last column and row.
        {456, 150, false, "last column"},
        {150, 303, true, "bottom edge"},
        {150, 304, false, "last row"},
        {30, 30, false, "centre of the hole"},
        {20, 30, false, "inside the hole"},
        {30, 12, true, "above the hole"},
        {3, 3, false, "top-left corner"},
        {3, 301, false, "bottom-left corner"},
        {454, 10, false, "top-right corner"},
        {454, 295, false, "bottom-right corner"},
        {445, 253, false, "notch"},
        {440, 250, false, "notch"},
        {445, 238, true, "above the notch"},
        {445, 266, true, "below the notch"},
        {241, 3, true, "left of x = 242, top band"},
        {242, 3, false, "right of x = 242, top band"},
        {241, 300, true, "left of x = 242, bottom band"},
        {242, 300, false, "right of x = 242, bottom band"},
    };
    auto check = [&](const char* when) {
        ui::ScopedRgn region(CreateRectRgn(0, 0, 0, 0));
        ASSERT_NE(GetWindowRgn(form.Handle(), region.get()), ERROR) << when;
        for (const Probe& p : probes)
            EXPECT_EQ(PtInRegion(region.get(), p.x, p.y) != 0, p.inside)
                << when << ": (" << p.x << ", " << p.y << ") " << p.where;
    };
    check("first show");

    // Clicks in the hole reach what lies behind the window. (Kept above the windows of other
    // test programs running at the same time.)
    SetWindowPos(form.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    POINT hole{form.Left() + 30, form.Top() + 30}, card{form.Left() + 100, form.Top() + 150};
    EXPECT_NE(WindowFromPoint(hole), form.Handle());
    EXPECT_EQ(WindowFromPoint(card), form.Handle());

    // Every show gives the shape again.
    SetWindowRgn(form.Handle(), nullptr, FALSE);
    form.Hide();
    form.Show();
    check("second show");
}

TEST_F(MainWindow, HitTestLetsButtonsTakeTheMouseAndDragsElsewhere) {
    entry_.PointAt(host_);
    TFPrincipal& form = Create();
    EXPECT_EQ(HitTestAt(form, 100, 150), HTCAPTION);  // the picture
    EXPECT_EQ(HitTestAt(form, 250, 150), HTCLIENT);   // BtnInstalar
    EXPECT_EQ(HitTestAt(form, 250, 200), HTCLIENT);   // BtnSair
    EXPECT_EQ(HitTestAt(form, 356, 242), HTCLIENT);   // BtnSair's last pixel
    EXPECT_EQ(HitTestAt(form, 250, 189), HTCAPTION);  // between the two
    EXPECT_EQ(HitTestAt(form, 357, 200), HTCAPTION);  // right of BtnSair

    form.BtnSair->SetEnabled(false);
    EXPECT_EQ(HitTestAt(form, 250, 200), HTCAPTION);
    form.BtnSair->SetEnabled(true);
    EXPECT_EQ(HitTestAt(form, 250, 200), HTCLIENT);
    form.BtnInstalar->Hide();
    EXPECT_EQ(HitTestAt(form, 250, 150), HTCAPTION);
    form.BtnInstalar->Show();

    // Left of and above the screen the coordinates are negative 16-bit values.
    form.SetBounds(-300, -150, form.Width(), form.Height());
    ASSERT_EQ(form.Left(), -300);
    EXPECT_EQ(HitTestAt(form, 250, 140), HTCLIENT);  // screen (-50, -10)
    EXPECT_EQ(HitTestAt(form, 100, 100), HTCAPTION);
}

TEST_F(MainWindow, RefusalShowsMessageOneAndNeverTheWindow) {
    // No uninstall entry.
    std::string text, title;
    bool exclamation = false, windowSeen = false;
    std::thread driver([&] {
        HWND box = WaitForWindow(L"#32770", "Pacote Lumen");
        if (!box) return;
        text = MessageBoxText(box);
        title = WindowText(box);
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (SendMessageW(c, STM_GETICON, 0, 0) ==
                reinterpret_cast<LRESULT>(LoadIconW(nullptr, IDI_EXCLAMATION)))
                exclamation = true;
        windowSeen = FPrincipal && IsWindowVisible(FPrincipal->Handle());
        PressButton(box, IDOK);
    });
    TFPrincipal& form = Create();
    driver.join();
    EXPECT_EQ(text, "Não foi encontrado o Farol Exames instalado neste computador.");
    EXPECT_TRUE(exclamation);
    EXPECT_FALSE(windowSeen);
    EXPECT_FALSE(IsWindowVisible(form.Handle()));
    EXPECT_TRUE(ui::App().Terminated());
    EXPECT_EQ(DadosApp.HostFolder, "");
    EXPECT_EQ(DadosApp.ProgramFolder, BinaryDir() + "\\bin\\scripted\\");
    EXPECT_TRUE(Reports().empty());
}

TEST_F(MainWindow, FailureInTheCreationHandlerIsReportedAsTFPrincipalAndEndsStartup) {
    entry_.SetNumber(L"UninstallString", 1);
    TFPrincipal& form = Create();
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].function, "ExceptionMessage");
    EXPECT_EQ(reports[0].fields.at(0), "Instalador de Questões");
    EXPECT_EQ(reports[0].fields.at(5), "TFPrincipal");
    EXPECT_EQ(reports[0].fields.at(6), "ERegistryException");
    EXPECT_EQ(reports[0].fields.at(7), "Invalid data type for 'UninstallString'");
    EXPECT_FALSE(IsWindowVisible(form.Handle()));
    EXPECT_TRUE(ui::App().Terminated());
}

TEST_F(MainWindow, ClickOnBtnSairEndsTheProgram) {
    entry_.PointAt(host_);
    TFPrincipal& form = Create();
    const LPARAM at = MAKELPARAM(250, 215);
    PostMessageW(form.Handle(), WM_MOUSEMOVE, 0, at);
    PostMessageW(form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(form.Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(RunUntilTerminated());
    EXPECT_EQ(licenceRuns, 0);
}

TEST_F(MainWindow, ClickOnBtnInstalarHidesRunsTheAgreementAndCloses) {
    entry_.PointAt(host_);
    TFPrincipal& form = Create();
    const LPARAM at = MAKELPARAM(250, 160);
    PostMessageW(form.Handle(), WM_MOUSEMOVE, 0, at);
    PostMessageW(form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(form.Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(RunUntilTerminated());
    EXPECT_EQ(licenceRuns, 1);
    EXPECT_TRUE(mainHiddenDuringLicence);
    EXPECT_FALSE(IsWindowVisible(form.Handle()));
}

}  // namespace
}  // namespace pq::app
