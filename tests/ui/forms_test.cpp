// Forms under Wine: made from definitions, their standard controls, modal runs, dialog keys,
// closing, regions and raw messages.
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <algorithm>
#include <chrono>

#include "tests/ui/ui_test_support.h"
#include "ui/resources.h"

namespace ui::test {
namespace {

const char kDialog[] = R"(object Dialog: TTestForm
  BorderStyle = bsDialog
  Position = poScreenCenter
  ClientWidth = 475
  ClientHeight = 334
  Caption = 'Contrato de Licensa do '
  Font.Name = 'MS Sans Serif'
  Font.Height = -11
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Style = []
  PixelsPerInch = 96
  TextHeight = 13
  OnCreate = FormCreate
  OnShow = FormShow
  OnClose = FormClose
  OnDestroy = FormDestroy
  object Label1: TLabel
    Left = 66
    Top = 14
    Width = 391
    Height = 29
    AutoSize = False
    WordWrap = True
    Caption = 'Por favor leia a licensa de instalação abaixo.'
  end
  object Label2: TLabel
    Left = 12
    Top = 68
    Caption = 'Aguarde...'
  end
  object Memo: TMemo
    Left = 18
    Top = 56
    Width = 443
    Height = 100
    Color = clBtnFace
    ReadOnly = True
    ScrollBars = ssVertical
    TabOrder = 0
    Lines = (
      'Linha 1' 'Linha 2' 'Linha 3' 'Linha 4' 'Linha 5' 'Linha 6' 'Linha 7' 'Linha 8'
      'Linha 9' 'Linha 10' 'Linha 11' 'Linha 12' 'Linha 13' 'Linha 14' 'Linha 15' 'Última'
    )
  end
  object Bar: TProgressBar
    Left = 12
    Top = 170
    Width = 241
    Height = 13
    Min = 0
    Max = 100
    Position = 30
    TabOrder = 3
  end
  object BtnSim: TButton
    Left = 297
    Top = 302
    Width = 75
    Height = 23
    Caption = '&Sim'
    Default = True
    ModalResult = 1
    TabOrder = 2
    OnClick = ButtonClick
  end
  object BtnNao: TButton
    Left = 384
    Top = 302
    Width = 75
    Height = 23
    Caption = '&Não'
    Cancel = True
    ModalResult = mrCancel
    TabOrder = 1
    OnClick = ButtonClick
  end
end
)";

std::string WindowText(HWND h) {
    wchar_t buf[512];
    int n = GetWindowTextW(h, buf, 512);
    return pq::text::Utf16ToUtf8(
        std::u16string(reinterpret_cast<char16_t*>(buf), static_cast<size_t>(n)));
}

class FormsTest : public UiTest {};

TEST_F(FormsTest, AFormIsMadeFromItsDefinition) {
    TTestForm* f = MakeForm(kDialog);
    EXPECT_EQ(f->Name(), "Dialog");
    EXPECT_EQ(Log(), (std::vector<std::string>{"FormCreate"}));  // created hidden
    EXPECT_FALSE(IsWindowVisible(f->Handle()));
    EXPECT_EQ(WindowText(f->Handle()), "Contrato de Licensa do ");
    EXPECT_EQ(f->Caption(), "Contrato de Licensa do ");
    RECT c;
    GetClientRect(f->Handle(), &c);
    EXPECT_EQ(c.right, 475);
    EXPECT_EQ(c.bottom, 334);
    EXPECT_EQ(f->ClientWidth(), 475);
    LONG_PTR style = GetWindowLongPtrW(f->Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(GetWindowLongPtrW(f->Handle(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
    EXPECT_EQ(f->FontName(), "MS Sans Serif");
    EXPECT_EQ(f->FontHeight(), -11);

    f->Show();
    EXPECT_EQ(Log(), (std::vector<std::string>{"FormCreate", "FormShow"}));
    EXPECT_TRUE(IsWindowVisible(f->Handle()));
    RECT w;
    GetWindowRect(f->Handle(), &w);
    EXPECT_EQ(w.left, (GetSystemMetrics(SM_CXSCREEN) - (w.right - w.left)) / 2);
    EXPECT_EQ(w.top, (GetSystemMetrics(SM_CYSCREEN) - (w.bottom - w.top)) / 2);
    EXPECT_EQ(f->Left(), w.left);

    auto& label2 = f->Get<TLabel>("Label2");
    EXPECT_GT(label2.Width(), 20);  // auto-size: fits "Aguarde..."
    EXPECT_GT(label2.Height(), 8);
    int narrow = label2.Width();
    label2.SetCaption("Copiando 350 questões de Matemática...");
    EXPECT_GT(label2.Width(), narrow * 2);
    auto& label1 = f->Get<TLabel>("Label1");
    EXPECT_EQ(label1.Width(), 391);  // no auto-size
    EXPECT_EQ(label1.Height(), 29);

    auto& memo = f->Get<TMemo>("Memo");
    EXPECT_EQ(memo.Lines().size(), 16u);
    EXPECT_EQ(memo.Lines().back(), "Última");
    EXPECT_EQ(WindowText(memo.Handle()).substr(0, 16), "Linha 1\r\nLinha 2");
    EXPECT_EQ(memo.FirstVisibleLine(), 0);
    LONG_PTR ms = GetWindowLongPtrW(memo.Handle(), GWL_STYLE);
    EXPECT_TRUE(ms & ES_READONLY);
    EXPECT_TRUE(ms & ES_MULTILINE);
    EXPECT_TRUE(ms & WS_VSCROLL);
    EXPECT_EQ(GetParent(memo.Handle()), f->Handle());
    RECT mr;
    GetWindowRect(memo.Handle(), &mr);
    MapWindowPoints(nullptr, f->Handle(), reinterpret_cast<POINT*>(&mr), 2);
    EXPECT_EQ(mr.left, 18);
    EXPECT_EQ(mr.top, 56);
    EXPECT_EQ(mr.right - mr.left, 443);
    // The memo gets the focus first (tab order 0).
    EXPECT_TRUE(WaitFor([&] { return memo.Focused(); }));

    auto& sim = f->Get<TButton>("BtnSim");
    EXPECT_EQ(WindowText(sim.Handle()), "&Sim");
    EXPECT_EQ(sim.GetModalResult(), mrOk);
    EXPECT_TRUE(sim.Default());
    EXPECT_EQ(f->DefaultButton(), &sim);
    EXPECT_EQ(f->CancelButton(), &f->Get<TButton>("BtnNao"));
    EXPECT_EQ(f->Get<TButton>("BtnNao").GetModalResult(), mrCancel);
    EXPECT_EQ(WindowText(f->Get<TButton>("BtnNao").Handle()), "&Não");
}

TEST_F(FormsTest, TheMemoPaintsInItsColour) {
    TTestForm* f = MakeForm(kDialog);
    auto& memo = f->Get<TMemo>("Memo");
    memo.SetLines({});
    f->Show();
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    ASSERT_TRUE(WaitFor([&] {
        ScopedGetDc dc(memo.Handle());
        return GetPixel(dc.get(), 200, 50) == face;
    }));
}

// The glyph drawn on a frame's close box, from a picture of the window's top right corner: the
// dark pixels inside the button's face, in the face's coordinates.
struct CloseBoxGlyph {
    int width = 0, height = 0;      // the button's face
    std::vector<std::string> rows;  // '#' dark, '.' not: the picture, for the failure message
    bool Dark(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height && rows[y][x] == '#';
    }
    std::string Picture() const {
        std::string s;
        for (const auto& r : rows) s += r + "\n";
        return s;
    }
};

CloseBoxGlyph PictureOfTheCloseBox(HWND window) {
    RECT w;
    GetWindowRect(window, &w);
    const int frame = GetSystemMetrics(SM_CXDLGFRAME);
    const int band = GetSystemMetrics(SM_CYCAPTION);
    const int right = w.right - w.left - frame;  // the caption's right end
    const int width = GetSystemMetrics(SM_CXSIZE) + 2, left = right - width;
    // The caption's right end as the window draws it, frame and all.
    std::vector<COLORREF> pixels(static_cast<size_t>(band * width));
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; };
    HDC dc = GetWindowDC(window);
    for (int y = 0; y < band; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<size_t>(y * width + x)] = GetPixel(dc, left + x, frame + y);
    ReleaseDC(window, dc);
    // The button's face is the stretch of COLOR_BTNFACE that its edges enclose: face-coloured
    // pixels reached from the corner's border (the frame, the client area) are not part of it.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    std::vector<bool> outside(pixels.size(), false);
    std::vector<std::pair<int, int>> todo;
    for (int x = 0; x < width; ++x) todo.insert(todo.end(), {{x, 0}, {x, band - 1}});
    for (int y = 0; y < band; ++y) todo.insert(todo.end(), {{0, y}, {width - 1, y}});
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        if (x < 0 || y < 0 || x >= width || y >= band) continue;
        const size_t i = static_cast<size_t>(y * width + x);
        if (outside[i] || pixels[i] != face) continue;
        outside[i] = true;
        todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }
    int x0 = width, y0 = band, x1 = -1, y1 = -1;
    for (int y = 0; y < band; ++y)
        for (int x = 0; x < width; ++x)
            if (at(x, y) == face && !outside[static_cast<size_t>(y * width + x)]) {
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    CloseBoxGlyph g;
    if (x1 < x0) return g;
    g.width = x1 - x0 + 1;
    g.height = y1 - y0 + 1;
    for (int y = y0; y <= y1; ++y) {
        std::string row;
        for (int x = x0; x <= x1; ++x) {
            const COLORREF c = at(x, y);
            row += GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 0xa0 ? '#' : '.';
        }
        g.rows.push_back(row);
    }
    return g;
}

TEST_F(FormsTest, AFrameDrawsItsCloseBoxAsACross) {
    TTestForm* f = MakeForm(kDialog);
    f->Show();
    CloseBoxGlyph g;
    int dark = 0;
    EXPECT_TRUE(WaitFor([&] {
        g = PictureOfTheCloseBox(f->Handle());
        dark = 0;
        for (const auto& r : g.rows) dark += static_cast<int>(std::count(r.begin(), r.end(), '#'));
        return dark >= 8;
    })) << g.Picture();
    // The dark pixels span a box that a cross fills from corner to corner through its centre,
    // the same seen in a mirror either way; a letter (the symbol font's "r" drawn in another
    // face) does neither.
    int gx0 = g.width, gy0 = g.height, gx1 = -1, gy1 = -1, unmatched = 0;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.Dark(x, y))
                gx0 = std::min(gx0, x), gy0 = std::min(gy0, y), gx1 = std::max(gx1, x),
                gy1 = std::max(gy1, y);
    ASSERT_GE(gx1, gx0) << g.Picture();
    for (int y = gy0; y <= gy1; ++y)
        for (int x = gx0; x <= gx1; ++x)
            if (g.Dark(x, y) && (!g.Dark(gx0 + gx1 - x, y) || !g.Dark(x, gy0 + gy1 - y)))
                ++unmatched;
    EXPECT_LE(unmatched, dark / 10) << g.Picture();
    EXPECT_LE(std::abs((gx1 - gx0) - (gy1 - gy0)), 1);
    EXPECT_GE(gx1 - gx0, 4);
    auto darkNear = [&](int x, int y) {
        return g.Dark(x, y) || g.Dark(x + 1, y) || g.Dark(x - 1, y) || g.Dark(x, y + 1) ||
               g.Dark(x, y - 1);
    };
    EXPECT_TRUE(darkNear(gx0, gy0) && darkNear(gx1, gy0) && darkNear(gx0, gy1) &&
                darkNear(gx1, gy1) && darkNear((gx0 + gx1) / 2, (gy0 + gy1) / 2));
}

// The native bar shows the position once messages are processed (its repaints are paced).
bool Shows(TProgressBar& bar, int position) {
    return WaitFor([&] { return SendMessageW(bar.Handle(), PBM_GETPOS, 0, 0) == position; });
}

TEST_F(FormsTest, TheProgressBarKeepsItsPositionInRange) {
    TTestForm* f = MakeForm(kDialog);
    auto& bar = f->Get<TProgressBar>("Bar");
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.Position(), 30);
    EXPECT_TRUE(Shows(bar, 30));
    bar.SetMax(16);
    EXPECT_EQ(bar.Position(), 16);
    bar.SetPosition(0);
    bar.StepBy(1);
    bar.StepBy(1);
    EXPECT_EQ(bar.Position(), 2);
    EXPECT_TRUE(Shows(bar, 2));
    EXPECT_EQ(SendMessageW(bar.Handle(), PBM_GETRANGE, FALSE, 0), 16);
    bar.SetPosition(99);
    EXPECT_EQ(bar.Position(), 16);
    EXPECT_THROW(bar.SetMax(-1), pq::EInvalidOperation);
    EXPECT_THROW(bar.SetMin(17), pq::EInvalidOperation);
}

// A bar stepped once per record tells the native bar a position only when it can show it and
// not more often than its pace: never ahead, exact at either end, and caught up by the
// messages once the steps stop.
TEST_F(FormsTest, AProgressBarSteppedFinelyIsPacedAndCatchesUp) {
    TTestForm* f = MakeForm(kDialog);
    auto& bar = f->Get<TProgressBar>("Bar");
    RECT r{};
    GetClientRect(bar.Handle(), &r);
    ASSERT_GT(r.right, 0);
    constexpr int kMax = 20000;
    bar.SetMax(kMax);
    bar.SetPosition(0);
    int changes = 0;
    int last = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= kMax; ++i) {
        bar.StepBy(1);
        const int shown = static_cast<int>(SendMessageW(bar.Handle(), PBM_GETPOS, 0, 0));
        ASSERT_LE(shown, bar.Position());
        if (shown != last) ++changes, last = shown;
    }
    const double elapsedMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // No messages are processed in the loop, so every change is a paced one (at most one per
    // interval) or the end.
    EXPECT_LE(changes, elapsedMs / ProgressPacing::kIntervalMs + 2) << elapsedMs << " ms";
    EXPECT_EQ(SendMessageW(bar.Handle(), PBM_GETPOS, 0, 0), kMax);  // the end at once

    // Stopped in the middle: once messages are processed the bar shows the position's pixel
    // (a position inside the pixel already shown is not sent).
    bar.SetPosition(0);
    EXPECT_EQ(SendMessageW(bar.Handle(), PBM_GETPOS, 0, 0), 0);
    for (int i = 1; i <= kMax / 2; ++i) bar.StepBy(1);
    const int perPixel = kMax / r.right + 1;
    EXPECT_TRUE(WaitFor([&] {
        const auto shown = SendMessageW(bar.Handle(), PBM_GETPOS, 0, 0);
        return shown <= kMax / 2 && kMax / 2 - shown < perPixel;
    }));
    bar.SetPosition(7);
    bar.SetMax(8);  // a new range shows the position at once
    EXPECT_EQ(SendMessageW(bar.Handle(), PBM_GETPOS, 0, 0), 7);
}

TEST_F(FormsTest, ButtonsSetTheModalResultBeforeTheirHandler) {
    TTestForm* f = MakeForm(kDialog);
    SendMessageW(f->Get<TButton>("BtnNao").Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(Logged("ButtonClick BtnNao modal result 2"));
    EXPECT_EQ(f->GetModalResult(), mrCancel);
}

TEST_F(FormsTest, AModalFormNestsItsLoopAndReturnsItsModalResult) {
    TTestForm* owner = MakeForm(R"(object Owner: TTestForm
  BorderStyle = bsSingle
  Caption = 'Dono'
end)");
    owner->Show();
    TTestForm* f = MakeForm(kDialog);
    bool ownerDisabled = false;
    int depth = 0;
    f->onClick = [&] {
        ownerDisabled = !IsWindowEnabled(owner->Handle());
        depth = f->IsModal() ? 1 : 0;
    };
    PostMessageW(f->Get<TButton>("BtnSim").Handle(), BM_CLICK, 0, 0);
    ModalResult r = f->ShowModal();
    EXPECT_EQ(r, mrOk);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ(depth, 1);
    EXPECT_TRUE(IsWindowEnabled(owner->Handle()));
    EXPECT_FALSE(IsWindowVisible(f->Handle()));
    EXPECT_FALSE(f->IsModal());
    EXPECT_EQ(Log(), (std::vector<std::string>{"FormCreate", "FormShow",
                                               "ButtonClick BtnSim modal result 1", "FormClose"}));
    EXPECT_THROW(
        {
            f->Show();
            f->ShowModal();
        },
        pq::EInvalidOperation);
}

TEST_F(FormsTest, CloseActionNoneKeepsTheModalLoopGoing) {
    TTestForm* f = MakeForm(kDialog);
    int closes = 0;
    f->closeAction = caNone;
    f->OnClose = [&](Object&, CloseAction& a) { a = ++closes == 1 ? caNone : caHide; };
    HWND sim = f->Get<TButton>("BtnSim").Handle();
    HWND nao = f->Get<TButton>("BtnNao").Handle();
    PostMessageW(sim, BM_CLICK, 0, 0);
    PostMessageW(nao, BM_CLICK, 0, 0);
    EXPECT_EQ(f->ShowModal(), mrCancel);
    EXPECT_EQ(closes, 2);
}

// The pattern of the licence window: the modal run inside the form's own creation.
class TSelfModal : public TTestForm {
  public:
    TSelfModal(Component* owner, std::string definition, ModalResult* result)
        : TTestForm(owner, std::move(definition)) {
        onCreate = [this, result] {
            PostMessageW(Get<TButton>("BtnNao").Handle(), BM_CLICK, 0, 0);
            *result = ShowModal();
        };
    }
};

TEST_F(FormsTest, AFormCanShowItselfModallyFromItsCreationHandler) {
    ModalResult result = mrNone;
    TSelfModal* f = CreateForm<TSelfModal>(app.get(), std::string(kDialog), &result);
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(Log(), (std::vector<std::string>{"FormCreate", "FormShow",
                                               "ButtonClick BtnNao modal result 2", "FormClose"}));
    EXPECT_FALSE(IsWindowVisible(f->Handle()));
}

TEST_F(FormsTest, CaFreeFreesTheFormLaterAndNeverDuringItsModalRun) {
    TTestForm* f = MakeForm(kDialog);
    f->closeAction = caFree;
    PostMessageW(f->Get<TButton>("BtnSim").Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(f->ShowModal(), mrOk);
    EXPECT_FALSE(Logged("FormDestroy"));  // still alive when ShowModal returns
    ASSERT_TRUE(WaitFor([] { return Logged("FormDestroy"); }));
    EXPECT_EQ(app->FindComponent("Dialog"), nullptr);
}

TEST_F(FormsTest, KeepAliveDefersTheRelease) {
    TTestForm* f = MakeForm(kDialog);
    f->Show();
    f->closeAction = caFree;
    {
        Form::KeepAlive guard(*f);
        f->Close();
        app->ProcessMessages();
        app->ProcessMessages();
        EXPECT_FALSE(Logged("FormDestroy"));
    }
    ASSERT_TRUE(WaitFor([] { return Logged("FormDestroy"); }));
}

TEST_F(FormsTest, CloseHidesOrDoesNothingOrEndsTheApplication) {
    TTestForm* main = app->CreateForm<TTestForm>(std::string(R"(object Main: TTestForm
  OnClose = FormClose
end)"));
    TTestForm* other = MakeForm(kDialog);
    EXPECT_EQ(app->MainForm(), main);
    other->Show();
    other->Close();  // caHide
    EXPECT_FALSE(IsWindowVisible(other->Handle()));
    EXPECT_FALSE(other->Visible());
    main->Show();
    main->closeAction = caNone;
    main->Close();
    EXPECT_FALSE(app->Terminated());
    EXPECT_TRUE(IsWindowVisible(main->Handle()));
    main->closeAction = caHide;
    SendMessageW(main->Handle(), WM_CLOSE, 0, 0);  // the close box
    EXPECT_TRUE(app->Terminated());
    app->Run();  // returns at once
}

TEST_F(FormsTest, EnterPressesTheDefaultButtonAndEscTheCancelButton) {
    TTestForm* f = MakeForm(kDialog);
    f->Show();
    auto& sim = f->Get<TButton>("BtnSim");
    auto& nao = f->Get<TButton>("BtnNao");
    auto& memo = f->Get<TMemo>("Memo");
    Log().clear();
    // With the focus on the memo, Enter and Esc belong to the memo.
    memo.SetFocus();
    PostMessageW(memo.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(memo.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    app->ProcessMessages();
    EXPECT_FALSE(Logged("ButtonClick BtnNao modal result 2"));
    EXPECT_FALSE(Logged("ButtonClick BtnSim modal result 1"));
    EXPECT_TRUE(IsWindowVisible(f->Handle()));  // nor did Esc close the form
    EXPECT_TRUE(Log().empty());
    // On a button: Esc presses the cancel button, Enter the focused one.
    nao.SetFocus();
    PostMessageW(nao.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    app->ProcessMessages();
    EXPECT_TRUE(Logged("ButtonClick BtnNao modal result 2"));
    Log().clear();
    sim.SetFocus();
    PostMessageW(sim.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    app->ProcessMessages();
    EXPECT_EQ(Log(), (std::vector<std::string>{"ButtonClick BtnNao modal result 2"}));
    Log().clear();
    PostMessageW(sim.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    app->ProcessMessages();
    EXPECT_EQ(Log(), (std::vector<std::string>{"ButtonClick BtnSim modal result 1"}));
}

TEST_F(FormsTest, MnemonicsPressTheirButton) {
    TTestForm* f = MakeForm(kDialog);
    f->Show();
    Log().clear();
    auto& sim = f->Get<TButton>("BtnSim");
    sim.SetFocus();
    PostMessageW(sim.Handle(), WM_SYSCHAR, 'n', 1 << 29);  // Alt+N
    app->ProcessMessages();
    EXPECT_EQ(Log(), (std::vector<std::string>{"ButtonClick BtnNao modal result 2"}));
    Log().clear();
    // Without Alt while a button has the focus (buttons take no characters).
    auto& nao = f->Get<TButton>("BtnNao");
    PostMessageW(nao.Handle(), WM_CHAR, 'S', 0);
    app->ProcessMessages();
    EXPECT_EQ(Log(), (std::vector<std::string>{"ButtonClick BtnSim modal result 1"}));
    Log().clear();
    // The memo takes characters: no mnemonic there.
    auto& memo = f->Get<TMemo>("Memo");
    memo.SetFocus();
    PostMessageW(memo.Handle(), WM_CHAR, 's', 0);
    app->ProcessMessages();
    EXPECT_TRUE(Log().empty());
}

TEST_F(FormsTest, TabMovesTheFocusInTabOrder) {
    TTestForm* f = MakeForm(kDialog);
    f->Show();
    auto& memo = f->Get<TMemo>("Memo");
    memo.SetFocus();
    auto tab = [&](bool back) {
        HWND focus = GetFocus();
        if (back) {
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_SHIFT] = 0x80;
            SetKeyboardState(keys);
        }
        PostMessageW(focus, WM_KEYDOWN, VK_TAB, 0);
        app->ProcessMessages();
        if (back) {
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_SHIFT] = 0;
            SetKeyboardState(keys);
        }
        return WinControl::FromHandle(GetFocus());
    };
    EXPECT_EQ(tab(false), &f->Get<TButton>("BtnNao"));  // tab order 1
    EXPECT_EQ(tab(false), &f->Get<TButton>("BtnSim"));  // 2; the bar is no tab stop
    EXPECT_EQ(tab(false), &memo);
    EXPECT_EQ(tab(true), &f->Get<TButton>("BtnSim"));
}

TEST_F(FormsTest, ADerivedFormAnswersRawMessagesAndTakesARegion) {
    TTestForm* f = MakeForm(R"(object Shaped: TTestForm
  BorderStyle = bsNone
  Left = 50
  Top = 60
  ClientWidth = 200
  ClientHeight = 100
end)");
    f->rawHandler = [](Message& m) {
        if (m.msg != WM_NCHITTEST) return false;
        m.result = HTCAPTION;
        return true;
    };
    f->Show();
    EXPECT_EQ(SendMessageW(f->Handle(), WM_NCHITTEST, 0, MAKELPARAM(60, 70)), HTCAPTION);
    EXPECT_EQ(f->Left(), 50);
    EXPECT_EQ(f->Top(), 60);
    EXPECT_EQ(f->Width(), 200);  // no border: window and client alike
    f->SetWindowRegion(ScopedRgn(CreateRectRgn(0, 0, 100, 100)));
    EXPECT_EQ(WindowFromPoint(POINT{50 + 50, 60 + 50}), f->Handle());
    EXPECT_NE(WindowFromPoint(POINT{50 + 150, 60 + 50}), f->Handle());
    f->SetWindowRegion(ScopedRgn());
    EXPECT_EQ(WindowFromPoint(POINT{50 + 150, 60 + 50}), f->Handle());
}

TEST_F(FormsTest, ADefinitionThatCannotBeLoadedIsAnErrorWithItsPosition) {
    try {
        MakeForm(
            "object Bad: TTestForm\n  Caption = 'x'\n  object B: TButton\n    Colour = clRed\n  "
            "end\nend");
        FAIL();
    } catch (const FormDefinitionError& e) {
        EXPECT_EQ(e.Line(), 4);
        EXPECT_EQ(e.Column(), 5);
        EXPECT_EQ(std::string(e.what()),
                  "TestForm.form, line 4, column 5: Unknown property Colour of TButton");
    }
    EXPECT_TRUE(app->Components().empty());  // the half-made form is gone
    EXPECT_THROW(MakeForm("object Bad: TOther\nend"), FormDefinitionError);
    EXPECT_THROW(MakeForm("object Bad: TTestForm\n  OnCreate = Missing\nend"), FormDefinitionError);
    EXPECT_THROW(MakeForm("object Bad: TTestForm\n  PixelsPerInch = 120\nend"),
                 FormDefinitionError);
    EXPECT_THROW(MakeForm("object Bad: TTestForm\n  Font.Style = [fsBold]\nend"),
                 FormDefinitionError);
    EXPECT_THROW(MakeForm("object Bad: TTestForm\n  object P: TProgressBar\n    Min = 5\n    Max = "
                          "1\n  end\nend"),
                 FormDefinitionError);
}

// The form loaded from the program's resources.
class TResourceForm : public Form {
  public:
    using Form::Form;
    const char* ClassName() const override { return "TResourceForm"; }
};

TEST_F(FormsTest, AFormFromResourcesFindsItsPictureAndIconByFileName) {
    ASSERT_TRUE(FindResourceFile("resourceform.form").has_value());
    EXPECT_FALSE(FindResourceFile("nothing.form").has_value());
    EXPECT_THROW(LoadResourceFile("nothing.form"), pq::EFormError);
    auto* f = CreateForm<TResourceForm>(app.get());
    EXPECT_EQ(f->DefinitionName(), "ResourceForm.form");
    EXPECT_EQ(f->Caption(), "Formulário de recurso");
    auto& pic = f->Get<TImage>("Picture");
    EXPECT_EQ(pic.Picture().Width(), 20);
    EXPECT_EQ(pic.Picture().BitsPerPixel(), 8);
    EXPECT_TRUE(pic.Opaque());
    EXPECT_FALSE(f->Get<TImage>("IconImage").Opaque());
    EXPECT_NE(SendMessageW(f->Handle(), WM_GETICON, ICON_BIG, 0), 0);
    f->Show();
    ScopedGetDc dc(f->Handle());
    // The picture is drawn unscaled from the control's top-left corner.
    ASSERT_TRUE(WaitFor([&] { return GetPixel(dc.get(), 4, 4) == RGB(255, 0, 0); }));
    EXPECT_EQ(GetPixel(dc.get(), 4 + 9, 4 + 9), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc.get(), 4 + 10, 4), RGB(192, 192, 192));
    EXPECT_EQ(GetPixel(dc.get(), 40 + 5, 4 + 5), RGB(0, 0, 255));  // the icon's blue
}

TEST_F(FormsTest, TheManifestLoadsCommonControlsSix) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH);
    std::wstring p(path);
    for (auto& ch : p) ch = static_cast<wchar_t>(towlower(ch));
    EXPECT_NE(p.find(L"6.0"), std::wstring::npos)
        << pq::text::Utf16ToUtf8(std::u16string(reinterpret_cast<char16_t*>(path)));
}

}  // namespace
}  // namespace ui::test
