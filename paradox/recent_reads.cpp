#include "paradox/recent_reads.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pq::paradox {
namespace {

class RecentReads : public File {
  public:
    RecentReads(std::unique_ptr<File> inner, RecentReadsLimits limits)
        : File(inner->Path()), inner_(std::move(inner)), limits_(limits) {
        kept_.reserve(limits_.reads);
    }

    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        for (Kept& k : kept_) {
            if (offset >= k.offset && offset - k.offset <= k.bytes.size() &&
                n <= k.bytes.size() - (offset - k.offset)) {
                std::memcpy(buffer, k.bytes.data() + (offset - k.offset), n);
                k.used = ++clock_;
                return;
            }
        }
        inner_->ReadAt(offset, buffer, n);
        if (n == 0 || n > limits_.largest || limits_.reads == 0) return;
        Kept* slot = nullptr;
        if (kept_.size() < limits_.reads) {
            slot = &kept_.emplace_back();
        } else {
            slot = &*std::min_element(kept_.begin(), kept_.end(),
                                      [](const Kept& a, const Kept& b) { return a.used < b.used; });
        }
        slot->offset = offset;
        const auto* p = static_cast<const uint8_t*>(buffer);
        slot->bytes.assign(p, p + n);
        slot->used = ++clock_;
    }

    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        Written(offset, data, n, [&] { inner_->WriteAt(offset, data, n); });
    }
    void WriteOverFree(uint64_t offset, const void* data, size_t n) override {
        Written(offset, data, n, [&] { inner_->WriteOverFree(offset, data, n); });
    }
    uint64_t Size() override { return inner_->Size(); }
    void Truncate(uint64_t size) override {
        // Whatever happens to the file, nothing kept may outlive its end.
        std::erase_if(kept_, [&](const Kept& k) { return k.offset + k.bytes.size() > size; });
        inner_->Truncate(size);
    }
    void Sync() override { inner_->Sync(); }
    bool TryLockForWriting() override { return inner_->TryLockForWriting(); }

  private:
    struct Kept {
        uint64_t offset = 0;
        std::vector<uint8_t> bytes;
        uint64_t used = 0;
    };

    // Kept bytes that a write covers take its bytes once it is made. A write that fails may
    // have changed part of its range: what it overlaps is no longer kept.
    template <typename Write>
    void Written(uint64_t offset, const void* data, size_t n, Write&& write) {
        try {
            write();
        } catch (...) {
            std::erase_if(kept_, [&](const Kept& k) {
                return k.offset < offset + n && offset < k.offset + k.bytes.size();
            });
            throw;
        }
        const auto* p = static_cast<const uint8_t*>(data);
        for (Kept& k : kept_) {
            const uint64_t from = std::max(offset, k.offset);
            const uint64_t to = std::min(offset + n, k.offset + k.bytes.size());
            if (from < to)
                std::memcpy(k.bytes.data() + (from - k.offset), p + (from - offset), to - from);
        }
    }

    std::unique_ptr<File> inner_;
    RecentReadsLimits limits_;
    std::vector<Kept> kept_;
    uint64_t clock_ = 0;
};

}  // namespace

std::unique_ptr<File> RecentReadsFile(std::unique_ptr<File> inner, RecentReadsLimits limits) {
    return std::make_unique<RecentReads>(std::move(inner), limits);
}

}  // namespace pq::paradox
