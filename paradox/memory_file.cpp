#include <algorithm>
#include <cstring>
#include <map>

#include "paradox/error.h"
#include "paradox/file.h"

namespace pq::paradox {

struct MemoryFileSystem::State {
    std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> files;
    long long budget = -1;
    long long writes = 0;
    long long failOnce = -1;  // the write number that fails alone, after FailOneWrite
    std::map<std::string, const void*> locks;  // path -> the open file holding its lock

    void SpendWrite(const std::string& path) {
        if (budget >= 0 && writes >= budget) throw IoError(path + ": write failed (injected)");
        if (writes == failOnce) {
            failOnce = -1;
            throw IoError(path + ": write failed (injected)");
        }
        ++writes;
    }
};

namespace {

class MemoryFile : public File {
  public:
    MemoryFile(std::string path, std::shared_ptr<std::vector<uint8_t>> bytes,
               std::shared_ptr<MemoryFileSystem::State> state, bool writable)
        : File(std::move(path)),
          bytes_(std::move(bytes)),
          state_(std::move(state)),
          writable_(writable) {}

    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        if (offset > bytes_->size() || n > bytes_->size() - offset)
            throw IoError(Path() + ": read of " + std::to_string(n) + " bytes at " +
                          std::to_string(offset) + " beyond the end of the file");
        if (n) std::memcpy(buffer, bytes_->data() + offset, n);
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        CheckWritable();
        state_->SpendWrite(Path());
        if (offset + n > bytes_->size()) bytes_->resize(offset + n);
        if (n) std::memcpy(bytes_->data() + offset, data, n);
    }
    uint64_t Size() override { return bytes_->size(); }
    void Truncate(uint64_t size) override {
        CheckWritable();
        state_->SpendWrite(Path());
        bytes_->resize(size);
    }
    void Sync() override {}
    bool TryLockForWriting() override {
        auto [it, taken] = state_->locks.emplace(Path(), this);
        return taken || it->second == this;
    }
    ~MemoryFile() override {
        auto it = state_->locks.find(Path());
        if (it != state_->locks.end() && it->second == this) state_->locks.erase(it);
    }

  private:
    void CheckWritable() {
        if (!writable_) throw IoError(Path() + ": file is open for reading only");
    }
    std::shared_ptr<std::vector<uint8_t>> bytes_;
    std::shared_ptr<MemoryFileSystem::State> state_;
    bool writable_;
};

}  // namespace

MemoryFileSystem::MemoryFileSystem() : state_(std::make_shared<State>()) {}
MemoryFileSystem::~MemoryFileSystem() = default;

std::unique_ptr<File> MemoryFileSystem::Open(const std::string& path, OpenMode mode) {
    auto it = state_->files.find(path);
    if (mode == OpenMode::kCreate) {
        if (it == state_->files.end())
            it = state_->files.emplace(path, std::make_shared<std::vector<uint8_t>>()).first;
        else
            it->second->clear();
    } else if (it == state_->files.end()) {
        throw IoError(path + ": file not found");
    }
    return std::make_unique<MemoryFile>(path, it->second, state_, mode != OpenMode::kRead);
}

bool MemoryFileSystem::IsFile(const std::string& path) {
    return state_->files.count(path) > 0;
}

void MemoryFileSystem::Remove(const std::string& path) {
    state_->files.erase(path);
}

std::vector<std::string> MemoryFileSystem::List(const std::string& folder) {
    std::vector<std::string> names;
    // Folders are separated by '/' or, in Windows-style paths, by '\\'.
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\')
        prefix += folder.find('\\') != std::string::npos ? '\\' : '/';
    for (const auto& [path, bytes] : state_->files) {
        if (path.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = path.substr(prefix.size());
        if (rest.find_first_of("/\\") == std::string::npos) names.push_back(rest);
    }
    return names;
}

void MemoryFileSystem::SetWriteBudget(long long writes) {
    state_->budget = writes;
    state_->writes = 0;
    state_->failOnce = -1;
}

void MemoryFileSystem::FailOneWrite(long long after) {
    state_->budget = -1;
    state_->writes = 0;
    state_->failOnce = after;
}

long long MemoryFileSystem::WritesDone() const {
    return state_->writes;
}

std::vector<uint8_t>& MemoryFileSystem::Bytes(const std::string& path) {
    auto& slot = state_->files[path];
    if (!slot) slot = std::make_shared<std::vector<uint8_t>>();
    return *slot;
}

}  // namespace pq::paradox
