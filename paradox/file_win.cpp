// The host system's files on Windows: wide-character calls, so accented names work whatever
// the ANSI code page.
#include <windows.h>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/file.h"

namespace pq::paradox {
namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string w = text::Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

std::string SysError(const std::string& path, const char* what) {
    return path + ": " + what + " failed (system error " + std::to_string(GetLastError()) + ")";
}

class WinFile : public File {
  public:
    WinFile(std::string path, HANDLE h, bool writable)
        : File(std::move(path)), h_(h), writable_(writable) {}
    ~WinFile() override { CloseHandle(h_); }

    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        auto* p = static_cast<char*>(buffer);
        Seek(offset);
        while (n > 0) {
            DWORD got = 0;
            const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
            if (!ReadFile(h_, p, want, &got, nullptr)) {
                if (GetLastError() != ERROR_HANDLE_EOF) throw IoError(SysError(Path(), "read"));
                got = 0;
            }
            if (got == 0)
                throw IoError(Path() + ": read of " + std::to_string(n) + " bytes at " +
                              std::to_string(offset) + " beyond the end of the file");
            p += got, n -= got, offset += got;
        }
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        auto* p = static_cast<const char*>(data);
        const uint64_t end = offset + n;
        Seek(offset);
        while (n > 0) {
            DWORD put = 0;
            const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
            if (!WriteFile(h_, p, want, &put, nullptr) || put == 0) {
                size_ = kUnknown;
                throw IoError(SysError(Path(), "write"));
            }
            p += put, n -= put, offset += put;
        }
        if (size_ != kUnknown && end > size_) size_ = end;
    }
    uint64_t Size() override {
        if (size_ != kUnknown) return size_;
        LARGE_INTEGER size;
        if (!GetFileSizeEx(h_, &size)) throw IoError(SysError(Path(), "size query"));
        // A file open for writing is the engine's alone (the table's write lock), so its size
        // changes only through this object: asked once (a server round trip under Wine), then
        // kept.
        if (writable_) size_ = static_cast<uint64_t>(size.QuadPart);
        return static_cast<uint64_t>(size.QuadPart);
    }
    void Truncate(uint64_t size) override {
        size_ = kUnknown;
        FILE_END_OF_FILE_INFO info;
        info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
        if (!SetFileInformationByHandle(h_, FileEndOfFileInfo, &info, sizeof info))
            throw IoError(SysError(Path(), "truncate"));
    }
    void Sync() override {
        if (!FlushFileBuffers(h_)) throw IoError(SysError(Path(), "sync"));
    }
    bool TryLockForWriting() override {
        // One byte at 4 GiB, past the end of any Paradox file (at most 65535 blocks of
        // 32 KiB): the lock is mandatory for its range only, so readers of the table's
        // bytes are never stopped. It belongs to this handle and ends when it is closed,
        // also when the process is terminated.
        OVERLAPPED ov{};
        ov.Offset = 0;
        ov.OffsetHigh = 1;
        if (LockFileEx(h_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov))
            return true;
        const DWORD e = GetLastError();
        if (e == ERROR_LOCK_VIOLATION || e == ERROR_SHARING_VIOLATION || e == ERROR_IO_PENDING)
            return false;
        throw IoError(SysError(Path(), "lock"));
    }

  private:
    // Places the handle for the next ReadFile or WriteFile. Calls positioned by an OVERLAPPED
    // cost Wine a round trip to its server each (about ten times a seek and a plain call);
    // the handle serves one table on one thread, so its file pointer is free to use.
    void Seek(uint64_t offset) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(h_, at, nullptr, FILE_BEGIN)) throw IoError(SysError(Path(), "seek"));
    }

    static constexpr uint64_t kUnknown = ~uint64_t{0};
    HANDLE h_;
    bool writable_;
    uint64_t size_ = kUnknown;
};

class WinFileSystem : public FileSystem {
  public:
    std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
        const bool reading = mode == OpenMode::kRead;
        const DWORD access = reading ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
        const DWORD disposition = mode == OpenMode::kCreate ? CREATE_ALWAYS : OPEN_EXISTING;
        // A file open for writing is shared for reading only: no other program (another table
        // engine that has no part in this one's locking) writes it meanwhile. A read leaves
        // others free to write, as the engine's own writer may.
        const DWORD share = reading ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
        HANDLE h = CreateFileW(Wide(path).c_str(), access, share, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_SHARING_VIOLATION)
                throw LockedError(path + ": table is in use by another program");
            throw IoError(SysError(path, "open"));
        }
        return std::make_unique<WinFile>(path, h, mode != OpenMode::kRead);
    }
    bool IsFile(const std::string& path) override {
        const DWORD attr = GetFileAttributesW(Wide(path).c_str());
        return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
    }
    void Remove(const std::string& path) override {
        if (!DeleteFileW(Wide(path).c_str())) {
            const DWORD e = GetLastError();
            if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND)
                throw IoError(SysError(path, "remove"));
        }
    }
    std::vector<std::string> List(const std::string& folder) override {
        std::vector<std::string> names;
        std::string pattern = folder.empty() ? std::string(".") : folder;
        if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
        pattern += '*';
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(Wide(pattern).c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            const std::wstring n = fd.cFileName;
            if (n == L"." || n == L"..") continue;
            names.push_back(text::Utf16ToUtf8(std::u16string(n.begin(), n.end())));
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        return names;
    }
};

}  // namespace

FileSystem& OsFileSystem() {
    static WinFileSystem fs;
    return fs;
}

}  // namespace pq::paradox
