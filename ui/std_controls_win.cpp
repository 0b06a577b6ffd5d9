#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "base/text.h"
#include "ui/form.h"
#include "ui/icon_file.h"
#include "ui/std_controls.h"

namespace ui {

// ---- TLabel ----

TLabel::TLabel(Component* owner) : GraphicControl(owner) {
    SetBounds(0, 0, 65, 17);
    SetOpaque(true);
}

void TLabel::SetAutoSize(bool on) {
    autoSize_ = on;
    AdjustBounds();
}

void TLabel::SetWordWrap(bool on) {
    if (on == wordWrap_) return;
    wordWrap_ = on;
    AdjustBounds();
    Invalidate();
}

void TLabel::SetTransparent(bool on) {
    transparent_ = on;
    SetOpaque(!on);
    Invalidate();
}

void TLabel::CaptionChanged() {
    AdjustBounds();
    Invalidate();
}

namespace {
UINT LabelFlags(bool wordWrap) {
    return DT_LEFT | DT_EXPANDTABS | (wordWrap ? DT_WORDBREAK : 0);
}
}  // namespace

void TLabel::AdjustBounds() {
    WinControl* p = Parent();
    if (!autoSize_ || !p || !p->Handle()) return;
    ScopedGetDc dc(p->Handle());
    ScopedSelect font(dc.get(), p->FontHandle());
    Canvas canvas(dc.get());
    SIZE s = canvas.MeasureText(Caption(), LabelFlags(wordWrap_), wordWrap_ ? Width() : 0);
    SetBounds(Left(), Top(), wordWrap_ ? Width() : static_cast<int>(s.cx), static_cast<int>(s.cy));
}

void TLabel::Paint(Canvas& canvas) {
    WinControl* p = Parent();
    Rect r = ClientRect();
    if (!transparent_) canvas.FillRect(r, p ? p->GetColor() : clBtnFace);
    Color text = Enabled() ? (p ? p->FontColor() : clWindowText) : clGrayText;
    canvas.DrawText(r, Caption(), LabelFlags(wordWrap_), text);
}

// ---- TImage ----

TImage::TImage(Component* owner) : GraphicControl(owner) {
    SetBounds(0, 0, 105, 105);
}

void TImage::SetPicture(const Bitmap& bitmap) {
    picture_ = bitmap;
    icon_.reset();
    iconWidth_ = iconHeight_ = 0;
    UpdateOpaque();
    Invalidate();
}

void TImage::LoadPicture(std::span<const uint8_t> bytes) {
    if (LooksLikeIconFile(bytes)) {
        std::vector<IconImage> images = ReadIconFile(bytes);
        const IconImage& img = BestIconImage(images, 32);
        ScopedIcon icon(CreateIconFromResourceEx(
            const_cast<PBYTE>(img.bytes.data()), static_cast<DWORD>(img.bytes.size()), TRUE,
            0x00030000, img.width, img.height, LR_DEFAULTCOLOR));
        if (!icon) throw EInvalidGraphic("Icon image is not valid");
        picture_ = Bitmap();
        icon_ = std::move(icon);
        iconWidth_ = img.width;
        iconHeight_ = img.height;
        UpdateOpaque();
        Invalidate();
        return;
    }
    SetPicture(Bitmap::FromBmp(bytes));
}

void TImage::UpdateOpaque() {
    // A bitmap that covers the whole control hides what lies beneath; an icon has
    // transparent parts.
    SetOpaque(!icon_ && !picture_.Empty() && picture_.Width() >= Width() &&
              picture_.Height() >= Height());
}

void TImage::BoundsChanged(const Rect& old) {
    UpdateOpaque();
    GraphicControl::BoundsChanged(old);
}

void TImage::Paint(Canvas& canvas) {
    if (icon_) {
        DrawIconEx(canvas.Handle(), 0, 0, icon_.get(), iconWidth_, iconHeight_, 0, nullptr,
                   DI_NORMAL);
        return;
    }
    canvas.Draw(0, 0, picture_);
}

// ---- TButton ----

TButton::TButton(Component* owner) : WinControl(owner) {
    SetBounds(0, 0, 75, 25);
    CreateWindowHandle(L"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, nullptr);
    SetTabStop(true);
}

TButton::~TButton() {
    if (Form* f = ParentForm()) f->ForgetControl(this);
}

void TButton::SetParent(WinControl* parent) {
    Form* before = ParentForm();
    if (before) before->ForgetControl(this);
    WinControl::SetParent(parent);
    if (Form* f = ParentForm()) {
        if (default_) f->SetDefaultButton(this, true);
        if (cancel_) f->SetCancelButton(this, true);
    }
}

void TButton::SetDefault(bool on) {
    default_ = on;
    if (Form* f = ParentForm()) f->SetDefaultButton(this, on);
}

void TButton::SetCancel(bool on) {
    cancel_ = on;
    if (Form* f = ParentForm()) f->SetCancelButton(this, on);
}

void TButton::ShowDefaultFrame(bool on) {
    if (!Handle()) return;
    SendMessageW(Handle(), BM_SETSTYLE, on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
    // The form's result is set before the handler runs, as the handler may depend on it.
    if (Form* f = ParentForm()) f->SetModalResult(modalResult_);
    WinControl::Click();
}

bool TButton::Notify(Message& m) {
    if (m.msg == WM_COMMAND && HIWORD(m.wParam) == BN_CLICKED) {
        Click();
        m.result = 0;
        return true;
    }
    return false;
}

// ---- TMemo ----

namespace {
DWORD MemoStyle(bool readOnly, bool wordWrap, ScrollStyle s) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_LEFT;
    if (readOnly) style |= ES_READONLY;
    if (!wordWrap) style |= ES_AUTOHSCROLL;
    if (s == ScrollStyle::ssVertical || s == ScrollStyle::ssBoth) style |= WS_VSCROLL;
    if (s == ScrollStyle::ssHorizontal || s == ScrollStyle::ssBoth) style |= WS_HSCROLL;
    return style;
}
}  // namespace

TMemo::TMemo(Component* owner) : WinControl(owner) {
    SetBounds(0, 0, 185, 89);
    SetColor(clWindow);
    CreateWindowHandle(L"EDIT", MemoStyle(readOnly_, wordWrap_, scrollBars_), WS_EX_CLIENTEDGE,
                       nullptr);
    SetTabStop(true);
    SendMessageW(Handle(), EM_LIMITTEXT, 0, 0);
}

void TMemo::Recreate() {
    // Scroll bars and wrapping are fixed when an EDIT window is made: make a new one.
    RecreateWindowHandle(L"EDIT", MemoStyle(readOnly_, wordWrap_, scrollBars_), WS_EX_CLIENTEDGE);
    SendMessageW(Handle(), EM_LIMITTEXT, 0, 0);
    SetLines(lines_);
}

std::string TMemo::Text() const {
    std::string s;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (i) s += "\r\n";
        s += lines_[i];
    }
    return s;
}

void TMemo::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    std::u16string w = pq::text::Utf8ToUtf16(Text());
    SetWindowTextW(Handle(), reinterpret_cast<LPCWSTR>(w.c_str()));
    SendMessageW(Handle(), EM_SETSEL, 0, 0);
    SendMessageW(Handle(), EM_SCROLLCARET, 0, 0);
}

void TMemo::SetReadOnly(bool on) {
    readOnly_ = on;
    SendMessageW(Handle(), EM_SETREADONLY, on ? TRUE : FALSE, 0);
}

void TMemo::SetScrollBars(ScrollStyle s) {
    if (s == scrollBars_) return;
    scrollBars_ = s;
    Recreate();
}

void TMemo::SetWordWrap(bool on) {
    if (on == wordWrap_) return;
    wordWrap_ = on;
    Recreate();
}

int TMemo::FirstVisibleLine() const {
    return static_cast<int>(SendMessageW(Handle(), EM_GETFIRSTVISIBLELINE, 0, 0));
}

bool TMemo::Notify(Message& m) {
    if (m.msg != WM_CTLCOLOREDIT && m.msg != WM_CTLCOLORSTATIC) return false;
    if (brushColor_ != GetColor() || !brush_) {
        brush_.reset(CreateSolidBrush(ColorToRgb(GetColor())));
        brushColor_ = GetColor();
    }
    HDC dc = reinterpret_cast<HDC>(m.wParam);
    SetBkColor(dc, ColorToRgb(GetColor()));
    SetTextColor(dc, ColorToRgb(FontColor()));
    m.result = reinterpret_cast<LRESULT>(brush_.get());
    return true;
}

// ---- TProgressBar ----

TProgressBar::TProgressBar(Component* owner) : WinControl(owner) {
    SetBounds(0, 0, 150, 16);
    CreateWindowHandle(PROGRESS_CLASSW, WS_CHILD | WS_VISIBLE, 0, nullptr);
    Apply();
}

void TProgressBar::SetMin(int v) {
    if (v > max_) throw pq::EInvalidOperation("TProgressBar property out of range");
    min_ = v;
    Apply();
}

void TProgressBar::SetMax(int v) {
    if (v < min_) throw pq::EInvalidOperation("TProgressBar property out of range");
    max_ = v;
    Apply();
}

namespace {

// The id of the timer that shows a held-back position; the native bar's own timers (its
// marquee) have small ids.
constexpr UINT_PTR kCatchUpTimer = 0x5051;

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int TProgressBar::Filled() const {
    RECT r{};
    GetClientRect(Handle(), &r);
    return FilledPixels(position_, min_, max_, r.right - r.left);
}

void TProgressBar::SetPosition(int v) {
    position_ = std::clamp(v, min_, max_);
    if (!Handle()) return;
    const double now = NowMs();
    switch (pacing_.Update(Filled(), position_ == min_ || position_ == max_, now)) {
        case ProgressPacing::Action::kNothing:
            return;
        case ProgressPacing::Action::kShow:
            SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
            return;
        case ProgressPacing::Action::kLater:
            if (!catchUpTimer_) {
                const auto delay = static_cast<UINT>(std::ceil(pacing_.DelayMs(now)));
                catchUpTimer_ =
                    SetTimer(Handle(), kCatchUpTimer, delay > 0 ? delay : 1, nullptr) != 0;
                // Without a timer the position waits for the next step.
            }
            return;
    }
}

void TProgressBar::WndProc(Message& m) {
    if (m.msg == WM_TIMER && m.wParam == kCatchUpTimer) {
        KillTimer(Handle(), kCatchUpTimer);
        catchUpTimer_ = false;
        if (pacing_.CatchUp(Filled(), NowMs()))
            SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
        m.result = 0;
        return;
    }
    WinControl::WndProc(m);
}

void TProgressBar::Apply() {
    position_ = std::clamp(position_, min_, max_);
    if (!Handle()) return;
    SendMessageW(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
    SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
    pacing_.Shown(Filled(), NowMs());
}

}  // namespace ui
