#include "bench/merge/counting_fs.h"

namespace pq::bench {
namespace {

class CountingFile : public paradox::File {
  public:
    CountingFile(std::unique_ptr<paradox::File> inner, std::shared_ptr<WriteCounts> counts)
        : File(inner->Path()), inner_(std::move(inner)), counts_(std::move(counts)) {}
    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        inner_->ReadAt(offset, buffer, n);
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        inner_->WriteAt(offset, data, n);
        counts_->bytes += n;
        ++counts_->calls;
    }
    uint64_t Size() override { return inner_->Size(); }
    void Truncate(uint64_t size) override { inner_->Truncate(size); }
    void Sync() override { inner_->Sync(); }
    bool TryLockForWriting() override { return inner_->TryLockForWriting(); }

  private:
    std::unique_ptr<paradox::File> inner_;
    std::shared_ptr<WriteCounts> counts_;
};

}  // namespace

CountingFileSystem::CountingFileSystem(paradox::FileSystem& inner)
    : inner_(inner), counts_(std::make_shared<WriteCounts>()) {}

std::unique_ptr<paradox::File> CountingFileSystem::Open(const std::string& path,
                                                        paradox::OpenMode mode) {
    return std::make_unique<CountingFile>(inner_.Open(path, mode), counts_);
}

}  // namespace pq::bench
