// Write locking between two Windows processes under Wine: lock_probe.exe holds a table or
// tries to take it while this process holds it; the lock ends with its holder, also when the
// holder is terminated.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/table.h"
#include "tests/paradox/table_test_support.h"

namespace pq::paradox {
namespace {

using testing::F;
using testing::MakeSchema;

std::wstring Wide(const std::string& s) {
    const std::u16string w = text::Utf8ToUtf16(s);
    return std::wstring(w.begin(), w.end());
}

std::string Folder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    const std::wstring w = base;
    std::string dir = text::Utf16ToUtf8(std::u16string(w.begin(), w.end())) + "pq-lock-" +
                      std::to_string(GetCurrentProcessId());
    CreateDirectoryW(Wide(dir).c_str(), nullptr);
    return dir;
}

// lock_probe.exe beside this test, with its output read through a pipe.
class Probe {
  public:
    Probe(const char* verb, const std::string& table) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE write = nullptr;
        if (!CreatePipe(&read_, &write, &sa, 0)) throw std::runtime_error("pipe");
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring exe = self;
        exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"lock_probe.exe";
        std::wstring command = L"\"" + exe + L"\" " + Wide(verb) + L" \"" + Wide(table) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = write;
        si.hStdError = write;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                            nullptr, &si, &info_))
            throw std::runtime_error("cannot start lock_probe.exe");
        CloseHandle(write);
        CloseHandle(info_.hThread);
    }
    ~Probe() {
        Terminate();
        CloseHandle(info_.hProcess);
        CloseHandle(read_);
    }
    // The probe's first line (blocks until it is written or the probe ends).
    std::string Line() {
        std::string line;
        char c;
        DWORD got = 0;
        while (ReadFile(read_, &c, 1, &got, nullptr) && got == 1 && c != '\n')
            if (c != '\r') line += c;
        return line;
    }
    DWORD Exit() {
        WaitForSingleObject(info_.hProcess, 30000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    void Terminate() {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 137);
            WaitForSingleObject(info_.hProcess, 30000);
        }
    }

  private:
    HANDLE read_ = nullptr;
    PROCESS_INFORMATION info_{};
};

Schema Keyed() {
    return MakeSchema({F("Numero", FieldType::kLong), F("Texto", FieldType::kAlpha, 20)}, 1);
}

TEST(LockingBetweenProcesses, AWriterHereRefusesTheOtherProcess) {
    const std::string path = Folder() + "\\Química.db";
    DeleteFileW(Wide(path).c_str());
    auto t = Table::Create(OsFileSystem(), path, Keyed());
    {
        Probe probe("try", path);
        EXPECT_EQ(probe.Line(), path + ": table is in use by another program");
        EXPECT_EQ(probe.Exit(), 3u);
    }
    t.reset();
    Probe probe("try", path);
    EXPECT_EQ(probe.Line(), "opened");
    EXPECT_EQ(probe.Exit(), 0u);
}

TEST(LockingBetweenProcesses, TheOtherProcessHoldsItUntilTerminated) {
    const std::string path = Folder() + "\\História.db";
    DeleteFileW(Wide(path).c_str());
    Table::Create(OsFileSystem(), path, Keyed()).reset();
    Probe holder("hold", path);
    ASSERT_EQ(holder.Line(), "held");
    try {
        Table::Open(OsFileSystem(), path);
        ADD_FAILURE() << "opened while held";
    } catch (const LockedError& e) {
        EXPECT_EQ(std::string(e.what()), path + ": table is in use by another program");
    }
    OpenOptions read;
    read.readOnly = true;
    EXPECT_NO_THROW(Table::Open(OsFileSystem(), path, read));
    holder.Terminate();
    auto t = Table::Open(OsFileSystem(), path);
    testing::InsertRow(*t, {Value::Integer(1), Value::Text("depois")});
    EXPECT_EQ(t->RecordCount(), 1u);
}

}  // namespace
}  // namespace pq::paradox
