// The host's registry entries, made and removed by tests under HKEY_LOCAL_MACHINE of the test
// prefix: the uninstall entry that the start-up checks read and the registration key that
// reports carry. Tests that use them hold the CTest resource lock "farol_registry", since every
// test process sees the same keys. Each object removes its key when made and when it ends.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/app/win_test_support.h"

namespace pq::testing {

// The registry's two views as a 64-bit program sees them: the 32-bit view is where 32-bit
// programs (the host's setup program, the host itself) write.
enum class RegistryView : REGSAM { k32 = KEY_WOW64_32KEY, k64 = KEY_WOW64_64KEY };

class MachineKeyFixture {
  public:
    // `parentsToPrune`: keys above `path` that the test may have made, innermost first. The
    // key is written in `view` and removed from both views.
    explicit MachineKeyFixture(std::wstring path, std::vector<const wchar_t*> parentsToPrune = {},
                               RegistryView view = RegistryView::k64)
        : path_(std::move(path)), parents_(std::move(parentsToPrune)), view_(view) {
        Remove();
    }
    ~MachineKeyFixture() { Remove(); }
    MachineKeyFixture(const MachineKeyFixture&) = delete;
    MachineKeyFixture& operator=(const MachineKeyFixture&) = delete;

    void SetText(const wchar_t* value, const std::string& utf8) {
        const std::wstring w = Wide(utf8);
        Set(value, REG_SZ, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
    }
    void SetNumber(const wchar_t* value, DWORD n) { Set(value, REG_DWORD, &n, sizeof n); }
    void CreateEmpty() { Set(nullptr, REG_NONE, nullptr, 0); }
    // The key as the program's constants write it: from the root, with a leading backslash.
    std::string Rooted() const { return "\\" + Narrow(path_); }
    void Remove() {
        for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_ALL_ACCESS | view, &key) ==
                ERROR_SUCCESS) {
                RegDeleteTreeW(key, nullptr);
                RegCloseKey(key);
            }
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), view, 0);
            // Empty parents made by Set go too (RegDeleteKeyEx keeps a key that has subkeys).
            for (const wchar_t* parent : parents_)
                RegDeleteKeyExW(HKEY_LOCAL_MACHINE, parent, view, 0);
        }
    }

    void Set(const wchar_t* value, DWORD type, const void* data, size_t size) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0,
                            KEY_WRITE | static_cast<REGSAM>(view_), nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            throw std::runtime_error("cannot create the test's registry key");
        if (value)
            RegSetValueExW(key, value, 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(size));
        RegCloseKey(key);
    }

  private:
    std::wstring path_;
    std::vector<const wchar_t*> parents_;
    RegistryView view_;
};

// "UninstallString" of the host's uninstall entry, written where the host's 32-bit setup
// program writes it unless told otherwise.
class UninstallEntry : public MachineKeyFixture {
  public:
    explicit UninstallEntry(RegistryView view = RegistryView::k32)
        : MachineKeyFixture(
              L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Farol Exames", {}, view) {}
    void SetCommand(const std::string& command) { SetText(L"UninstallString", command); }
    // The command line an installer leaves for a host installed in `folder` (no final '\').
    void PointAt(const std::string& folder) {
        SetCommand("\"" + folder + "\\unins000.exe\" -c\"" + folder + "\\Uninst.log\"");
    }
};

// "Name" of the host's registration key, written where the 32-bit host writes it unless told
// otherwise.
class RegistrationEntry : public MachineKeyFixture {
  public:
    explicit RegistrationEntry(RegistryView view = RegistryView::k32)
        : MachineKeyFixture(L"Software\\Tessera\\Farol Exames\\1.0",
                            {L"Software\\Tessera\\Farol Exames", L"Software\\Tessera"}, view) {}
};

// A host installation in `parent`: a folder "Farol Exames" holding FarolExames.exe (a few
// bytes: only its presence counts). Returns the folder, without a final separator.
inline std::string MakeHostFolder(const std::string& parent, bool withExecutable = true) {
    const std::string folder = parent + "\\Farol Exames";
    CreateDirectoryW(Wide(folder).c_str(), nullptr);
    if (withExecutable) {
        HANDLE f = CreateFileW(Wide(folder + "\\FarolExames.exe").c_str(), GENERIC_WRITE, 0,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot make FarolExames.exe");
        DWORD written;
        WriteFile(f, "MZ", 2, &written, nullptr);
        CloseHandle(f);
    }
    return folder;
}

}  // namespace pq::testing
