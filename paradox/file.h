// The engine's only view of the operating system: files read and written at offsets.
// Implementations: the host system's files (POSIX or Win32) and an in-memory file system for
// tests, which can also fail the Nth write on purpose. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pq::paradox {

class File {
  public:
    virtual ~File() = default;
    // Reads exactly n bytes at offset; IoError if the file is shorter or the read fails.
    virtual void ReadAt(uint64_t offset, void* buffer, size_t n) = 0;
    // Writes n bytes at offset, growing the file when needed; IoError on failure.
    virtual void WriteAt(uint64_t offset, const void* data, size_t n) = 0;
    // WriteAt over bytes that the file's format counts as free space (a blob written where no
    // live structure lies): what was there need not be kept to undo the write.
    virtual void WriteOverFree(uint64_t offset, const void* data, size_t n) {
        WriteAt(offset, data, n);
    }
    virtual uint64_t Size() = 0;
    virtual void Truncate(uint64_t size) = 0;
    // Asks the system to put what was written on the disk.
    virtual void Sync() = 0;
    // Takes this open file's write lock: true when no other open file (of this process or
    // another) holds it, and then held until this File is closed. Advisory between the
    // engine's own opens; it does not stop plain reads or writes of other programs.
    virtual bool TryLockForWriting() = 0;
    const std::string& Path() const { return path_; }

  protected:
    explicit File(std::string path) : path_(std::move(path)) {}

  private:
    std::string path_;
};

enum class OpenMode {
    kRead,       // existing file, read only
    kReadWrite,  // existing file, read and write
    kCreate,     // new or truncated file, read and write
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // IoError when the file cannot be opened in that mode.
    virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode) = 0;
    // True for an existing regular file (not a folder).
    virtual bool IsFile(const std::string& path) = 0;
    // Removing a missing file is no error.
    virtual void Remove(const std::string& path) = 0;
    // The names (not paths) of the entries of a folder; empty when it cannot be read.
    virtual std::vector<std::string> List(const std::string& folder) = 0;
};

// The host system's files.
FileSystem& OsFileSystem();

// Files held in memory. After SetWriteBudget(n), the first n writes succeed and every later
// write throws IoError without changing anything (n < 0: no limit, the default).
class MemoryFileSystem : public FileSystem {
  public:
    MemoryFileSystem();
    ~MemoryFileSystem() override;
    std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;
    bool IsFile(const std::string& path) override;
    void Remove(const std::string& path) override;
    std::vector<std::string> List(const std::string& folder) override;

    void SetWriteBudget(long long writes);
    // After FailOneWrite(n), the next n writes succeed, the one after fails with IoError
    // without changing anything, and the later ones succeed again.
    void FailOneWrite(long long after);
    long long WritesDone() const;
    // Direct access to a file's bytes (created empty when missing).
    std::vector<uint8_t>& Bytes(const std::string& path);

    struct State;  // shared by the file system and its open files

  private:
    std::shared_ptr<State> state_;
};

}  // namespace pq::paradox
