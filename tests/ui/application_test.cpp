// The application object under Wine: the exception event, the silent abort, message boxes, the
// title, the screen cursor and termination.
#include <windows.h>

#include "tests/ui/ui_test_support.h"

namespace ui::test {
namespace {

const char kForm[] = R"(object Main: TTestForm
  BorderStyle = bsNone
  Left = 100
  Top = 100
  ClientWidth = 200
  ClientHeight = 100
  OnCreate = FormCreate
  object Probe: TProbe
    Left = 10
    Top = 10
    Width = 50
    Height = 50
    OnClick = ProbeClick
  end
  object Btn: TButton
    Left = 100
    Top = 10
    Caption = 'Ok'
    OnClick = ButtonClick
  end
end
)";

struct Report {
    std::string sender;
    std::string exception;
    std::string message;
};

// Closes the first message box with that title from a timer of this thread (the box's own
// loop runs it) and keeps its text.
struct BoxCloser {
    static inline std::string title;
    static inline std::string text;
    static inline int seen = 0;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
        std::u16string t = pq::text::Utf8ToUtf16(title);
        HWND box = FindWindowW(L"#32770", reinterpret_cast<LPCWSTR>(t.c_str()));
        if (!box) return;
        wchar_t buf[512] = {};
        GetDlgItemTextW(box, 0xFFFF, buf, 512);  // the box's text
        text = pq::text::Utf16ToUtf8(reinterpret_cast<char16_t*>(buf));
        ++seen;
        KillTimer(nullptr, id);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    static void Arm(std::string boxTitle) {
        title = std::move(boxTitle);
        text.clear();
        seen = 0;
        SetTimer(nullptr, 0, 20, &BoxCloser::Tick);
    }
};

// Records, from a timer inside a modal loop, whether a window is disabled then.
struct Check {
    static inline HWND form = nullptr;
    static inline bool* disabled = nullptr;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
        *disabled = !IsWindowEnabled(form);
        KillTimer(nullptr, id);
    }
};

class ApplicationTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        app->OnException = [this](Object& sender, const std::exception& e) {
            reports.push_back({sender.ClassName(), pq::ExceptionClassName(e), e.what()});
        };
    }
    void Click(TTestForm* f) {
        SendMessageW(f->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
        SendMessageW(f->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    }
    std::vector<Report> reports;
};

TEST_F(ApplicationTest, AnExceptionInAHandlerReachesTheEventWithItsSenderAndTheLoopGoesOn) {
    TTestForm* f = MakeForm(kForm);
    f->Show();
    int clicks = 0;
    f->onClick = [&] {
        if (++clicks == 1) throw pq::EConvertError("'abc' is not a valid integer value");
    };
    Click(f);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].sender, "TTestForm");  // the window whose message failed
    EXPECT_EQ(reports[0].exception, "EConvertError");
    EXPECT_EQ(reports[0].message, "'abc' is not a valid integer value");
    // The loop goes on: queued messages are handled and the next click runs normally.
    PostMessageW(f->Get<TButton>("Btn").Handle(), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([] { return Logged("ButtonClick Btn modal result 0"); }));
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(ApplicationTest, AnExceptionFromAStandardButtonNamesTheFormAsSender) {
    TTestForm* f = MakeForm(kForm);
    f->onClick = [] { throw std::runtime_error("standard"); };
    SendMessageW(f->Get<TButton>("Btn").Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].sender, "TTestForm");
    EXPECT_EQ(reports[0].exception, "Exception");
    EXPECT_EQ(reports[0].message, "standard");
}

TEST_F(ApplicationTest, AnAbortNeverReachesTheEventNorABox) {
    TTestForm* f = MakeForm(kForm);
    f->Show();
    f->onClick = [] { throw pq::EAbort(); };
    Click(f);
    app->OnException = nullptr;  // not even the default box
    Click(f);
    app->ProcessMessages();
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(FindWindowW(L"#32770", nullptr), nullptr);
}

TEST_F(ApplicationTest, AnExceptionInTheCreationHandlerIsReportedAndTheFormLives) {
    auto* f = CreateForm<TTestForm>(app.get(), std::string(kForm));
    ASSERT_TRUE(reports.empty());
    struct Failing : TTestForm {
        Failing(Component* o, std::string d) : TTestForm(o, std::move(d)) {
            onCreate = [] { throw pq::EOSError("Falha na criação"); };
        }
        const char* ClassName() const override { return "TFPrincipal"; }
    };
    (void)f;
    std::string def = kForm;
    def.replace(def.find("TTestForm"), 9, "TFPrincipal");
    Failing* g = CreateForm<Failing>(app.get(), def);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].sender, "TFPrincipal");
    EXPECT_EQ(reports[0].exception, "EOSError");
    EXPECT_EQ(reports[0].message, "Falha na criação");
    EXPECT_NE(g->Handle(), nullptr);
}

TEST_F(ApplicationTest, WithoutAHandlerTheDefaultBoxShowsTheMessage) {
    app->OnException = nullptr;
    app->SetTitle("Pacote Lumen");
    TTestForm* f = MakeForm(kForm);
    f->onClick = [] { throw pq::EInvalidOperation("Operação inválida"); };
    BoxCloser::Arm("Pacote Lumen");
    SendMessageW(f->Get<TButton>("Btn").Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(BoxCloser::seen, 1);
    EXPECT_EQ(BoxCloser::text, "Operação inválida.");  // a final period is added
}

TEST_F(ApplicationTest, AFailingHandlerFallsBackToTheDefaultBox) {
    app->SetTitle("Pacote Lumen");
    app->OnException = [](Object&, const std::exception&) {
        throw pq::ERegistryException("Invalid data type for 'Name'");
    };
    TTestForm* f = MakeForm(kForm);
    f->onClick = [] { throw pq::EConvertError("first"); };
    BoxCloser::Arm("Pacote Lumen");
    SendMessageW(f->Get<TButton>("Btn").Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(BoxCloser::seen, 1);
    // No period after a closing quote (only after a character above '.').
    EXPECT_EQ(BoxCloser::text, "Invalid data type for 'Name'");
}

TEST_F(ApplicationTest, MessageBoxesAreOwnedByTheApplicationAndModal) {
    app->SetTitle("Pacote Lumen");
    TTestForm* f = MakeForm(kForm);
    f->Show();
    bool disabledDuringBox = false;
    Check::form = f->Handle();
    Check::disabled = &disabledDuringBox;
    SetTimer(nullptr, 0, 10, &Check::Tick);
    BoxCloser::Arm("Pacote Lumen");
    int r = app->MessageBox("As questões foram instaladas com sucesso.", "",
                            MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(r, IDOK);
    EXPECT_EQ(BoxCloser::text, "As questões foram instaladas com sucesso.");
    EXPECT_TRUE(disabledDuringBox);
    EXPECT_TRUE(IsWindowEnabled(f->Handle()));
}

TEST_F(ApplicationTest, TheTitleIsTheCaptionOfTheApplicationWindow) {
    app->SetTitle("Pacote de Questões");
    EXPECT_EQ(app->Title(), "Pacote de Questões");
    wchar_t buf[64];
    GetWindowTextW(app->Handle(), buf, 64);
    EXPECT_EQ(std::wstring(buf), L"Pacote de Quest\u00F5es");
    EXPECT_FALSE(IsWindowVisible(app->Handle()));
    EXPECT_STREQ(app->ClassName(), "TApplication");
    EXPECT_EQ(&App(), app.get());
    EXPECT_THROW(Application second, pq::EInvalidOperation);
}

TEST_F(ApplicationTest, ProcessMessagesHandlesWhatIsPendingAndReturns) {
    TTestForm* f = MakeForm(kForm);
    for (int i = 0; i < 3; ++i) PostMessageW(f->Get<TButton>("Btn").Handle(), BM_CLICK, 0, 0);
    app->ProcessMessages();
    int n = 0;
    for (const auto& e : Log()) n += e == "ButtonClick Btn modal result 0";
    EXPECT_EQ(n, 3);
}

TEST_F(ApplicationTest, TerminateEndsTheRunAndAnyModalLoop) {
    TTestForm* main = app->CreateForm<TTestForm>(std::string(kForm));
    TTestForm* dialog = MakeForm(kForm);
    dialog->onClick = [&] { app->Terminate(); };
    PostMessageW(dialog->Get<TButton>("Btn").Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
    EXPECT_TRUE(app->Terminated());
    app->SetShowMainForm(false);
    app->Run();  // sees the request and returns
    EXPECT_FALSE(IsWindowVisible(main->Handle()));
}

TEST_F(ApplicationTest, RunShowsTheMainFormUnlessTurnedOff) {
    TTestForm* main = app->CreateForm<TTestForm>(std::string(kForm));
    main->onClick = [&] { main->Close(); };
    PostMessageW(main->Get<TButton>("Btn").Handle(), BM_CLICK, 0, 0);
    app->Run();
    EXPECT_TRUE(Logged("ButtonClick Btn modal result 0"));
    EXPECT_TRUE(app->Terminated());
    EXPECT_TRUE(IsWindowVisible(main->Handle()));  // shown by Run
}

TEST_F(ApplicationTest, TheScreenCursorAppliesAtOnceAndToEveryWindow) {
    TTestForm* f = MakeForm(kForm);
    f->Show();
    HCURSOR wait = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
    HCURSOR appStart = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_APPSTARTING));
    app->SetCursor(crHourGlass);
    EXPECT_EQ(GetCursor(), wait);  // without any pointer move
    EXPECT_EQ(ScreenCursor(), crHourGlass);
    // A window asked for its cursor keeps the screen cursor.
    SendMessageW(f->Get<TButton>("Btn").Handle(), WM_SETCURSOR,
                 reinterpret_cast<WPARAM>(f->Handle()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), wait);
    {
        ScopedScreenCursor busy(crAppStart);
        EXPECT_EQ(GetCursor(), appStart);
    }
    EXPECT_EQ(app->GetCursor(), crDefault);
    SendMessageW(f->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(f->Handle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
}

}  // namespace
}  // namespace ui::test
