// Owners of Win32 handles (files, kernel objects, GDI objects, DCs, modules, icons, registry
// keys): each wrapper closes its handle when it goes out of scope, moves but
// does not copy, and gives the handle up with release() when something else takes it over (a
// region handed to SetWindowRgn belongs to the system from then on). Windows only.
#pragma once

#include <windows.h>

#include <utility>

namespace ui {

template <class H, class Traits>
class ScopedHandle {
  public:
    ScopedHandle() = default;
    explicit ScopedHandle(H h) : h_(h) {}
    ScopedHandle(ScopedHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
    ScopedHandle& operator=(ScopedHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Traits::Invalid()));
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { reset(); }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Invalid(); }
    H release() { return std::exchange(h_, Traits::Invalid()); }
    void reset(H h = Traits::Invalid()) {
        if (h_ != Traits::Invalid()) Traits::Close(h_);
        h_ = h;
    }

  private:
    H h_ = Traits::Invalid();
};

struct HandleTraits {  // CreateFile and friends: INVALID_HANDLE_VALUE means none
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct KernelHandleTraits {  // events, threads, processes: null means none
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
template <class H>
struct GdiTraits {
    static H Invalid() { return nullptr; }
    static void Close(H h) { DeleteObject(h); }
};
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};
struct IconTraits {
    static HICON Invalid() { return nullptr; }
    static void Close(HICON h) { DestroyIcon(h); }
};
struct KeyTraits {  // RegOpenKeyEx
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct MemoryDcTraits {  // CreateCompatibleDC
    static HDC Invalid() { return nullptr; }
    static void Close(HDC h) { DeleteDC(h); }
};

using ScopedFileHandle = ScopedHandle<HANDLE, HandleTraits>;
using ScopedKernelHandle = ScopedHandle<HANDLE, KernelHandleTraits>;
using ScopedBitmap = ScopedHandle<HBITMAP, GdiTraits<HBITMAP>>;
using ScopedRgn = ScopedHandle<HRGN, GdiTraits<HRGN>>;
using ScopedFont = ScopedHandle<HFONT, GdiTraits<HFONT>>;
using ScopedBrush = ScopedHandle<HBRUSH, GdiTraits<HBRUSH>>;
using ScopedModule = ScopedHandle<HMODULE, ModuleTraits>;
using ScopedIcon = ScopedHandle<HICON, IconTraits>;
using ScopedMemoryDc = ScopedHandle<HDC, MemoryDcTraits>;
using ScopedKey = ScopedHandle<HKEY, KeyTraits>;

// A window's DC from GetDC, released with ReleaseDC.
class ScopedGetDc {
  public:
    explicit ScopedGetDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~ScopedGetDc() {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    ScopedGetDc(const ScopedGetDc&) = delete;
    ScopedGetDc& operator=(const ScopedGetDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND hwnd_;
    HDC dc_;
};

// Selects a GDI object into a DC and puts the previous one back.
class ScopedSelect {
  public:
    ScopedSelect(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? SelectObject(dc, obj) : nullptr) {}
    ~ScopedSelect() {
        if (old_) SelectObject(dc_, old_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// Saves a DC's state (clip, origin, selected objects) and restores it.
class ScopedSaveDc {
  public:
    explicit ScopedSaveDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~ScopedSaveDc() { RestoreDC(dc_, saved_); }
    ScopedSaveDc(const ScopedSaveDc&) = delete;
    ScopedSaveDc& operator=(const ScopedSaveDc&) = delete;

  private:
    HDC dc_;
    int saved_;
};

}  // namespace ui
