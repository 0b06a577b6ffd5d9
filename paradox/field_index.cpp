#include "paradox/field_index.h"

namespace pq::paradox {

namespace {
// Spreads a digest over the table (the exact digests of small integers are close together).
size_t Mix(uint32_t h) {
    h ^= h >> 16;
    h *= 0x7feb352dU;
    h ^= h >> 15;
    h *= 0x846ca68bU;
    h ^= h >> 16;
    return h;
}
}  // namespace

uint32_t FieldIndex::Digest(Bytes b) {
    if (DigestIsExact(b.size())) {
        uint32_t v = 0;
        for (uint8_t c : b) v = (v << 8) | c;
        return v;
    }
    uint32_t h = 2166136261u;  // FNV-1a
    for (uint8_t c : b) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

void FieldIndex::Rehash(size_t size) {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(size, Slot{0, kEmpty});
    live_ = used_ = 0;
    for (const Slot& s : old)
        if (s.where > kRemoved) Add(s.digest, s.where);
}

void FieldIndex::Reserve(size_t records) {
    size_t want = 16;
    while (want * 7 < records * 10) want *= 2;
    if (want > slots_.size()) Rehash(want);
}

void FieldIndex::Add(uint32_t digest, RecordLocation where) {
    if ((used_ + 1) * 10 > slots_.size() * 7) {
        // Mostly removed entries: clean up in place; otherwise double.
        if (live_ * 2 < used_)
            Rehash(slots_.size());
        else
            Rehash(slots_.empty() ? 16 : slots_.size() * 2);
    }
    const size_t mask = slots_.size() - 1;
    for (size_t i = Mix(digest) & mask;; i = (i + 1) & mask) {
        Slot& s = slots_[i];
        if (s.where == kEmpty || s.where == kRemoved) {
            if (s.where == kEmpty) ++used_;
            s = Slot{digest, where};
            ++live_;
            return;
        }
    }
}

size_t FieldIndex::Probe(uint32_t digest, RecordLocation where) const {
    if (slots_.empty()) return SIZE_MAX;
    const size_t mask = slots_.size() - 1;
    for (size_t i = Mix(digest) & mask;; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.where == kEmpty) return SIZE_MAX;
        if (s.where == where && s.digest == digest) return i;
    }
}

bool FieldIndex::Remove(uint32_t digest, RecordLocation where) {
    const size_t i = Probe(digest, where);
    if (i == SIZE_MAX) return false;
    slots_[i].where = kRemoved;
    --live_;
    return true;
}

bool FieldIndex::Move(uint32_t digest, RecordLocation from, RecordLocation to) {
    const size_t i = Probe(digest, from);
    if (i == SIZE_MAX) return false;
    slots_[i].where = to;
    return true;
}

void FieldIndex::Find(uint32_t digest, const std::function<void(RecordLocation)>& visit) const {
    if (slots_.empty()) return;
    const size_t mask = slots_.size() - 1;
    for (size_t i = Mix(digest) & mask;; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.where == kEmpty) return;
        if (s.where != kRemoved && s.digest == digest) visit(s.where);
    }
}

}  // namespace pq::paradox
