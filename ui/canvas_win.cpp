#include <windows.h>

#include <cstring>
#include <vector>

#include "base/text.h"
#include "ui/canvas.h"

namespace ui {

COLORREF ColorToRgb(Color color) {
    if (IsSystemColor(color)) return GetSysColor(SystemColorIndex(color));
    return static_cast<COLORREF>(color) & 0xFFFFFF;
}

namespace {

// A BITMAPINFO with room for a 256-entry colour table, describing `b` as a top-down DIB.
struct DibInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

void Describe(const Bitmap& b, DibInfo& info) {
    std::memset(&info, 0, sizeof info);
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = b.Width();
    info.header.biHeight = -b.Height();  // top-down: the rows are kept top first
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(b.BitsPerPixel());
    info.header.biCompression = BI_RGB;
    size_t n = b.Palette().size() > 256 ? 256 : b.Palette().size();
    info.header.biClrUsed = static_cast<DWORD>(n);
    for (size_t i = 0; i < n; ++i) {
        info.colors[i].rgbRed = b.Palette()[i].red;
        info.colors[i].rgbGreen = b.Palette()[i].green;
        info.colors[i].rgbBlue = b.Palette()[i].blue;
    }
}

}  // namespace

void Canvas::FillRect(const Rect& r, Color color) {
    ScopedBrush brush(CreateSolidBrush(ColorToRgb(color)));
    RECT rc{r.left, r.top, r.right, r.bottom};
    ::FillRect(dc_, &rc, brush.get());
}

void Canvas::Draw(int x, int y, const Bitmap& bitmap) {
    if (bitmap.Empty()) return;
    DibInfo info;
    Describe(bitmap, info);
    SetDIBitsToDevice(dc_, x, y, static_cast<DWORD>(bitmap.Width()),
                      static_cast<DWORD>(bitmap.Height()), 0, 0, 0,
                      static_cast<UINT>(bitmap.Height()), bitmap.Bits().data(),
                      reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS);
}

void Canvas::StretchDraw(const Rect& dest, const Bitmap& bitmap, const Rect& src) {
    if (bitmap.Empty() || dest.Empty() || src.Empty()) return;
    DibInfo info;
    Describe(bitmap, info);
    int oldMode = SetStretchBltMode(dc_, COLORONCOLOR);
    // With a top-down DIB, StretchDIBits counts source rows from the top.
    StretchDIBits(dc_, dest.left, dest.top, dest.Width(), dest.Height(), src.left, src.top,
                  src.Width(), src.Height(), bitmap.Bits().data(),
                  reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
    SetStretchBltMode(dc_, oldMode);
}

void Canvas::DrawText(const Rect& r, std::string_view utf8, UINT flags, Color color) {
    std::u16string w = pq::text::Utf8ToUtf16(utf8);
    RECT rc{r.left, r.top, r.right, r.bottom};
    int oldMode = SetBkMode(dc_, TRANSPARENT);
    COLORREF oldColor = SetTextColor(dc_, ColorToRgb(color));
    ::DrawTextW(dc_, reinterpret_cast<LPCWSTR>(w.c_str()), static_cast<int>(w.size()), &rc, flags);
    SetTextColor(dc_, oldColor);
    SetBkMode(dc_, oldMode);
}

SIZE Canvas::MeasureText(std::string_view utf8, UINT flags, int width) {
    std::u16string w = pq::text::Utf8ToUtf16(utf8);
    RECT rc{0, 0, width, 0};
    // An empty caption still has the height of a line.
    const char16_t* text = w.empty() ? u" " : w.c_str();
    int length = w.empty() ? 1 : static_cast<int>(w.size());
    ::DrawTextW(dc_, reinterpret_cast<LPCWSTR>(text), length, &rc, flags | DT_CALCRECT);
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

ScopedBitmap CreateDibSection(const Bitmap& bitmap) {
    DibInfo info;
    Describe(bitmap, info);
    void* bits = nullptr;
    ScopedBitmap h(::CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info),
                                      DIB_RGB_COLORS, &bits, nullptr, 0));
    if (h && bits && !bitmap.Bits().empty())
        std::memcpy(bits, bitmap.Bits().data(), bitmap.Bits().size());
    GdiFlush();
    return h;
}

namespace {

Bitmap ReadBits(HDC dc, HBITMAP handle, int width, int height) {
    Bitmap out(width, height, 32);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint8_t> bits(static_cast<size_t>(width) * height * 4);
    GetDIBits(dc, handle, 0, static_cast<UINT>(height), bits.data(), &info, DIB_RGB_COLORS);
    for (int y = 0; y < height; ++y) {
        std::memcpy(out.Row(y), bits.data() + static_cast<size_t>(y) * width * 4,
                    static_cast<size_t>(width) * 4);
        for (int x = 0; x < width; ++x) out.Row(y)[x * 4 + 3] = 0;
    }
    return out;
}

}  // namespace

Bitmap BitmapFromHandle(HBITMAP handle) {
    BITMAP bm{};
    if (!GetObjectW(handle, sizeof bm, &bm)) return Bitmap();
    ScopedGetDc screen(nullptr);
    return ReadBits(screen.get(), handle, bm.bmWidth, bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight);
}

Bitmap CaptureDc(HDC dc, const Rect& r) {
    if (r.Empty()) return Bitmap();
    ScopedMemoryDc mem(CreateCompatibleDC(dc));
    ScopedBitmap bmp(CreateCompatibleBitmap(dc, r.Width(), r.Height()));
    {
        ScopedSelect sel(mem.get(), bmp.get());
        BitBlt(mem.get(), 0, 0, r.Width(), r.Height(), dc, r.left, r.top, SRCCOPY);
    }
    return ToRgb24(ReadBits(mem.get(), bmp.get(), r.Width(), r.Height()));
}

}  // namespace ui
