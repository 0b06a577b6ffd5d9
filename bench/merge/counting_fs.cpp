#include "bench/merge/counting_fs.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <stdexcept>

namespace pq::bench {
namespace {

class CountingFile : public paradox::File {
  public:
    CountingFile(std::unique_ptr<paradox::File> inner, std::shared_ptr<WriteCounts> counts,
                 uint32_t index)
        : File(inner->Path()),
          inner_(std::move(inner)),
          counts_(std::move(counts)),
          index_(index) {}
    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        inner_->ReadAt(offset, buffer, n);
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        inner_->WriteAt(offset, data, n);
        counts_->bytes += n;
        ++counts_->calls;
        counts_->log.push_back({index_, offset, n});
    }
    uint64_t Size() override { return inner_->Size(); }
    void Truncate(uint64_t size) override { inner_->Truncate(size); }
    void Sync() override { inner_->Sync(); }
    bool TryLockForWriting() override { return inner_->TryLockForWriting(); }

  private:
    std::unique_ptr<paradox::File> inner_;
    std::shared_ptr<WriteCounts> counts_;
    uint32_t index_;
};

}  // namespace

void SaveWriteLog(const WriteCounts& counts, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto put = [&](uint64_t v) { out.write(reinterpret_cast<const char*>(&v), sizeof v); };
    put(counts.paths.size());
    for (const std::string& p : counts.paths) {
        put(p.size());
        out.write(p.data(), static_cast<std::streamsize>(p.size()));
    }
    put(counts.log.size());
    for (const WriteCall& w : counts.log) {
        put(w.file);
        put(w.offset);
        put(w.length);
    }
    out.close();
    if (!out) throw std::runtime_error(path + ": the write log cannot be written");
}

WriteCounts LoadWriteLog(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    auto get = [&] {
        uint64_t v = 0;
        if (!in.read(reinterpret_cast<char*>(&v), sizeof v))
            throw std::runtime_error(path + ": the write log is cut short");
        return v;
    };
    if (!in) throw std::runtime_error(path + ": no write log");
    WriteCounts counts;
    const uint64_t files = get();
    if (files > 1000) throw std::runtime_error(path + ": not a write log");
    for (uint64_t i = 0; i < files; ++i) {
        std::string p(static_cast<size_t>(std::min<uint64_t>(get(), 4096)), '\0');
        if (!in.read(p.data(), static_cast<std::streamsize>(p.size())))
            throw std::runtime_error(path + ": the write log is cut short");
        counts.paths.push_back(std::move(p));
    }
    const uint64_t calls = get();
    for (uint64_t i = 0; i < calls; ++i) {
        WriteCall w{};
        w.file = static_cast<uint32_t>(get());
        w.offset = get();
        w.length = get();
        if (w.file >= counts.paths.size() || w.length > (uint64_t{1} << 30))
            throw std::runtime_error(path + ": not a write log");
        counts.log.push_back(w);
        counts.bytes += w.length;
        ++counts.calls;
    }
    return counts;
}

double ReplayWrites(const WriteCounts& counts, paradox::FileSystem& fs) {
    std::vector<std::unique_ptr<paradox::File>> files;
    for (const std::string& path : counts.paths)
        files.push_back(fs.Open(
            path, fs.IsFile(path) ? paradox::OpenMode::kReadWrite : paradox::OpenMode::kCreate));
    uint64_t longest = 0;
    for (const WriteCall& w : counts.log) longest = std::max(longest, w.length);
    const std::vector<uint8_t> bytes(static_cast<size_t>(longest), 0x5A);
    const auto start = std::chrono::steady_clock::now();
    for (const WriteCall& w : counts.log)
        files.at(w.file)->WriteAt(w.offset, bytes.data(), static_cast<size_t>(w.length));
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
}

CountingFileSystem::CountingFileSystem(paradox::FileSystem& inner)
    : inner_(inner), counts_(std::make_shared<WriteCounts>()) {}

void CountingFileSystem::Reset() {
    counts_->bytes = 0;
    counts_->calls = 0;
    counts_->log.clear();
}

std::unique_ptr<paradox::File> CountingFileSystem::Open(const std::string& path,
                                                        paradox::OpenMode mode) {
    std::unique_ptr<paradox::File> inner = inner_.Open(path, mode);
    std::vector<std::string>& paths = counts_->paths;
    const auto known = std::find(paths.begin(), paths.end(), path);
    const auto index = static_cast<uint32_t>(known - paths.begin());
    if (known == paths.end()) paths.push_back(path);
    return std::make_unique<CountingFile>(std::move(inner), counts_, index);
}

}  // namespace pq::bench
