// The host system's files on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "paradox/error.h"
#include "paradox/file.h"

namespace pq::paradox {
namespace {

std::string SysError(const std::string& path, const char* what) {
    return path + ": " + what + " failed (" + std::strerror(errno) + ")";
}

class PosixFile : public File {
  public:
    PosixFile(std::string path, int fd, bool writable)
        : File(std::move(path)), fd_(fd), writable_(writable) {}
    ~PosixFile() override { ::close(fd_); }

    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        auto* p = static_cast<char*>(buffer);
        while (n > 0) {
            const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
            if (got < 0) {
                if (errno == EINTR) continue;
                throw IoError(SysError(Path(), "read"));
            }
            if (got == 0)
                throw IoError(Path() + ": read of " + std::to_string(n) + " bytes at " +
                              std::to_string(offset) + " beyond the end of the file");
            p += got, n -= static_cast<size_t>(got), offset += static_cast<uint64_t>(got);
        }
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        auto* p = static_cast<const char*>(data);
        const uint64_t end = offset + n;
        while (n > 0) {
            const ssize_t put = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
            if (put < 0) {
                if (errno == EINTR) continue;
                size_ = kUnknown;
                throw IoError(SysError(Path(), "write"));
            }
            p += put, n -= static_cast<size_t>(put), offset += static_cast<uint64_t>(put);
        }
        if (size_ != kUnknown && end > size_) size_ = end;
    }
    uint64_t Size() override {
        if (size_ != kUnknown) return size_;
        struct stat st;
        if (::fstat(fd_, &st) != 0) throw IoError(SysError(Path(), "size query"));
        // A file open for writing is the engine's alone (the table's write lock), so its size
        // changes only through this object: asked once, then kept.
        if (writable_) size_ = static_cast<uint64_t>(st.st_size);
        return static_cast<uint64_t>(st.st_size);
    }
    void Truncate(uint64_t size) override {
        size_ = kUnknown;
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
            throw IoError(SysError(Path(), "truncate"));
    }
    void Sync() override {
        if (::fdatasync(fd_) != 0) throw IoError(SysError(Path(), "sync"));
    }
    bool TryLockForWriting() override {
        // flock belongs to this open file (not to the process, as fcntl locks do), so two
        // opens in one process exclude each other too, and the system drops it when the
        // process dies, however it dies.
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno == EWOULDBLOCK) return false;
            throw IoError(SysError(Path(), "lock"));
        }
        return true;
    }

  private:
    static constexpr uint64_t kUnknown = ~uint64_t{0};
    int fd_;
    bool writable_;
    uint64_t size_ = kUnknown;
};

class PosixFileSystem : public FileSystem {
  public:
    std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
        int flags = O_CLOEXEC;
        switch (mode) {
            case OpenMode::kRead:
                flags |= O_RDONLY;
                break;
            case OpenMode::kReadWrite:
                flags |= O_RDWR;
                break;
            case OpenMode::kCreate:
                flags |= O_RDWR | O_CREAT | O_TRUNC;
                break;
        }
        const int fd = ::open(path.c_str(), flags, 0644);
        if (fd < 0) throw IoError(SysError(path, "open"));
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw IoError(path + ": not a regular file");
        }
        return std::make_unique<PosixFile>(path, fd, mode != OpenMode::kRead);
    }
    bool IsFile(const std::string& path) override {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    void Remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw IoError(SysError(path, "remove"));
    }
    std::vector<std::string> List(const std::string& folder) override {
        std::vector<std::string> names;
        DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
        if (!dir) return names;
        while (dirent* e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        }
        ::closedir(dir);
        return names;
    }
};

}  // namespace

FileSystem& OsFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace pq::paradox
