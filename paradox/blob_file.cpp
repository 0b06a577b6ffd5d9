#include "paradox/blob_file.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "paradox/crypt.h"
#include "paradox/error.h"

namespace pq::paradox {

namespace {

// The layout values of the header this reader depends on: (offset, width, value).
struct LayoutField {
    uint32_t offset;
    uint32_t width;
    uint32_t value;
    const char* meaning;
};
constexpr LayoutField kLayout[] = {
    {0x0B, 2, mb::kUnit, "unit size"},
    {0x0D, 2, mb::kUnit, "suballocated block size"},
    {0x10, 1, mb::kChunk, "suballocation chunk size"},
    {0x11, 2, mb::kSlots, "slots per suballocated block"},
    {0x13, 2, mb::kSmallLimit, "suballocation threshold"},
};

// Bounds-checked little-endian access to buffers this module sized itself; a failure is a
// fault of this code, not of the file.
[[noreturn]] void BufferOverrun(size_t size, size_t at) {
    throw Error("blob file buffer of " + std::to_string(size) + " bytes read at " +
                std::to_string(at));
}
inline void NeedBytes(std::span<const uint8_t> b, size_t at, size_t n) {
    if (at > b.size() || n > b.size() - at) BufferOverrun(b.size(), at);
}
uint8_t Get8(std::span<const uint8_t> b, size_t at) {
    NeedBytes(b, at, 1);
    return b[at];
}
uint16_t Get16(std::span<const uint8_t> b, size_t at) {
    NeedBytes(b, at, 2);
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t Get32(std::span<const uint8_t> b, size_t at) {
    NeedBytes(b, at, 4);
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}
uint32_t GetN(std::span<const uint8_t> b, size_t at, uint32_t width) {
    return width == 1 ? Get8(b, at) : width == 2 ? Get16(b, at) : Get32(b, at);
}
void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    NeedBytes(b, at, 2);
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    NeedBytes(b, at, 4);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The header block of a new file, as every blob file seen has it.
std::vector<uint8_t> EmptyHeader() {
    std::vector<uint8_t> h(mb::kUnit, 0);
    h[0] = mb::kTypeHeader;
    Put16(h, 1, 1);
    Put16(h, mb::kHeaderModCount, 1);
    const uint8_t unknown05[] = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00};
    std::copy(std::begin(unknown05), std::end(unknown05), h.begin() + 0x05);
    Put16(h, 0x0B, mb::kUnit);
    Put16(h, 0x0D, mb::kUnit);
    h[0x10] = mb::kChunk;
    Put16(h, 0x11, mb::kSlots);
    Put16(h, 0x13, mb::kSmallLimit);
    h[0x29] = 0xA1;  // unknown, 00 A1 02 at 0x28
    h[0x2A] = 0x02;
    return h;
}

std::string Hex(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
    return text;
}

uint32_t UnitsFor(uint32_t length) {
    return (length + mb::kSingleHeader + mb::kUnit - 1) / mb::kUnit;
}

constexpr uint64_t kAddressLimit = uint64_t{1} << 32;  // pointers are 32 bits

using Problem = std::pair<std::string, std::string>;  // where, what

// The data extents [first chunk, end) of a block's live slots, in file order: at most one for
// each slot, kept on the stack (every placement and every block of the walk takes them).
struct Extents {
    std::array<std::pair<uint32_t, uint32_t>, mb::kSlots> items;
    size_t count = 0;
    std::span<const std::pair<uint32_t, uint32_t>> View() const {
        return std::span(items).first(count);
    }
    void Sort() { std::sort(items.begin(), items.begin() + count); }
};

template <typename SlotTable>
Extents LiveExtents(const SlotTable& slots) {
    Extents e;
    for (const auto& s : slots)
        if (s.Live()) e.items[e.count++] = {s.chunkOffset, uint32_t{s.chunkOffset} + s.chunks};
    e.Sort();
    return e;
}

// Live slots must lie in the data area, hold 1..16 bytes in their last chunk, and not overlap.
// `where()` names the block; it is called only for a problem (the walk checks every block).
template <typename SlotTable, typename Where>
void CheckSlots(const SlotTable& slots, const Where& where, std::vector<Problem>& problems) {
    Extents extents;
    for (uint32_t i = 0; i < slots.size(); ++i) {
        const auto& s = slots[i];
        if (!s.Live()) continue;
        if (s.lastBytes > mb::kChunk || s.chunks == 0) {
            problems.push_back({where(), "slot " + Hex(i) + " holds " + std::to_string(s.chunks) +
                                             " chunks with " + std::to_string(s.lastBytes) +
                                             " bytes in the last"});
            continue;
        }
        const uint32_t end = uint32_t{s.chunkOffset} + s.chunks;
        if (s.chunkOffset < mb::kFirstDataChunk || end > mb::kChunksPerBlock) {
            problems.push_back({where(), "slot " + Hex(i) + " data at " +
                                             Hex(s.chunkOffset * mb::kChunk) + " of " +
                                             std::to_string(s.chunks) +
                                             " chunks lies outside the data area"});
            continue;
        }
        extents.items[extents.count++] = {s.chunkOffset, end};
    }
    extents.Sort();
    const auto sorted = extents.View();
    for (size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i].first < sorted[i - 1].second)
            problems.push_back(
                {where(), "slot data overlap at " + Hex(sorted[i].first * mb::kChunk)});
}

}  // namespace

// ---- Raw access -------------------------------------------------------------------------------

std::string BlobFile::Where(uint64_t offset) const {
    return name_ + " at offset " + Hex(offset);
}

uint64_t BlobFile::SizeFor(uint64_t end) const {
    if (end > sizeSeen_) sizeSeen_ = file_.Size();
    return sizeSeen_;
}

std::vector<uint8_t> BlobFile::HeaderBytes(uint32_t at, uint32_t n) {
    if (!header_) header_ = ReadRange(0, 0x40);
    return {header_->begin() + at, header_->begin() + at + n};
}

void BlobFile::WriteHeaderBytes(uint32_t at, const std::vector<uint8_t>& bytes) {
    std::optional<std::vector<uint8_t>> kept = std::move(header_);
    header_.reset();  // unknown should the write fail
    WriteRange(at, bytes);
    if (kept) {
        std::copy(bytes.begin(), bytes.end(), kept->begin() + at);
        header_ = std::move(kept);
    }
}

std::vector<uint8_t> BlobFile::ReadRange(uint64_t offset, size_t n) const {
    std::vector<uint8_t> bytes;
    ReadRangeInto(offset, n, bytes);
    return bytes;
}

void BlobFile::ReadRangeInto(uint64_t offset, size_t n, std::vector<uint8_t>& out) const {
    const uint64_t size = SizeFor(offset + n);
    if (offset > size || n > size - offset)
        Corrupt(Where(offset), "reading " + std::to_string(n) +
                                   " bytes passes the end of the file (" + std::to_string(size) +
                                   " bytes)");
    out.resize(n);  // a buffer used again is not cleared first: every byte is read over
    if (!key_) {
        if (n) file_.ReadAt(offset, out.data(), n);
        return;
    }
    // Whole chunks only: the file size is a multiple of 4096, so they never pass the end.
    const uint64_t start = offset / kCryptChunkSize * kCryptChunkSize;
    const uint64_t end = (offset + n + kCryptChunkSize - 1) / kCryptChunkSize * kCryptChunkSize;
    std::vector<uint8_t> chunks(end - start);
    file_.ReadAt(start, chunks.data(), chunks.size());
    DecryptMbChunks(chunks.data(), chunks.size(), *key_);
    std::copy(chunks.begin() + (offset - start), chunks.begin() + (offset - start + n),
              out.begin());
}

void BlobFile::WriteRange(uint64_t offset, std::span<const uint8_t> bytes, bool overFree) {
    if (!key_) {
        if (overFree)
            file_.WriteOverFree(offset, bytes.data(), bytes.size());
        else
            file_.WriteAt(offset, bytes.data(), bytes.size());
        return;
    }
    const uint64_t start = offset / kCryptChunkSize * kCryptChunkSize;
    const uint64_t end =
        (offset + bytes.size() + kCryptChunkSize - 1) / kCryptChunkSize * kCryptChunkSize;
    std::vector<uint8_t> chunks(end - start);
    const uint64_t size = file_.Size();
    const bool whole = start == offset && end == offset + bytes.size();
    if (!whole && start < size) {
        // Bytes of the edge chunks that stay as they are.
        const uint64_t have = std::min(end, size) - start;
        file_.ReadAt(start, chunks.data(), have);
        DecryptMbChunks(chunks.data(), have, *key_);
    }
    std::copy(bytes.begin(), bytes.end(), chunks.begin() + (offset - start));
    EncryptMbChunks(chunks.data(), chunks.size(), *key_);
    // Edge chunks carry bytes of their neighbours, which may be live.
    if (overFree && whole)
        file_.WriteOverFree(start, chunks.data(), chunks.size());
    else
        file_.WriteAt(start, chunks.data(), chunks.size());
}

BlobFile::SlotTable BlobFile::ReadSlots(uint32_t blockOffset) const {
    return ParseSlots(
        ReadRange(uint64_t{blockOffset} + mb::kSlotTable, mb::kSlots * mb::kSlotSize));
}

BlobFile::SlotTable BlobFile::ParseSlots(std::span<const uint8_t> raw) {
    NeedBytes(raw, 0, mb::kSlots * mb::kSlotSize);
    SlotTable slots;
    for (uint32_t i = 0; i < mb::kSlots; ++i) {
        const uint8_t* p = raw.data() + i * mb::kSlotSize;
        slots[i] = {p[0], p[1], static_cast<uint16_t>(p[2] | p[3] << 8), p[4]};
    }
    return slots;
}

// ---- Creating and opening ---------------------------------------------------------------------

void BlobFile::CreateEmpty(File& f, std::optional<uint32_t> key) {
    std::vector<uint8_t> header = EmptyHeader();
    if (key) EncryptMbChunks(header.data(), header.size(), *key);
    f.Truncate(0);
    f.WriteAt(0, header.data(), header.size());
}

BlobFile::BlobFile(File& f, std::string name, std::optional<uint32_t> key)
    : file_(f), name_(std::move(name)), key_(key) {
    const uint64_t size = file_.Size();
    if (size < mb::kUnit || size % mb::kUnit != 0)
        Corrupt(name_, "size of " + std::to_string(size) +
                           " bytes is not a whole number of 4096-byte blocks");
    if (size > kAddressLimit)
        Corrupt(name_, "size of " + std::to_string(size) + " bytes passes 4 GiB");
    const std::vector<uint8_t> header = ReadRange(0, 0x40);
    if (Get8(header, 0) != mb::kTypeHeader)
        Corrupt(Where(0), "block type " + std::to_string(Get8(header, 0)) +
                              " where the header block (0) belongs" +
                              (key_ ? " (or the password is wrong)" : ""));
    if (Get16(header, 1) != 1)
        Corrupt(Where(1),
                "header block of " + std::to_string(Get16(header, 1)) + " units, expected 1");
    for (const LayoutField& field : kLayout) {
        const uint32_t value = GetN(header, field.offset, field.width);
        if (value != field.value)
            Corrupt(Where(field.offset), std::string(field.meaning) + " is " + Hex(value) +
                                             ", expected " + Hex(field.value));
    }
}

// ---- Reading ----------------------------------------------------------------------------------

std::vector<uint8_t> BlobFile::Read(uint32_t offsetAndIndex, uint32_t length,
                                    uint16_t modNumber) const {
    if (length == 0) return {};
    const uint32_t offset = offsetAndIndex & 0xFFFFFF00u;
    const uint32_t index = offsetAndIndex & 0xFFu;
    uint64_t size = SizeFor(std::max<uint64_t>(uint64_t{offset} + mb::kUnit, length));
    // Named only for an error: every blob read passes through here.
    const auto where = [&] { return Where(offset); };
    const auto blob = [&] { return "blob " + Hex(offsetAndIndex) + ": "; };
    const auto slotName = [&] { return "slot " + Hex(index) + " "; };
    // Length first, so that no buffer is ever sized by a length the file could not hold.
    if (length > size)
        Corrupt(where(), blob() + "length " + std::to_string(length) +
                             " is larger than the file (" + std::to_string(size) + " bytes)");
    if (offset == 0) Corrupt(where(), blob() + "points at the header block");
    if (offset % mb::kUnit != 0) Corrupt(where(), blob() + "not on a 4096-byte block boundary");
    if (uint64_t{offset} + mb::kUnit > size)
        Corrupt(where(),
                blob() + "points past the end of the file (" + std::to_string(size) + " bytes)");

    // One read: a single blob's header, or the whole block of a slot (header, slot table and
    // the data, which lies inside the block).
    const std::vector<uint8_t> head =
        ReadRange(offset, index == mb::kSingleIndex ? mb::kSingleHeader : mb::kUnit);
    const uint8_t type = Get8(head, 0);
    const uint32_t units = Get16(head, 1);
    if (index == mb::kSingleIndex) {
        if (type != mb::kTypeSingle)
            Corrupt(where(), blob() + "block type " + std::to_string(type) +
                                 " where a single-blob block (2) belongs");
        // The block may reach past the size seen when its first unit was read.
        size = SizeFor(uint64_t{offset} + uint64_t{units} * mb::kUnit);
        if (units == 0 || uint64_t{offset} + uint64_t{units} * mb::kUnit > size)
            Corrupt(where(), blob() + "block of " + std::to_string(units) +
                                 " units does not fit in the file");
        const uint32_t stored = Get32(head, 3);
        if (stored != length)
            Corrupt(where(), blob() + "the record says " + std::to_string(length) +
                                 " bytes, the block holds " + std::to_string(stored));
        if (uint64_t{length} + mb::kSingleHeader > uint64_t{units} * mb::kUnit)
            Corrupt(where(), blob() + "length " + std::to_string(length) + " does not fit in " +
                                 std::to_string(units) + " units");
        if (Get16(head, 7) != modNumber)
            Corrupt(where(), blob() + "modification number " + std::to_string(modNumber) +
                                 " in the record, " + std::to_string(Get16(head, 7)) +
                                 " in the block");
        return ReadRange(uint64_t{offset} + mb::kSingleHeader, length);
    }

    if (index >= mb::kSlots)
        Corrupt(where(), blob() + "slot " + Hex(index) + " beyond the block's 64 slots");
    if (type != mb::kTypeSuballocated)
        Corrupt(where(), blob() + "block type " + std::to_string(type) +
                             " where a suballocated block (3) belongs");
    if (units != 1)
        Corrupt(where(), blob() + "suballocated block of " + std::to_string(units) + " units");
    const Slot slot = ParseSlots(std::span<const uint8_t>(head).subspan(mb::kSlotTable))[index];
    if (!slot.Live()) Corrupt(where(), blob() + slotName() + "is free");
    if (slot.chunks == 0 || slot.lastBytes > mb::kChunk || slot.chunkOffset < mb::kFirstDataChunk ||
        uint32_t{slot.chunkOffset} + slot.chunks > mb::kChunksPerBlock)
        Corrupt(where(), blob() + slotName() + "data at " + Hex(slot.chunkOffset * mb::kChunk) +
                             " of " + std::to_string(slot.chunks) + " chunks (last " +
                             std::to_string(slot.lastBytes) + ") breaks the block");
    if (slot.Length() != length)
        Corrupt(where(), blob() + "the record says " + std::to_string(length) + " bytes, " +
                             slotName() + "holds " + std::to_string(slot.Length()));
    if (slot.modNumber != modNumber)
        Corrupt(where(), blob() + "modification number " + std::to_string(modNumber) +
                             " in the record, " + std::to_string(slot.modNumber) + " in " +
                             slotName());
    const auto data = head.begin() + slot.chunkOffset * mb::kChunk;
    return std::vector<uint8_t>(data, data + length);
}

// ---- The block map ----------------------------------------------------------------------------

BlobFile::Block BlobFile::Summarize(uint8_t type, uint32_t units, const SlotTable& slots) {
    Block b{type, 0, static_cast<uint16_t>(units)};
    if (type != mb::kTypeSuballocated) return b;
    const Extents used = LiveExtents(slots);
    const size_t freeSlots = slots.size() - used.count;
    uint32_t usedChunks = 0, largestGap = 0;
    uint32_t cursor = mb::kFirstDataChunk;
    for (const auto& [start, end] : used.View()) {
        usedChunks += end - start;
        if (start > cursor) largestGap = std::max(largestGap, start - cursor);
        cursor = std::max(cursor, end);
    }
    const uint32_t area = mb::kChunksPerBlock - mb::kFirstDataChunk;
    b.freeChunks = static_cast<uint16_t>(usedChunks >= area ? 0 : area - usedChunks);
    if (mb::kChunksPerBlock > cursor)
        largestGap = std::max(largestGap, mb::kChunksPerBlock - cursor);
    b.freeSlots = static_cast<uint8_t>(freeSlots);
    b.largestGap = static_cast<uint16_t>(largestGap);
    return b;
}

void BlobFile::Layout::Index(uint32_t offset, const Block& b) {
    if (b.type == mb::kTypeFree) freeRuns.insert({b.units, offset});
    if (b.type == mb::kTypeSuballocated && b.units == 1 && b.freeSlots > 0 && b.largestGap > 0)
        roomy[std::min<uint32_t>(b.largestGap, mb::kChunksPerBlock)].insert(offset);
}

void BlobFile::Layout::Unindex(uint32_t offset, const Block& b) {
    if (b.type == mb::kTypeFree) freeRuns.erase({b.units, offset});
    if (b.type == mb::kTypeSuballocated)
        roomy[std::min<uint32_t>(b.largestGap, mb::kChunksPerBlock)].erase(offset);
}

void BlobFile::Layout::Set(uint32_t offset, const Block& b) {
    auto [it, added] = blocks.try_emplace(offset, b);
    if (!added) {
        Unindex(offset, it->second);
        it->second = b;
    }
    Index(offset, b);
}

void BlobFile::Layout::Erase(uint32_t offset) {
    auto it = blocks.find(offset);
    if (it == blocks.end()) return;
    Unindex(offset, it->second);
    blocks.erase(it);
}

void BlobFile::Walk(std::vector<Problem>& problems, std::map<uint32_t, Block>& map) const {
    const uint64_t size = file_.Size();
    if (size < mb::kUnit || size % mb::kUnit != 0 || size > kAddressLimit) {
        problems.push_back({name_, "size of " + std::to_string(size) +
                                       " bytes is not a whole number of 4096-byte blocks"});
        return;
    }
    const std::vector<uint8_t> header = ReadRange(0, 0x40);
    if (Get8(header, 0) != mb::kTypeHeader || Get16(header, 1) != 1)
        problems.push_back({Where(0), "not a blob file header block"});
    for (const LayoutField& field : kLayout) {
        const uint32_t value = GetN(header, field.offset, field.width);
        if (value != field.value)
            problems.push_back({Where(field.offset), std::string(field.meaning) + " is " +
                                                         Hex(value) + ", expected " +
                                                         Hex(field.value)});
    }
    // A block's header and slot table are read through a window of up to 64 KiB, refilled at
    // a header that lies outside it: one read per sixteen blocks of memos instead of two per
    // block. After a block of several units the window is not filled ahead (it would be the
    // next blob's bytes): the next header is read alone.
    constexpr uint64_t kWindow = 64 * 1024;
    constexpr uint32_t kHeadBytes = mb::kSlotTable + mb::kSlots * mb::kSlotSize;
    std::vector<uint8_t> window;
    uint64_t windowAt = 0;
    uint32_t lastUnits = 1;
    uint64_t offset = mb::kUnit;
    while (offset < size) {
        const uint64_t want = std::min<uint64_t>(kHeadBytes, size - offset);
        if (offset < windowAt || offset + want > windowAt + window.size()) {
            ReadRangeInto(offset, lastUnits <= 2 ? std::min(kWindow, size - offset) : want, window);
            windowAt = offset;
        }
        const std::span<const uint8_t> head =
            std::span<const uint8_t>(window).subspan(offset - windowAt, want);
        const uint8_t type = Get8(head, 0);
        const uint32_t units = Get16(head, 1);
        if (type != mb::kTypeSingle && type != mb::kTypeSuballocated && type != mb::kTypeFree) {
            // Without a valid size the next block cannot be found: the walk ends here.
            problems.push_back({Where(offset), "block type " + std::to_string(type) +
                                                   " is not a blob block (2, 3 or 4)"});
            return;
        }
        if (units == 0 || offset + uint64_t{units} * mb::kUnit > size) {
            problems.push_back({Where(offset), "block of " + std::to_string(units) +
                                                   " units does not fit in the file (" +
                                                   std::to_string(size) + " bytes)"});
            return;
        }
        SlotTable slots;
        if (type == mb::kTypeSingle) {
            const uint32_t length = Get32(head, 3);
            if (uint64_t{length} + mb::kSingleHeader > uint64_t{units} * mb::kUnit)
                problems.push_back({Where(offset), "blob of " + std::to_string(length) +
                                                       " bytes does not fit in " +
                                                       std::to_string(units) + " units"});
        } else if (type == mb::kTypeSuballocated) {
            if (units != 1)
                problems.push_back(
                    {Where(offset), "suballocated block of " + std::to_string(units) + " units"});
            slots = ParseSlots(head.subspan(mb::kSlotTable));
            CheckSlots(
                slots, [&] { return Where(offset); }, problems);
        }
        map[static_cast<uint32_t>(offset)] = Summarize(type, units, slots);
        lastUnits = units;
        offset += uint64_t{units} * mb::kUnit;
    }
}

std::vector<Problem> BlobFile::Problems() const {
    std::vector<Problem> problems;
    std::map<uint32_t, Block> blocks;
    Walk(problems, blocks);
    if (problems.empty()) {
        // A hint at anything but a suballocated block would send the original engine's next
        // small blob into the wrong block.
        const uint32_t hint = Get32(ReadRange(mb::kHeaderHintBlock, 4), 0) & ~(mb::kUnit - 1);
        auto it = blocks.find(hint);
        if (hint != 0 && (it == blocks.end() || it->second.type != mb::kTypeSuballocated))
            problems.push_back({Where(mb::kHeaderHintBlock),
                                "the header names " + Hex(hint) +
                                    " as a suballocated block with room, which it is not"});
    }
    return problems;
}

void BlobFile::Check(std::vector<std::string>& out) const {
    for (const auto& [where, what] : Problems()) out.push_back(where + ": " + what);
}

void BlobFile::Validate() const {
    const std::vector<Problem> problems = Problems();
    if (!problems.empty()) Corrupt(problems.front().first, problems.front().second);
}

void BlobFile::CheckPointers(const std::vector<uint32_t>& pointers,
                             const std::function<std::string(size_t)>& whose,
                             std::vector<std::string>& problems,
                             std::vector<std::string>& warnings) const {
    std::vector<Problem> broken;
    std::map<uint32_t, Block> blocks;
    Walk(broken, blocks);
    if (!broken.empty()) return;
    // The live blobs: single-blob blocks, and each live slot of the suballocated ones.
    std::map<uint32_t, uint32_t> live;  // offset|index -> length
    for (const auto& [offset, block] : blocks) {
        if (block.type == mb::kTypeSingle) {
            live[offset | mb::kSingleIndex] = Get32(ReadRange(uint64_t{offset} + 3, 4), 0);
        } else if (block.type == mb::kTypeSuballocated) {
            const SlotTable slots = ReadSlots(offset);
            for (uint32_t i = 0; i < mb::kSlots; ++i)
                if (slots[i].Live()) live[offset | i] = slots[i].Length();
        }
    }
    std::map<uint32_t, size_t> first;  // offset|index -> the first pointer at it
    for (size_t i = 0; i < pointers.size(); ++i) {
        const uint32_t p = pointers[i];
        const uint32_t offset = p & 0xFFFFFF00u;
        const auto [seen, added] = first.try_emplace(p, i);
        if (!added) {
            problems.push_back(whose(i) + ": blob " + Hex(p) + " is also the blob of " +
                               whose(seen->second));
            continue;
        }
        auto it = blocks.upper_bound(offset);
        if (it == blocks.begin()) continue;  // the header block: Read names it
        --it;
        const uint64_t end = it->first + uint64_t{it->second.units} * mb::kUnit;
        if (offset >= end) {
            problems.push_back(whose(i) + ": blob " + Hex(p) + " lies past the last block of " +
                               name_ + " (which ends at " + Hex(end) + ")");
        } else if (it->first != offset && it->second.type == mb::kTypeFree) {
            problems.push_back(
                whose(i) + ": blob " + Hex(p) + " lies in free space (the free run of " +
                std::to_string(it->second.units) + " units at " + Hex(it->first) + ")");
        } else if (it->first != offset) {
            problems.push_back(whose(i) + ": blob " + Hex(p) + " overlaps the block of " +
                               std::to_string(it->second.units) + " units at " + Hex(it->first));
        }
    }
    for (const auto& [p, length] : live)
        if (!first.count(p))
            warnings.push_back(Where(p & 0xFFFFFF00u) + ": blob " + Hex(p) + " of " +
                               std::to_string(length) +
                               " bytes is in use but no record points at it (a save cut short "
                               "may leave one; its space is not reused)");
}

void BlobFile::LoadBlocks() {
    std::vector<Problem> problems;
    std::map<uint32_t, Block> blocks;
    Walk(problems, blocks);
    if (!problems.empty()) Corrupt(problems.front().first, problems.front().second);
    Layout layout;
    for (const auto& [offset, block] : blocks) layout.Index(offset, block);
    layout.blocks = std::move(blocks);
    blocks_ = std::move(layout);
}

BlobFile::Layout& BlobFile::Blocks() {
    if (!blocks_) LoadBlocks();
    return *blocks_;
}

void BlobFile::DropCache() {
    blocks_.reset();
    header_.reset();
    sizeSeen_ = 0;
}

// ---- Header counters --------------------------------------------------------------------------

uint16_t BlobFile::NextModNumber() {
    std::vector<uint8_t> count = HeaderBytes(mb::kHeaderModCount, 2);
    const uint16_t current = Get16(count, 0);
    const uint16_t next = current == 0xFFFF ? 1 : static_cast<uint16_t>(current + 1);
    Put16(count, 0, next);
    WriteHeaderBytes(mb::kHeaderModCount, count);
    return next;
}

void BlobFile::SetHint(uint32_t blockOffset, const Block& block) {
    // Only a hint the file already has is kept true; none is made up (its low byte's meaning is
    // unknown).
    std::vector<uint8_t> hint = HeaderBytes(mb::kHeaderHintBlock, 8);
    if (Get32(hint, 0) == 0 || (Get32(hint, 0) & ~(mb::kUnit - 1)) != blockOffset) return;
    if (Get32(hint, 4) == block.freeChunks) return;
    Put32(hint, 4, block.freeChunks);
    WriteHeaderBytes(mb::kHeaderHintBlock, hint);
}

void BlobFile::ClearHintFor(uint32_t blockOffset) {
    std::vector<uint8_t> hint = HeaderBytes(mb::kHeaderHintBlock, 8);
    if (Get32(hint, 0) == 0 || (Get32(hint, 0) & ~(mb::kUnit - 1)) != blockOffset) return;
    std::fill(hint.begin(), hint.end(), 0);
    WriteHeaderBytes(mb::kHeaderHintBlock, hint);
}

// ---- Writing ----------------------------------------------------------------------------------

uint32_t BlobFile::TakeFreeRun(uint32_t units) {
    Layout& layout = Blocks();
    // The smallest run that holds the blob, the first of those in the file.
    auto best = layout.freeRuns.lower_bound({units, 0});
    if (best == layout.freeRuns.end()) {
        const uint64_t end = file_.Size();
        if (end + uint64_t{units} * mb::kUnit > kAddressLimit)
            throw Error(name_ + ": the blob file cannot grow past 4 GiB");
        return 0;
    }
    const auto [runUnits, offset] = *best;
    const uint32_t rest = runUnits - units;
    if (rest > 0) {
        // The tail becomes a free block of its own first; until the new block is written over
        // the head, the whole run still reads as one free block.
        const uint32_t tail = offset + units * mb::kUnit;
        const std::vector<uint8_t> head = {mb::kTypeFree, static_cast<uint8_t>(rest),
                                           static_cast<uint8_t>(rest >> 8)};
        WriteRange(tail, head);
        layout.Set(tail, Block{mb::kTypeFree, 0, static_cast<uint16_t>(rest)});
    }
    // The head is taken: out of the free runs until the caller records what it became.
    layout.Set(offset, Block{mb::kTypeSingle, 0, static_cast<uint16_t>(units)});
    return offset;
}

BlobRef BlobFile::Write(std::span<const uint8_t> data) {
    return Write({}, data);
}

BlobRef BlobFile::Write(std::span<const uint8_t> prefix, std::span<const uint8_t> data) {
    const uint64_t size = uint64_t{prefix.size()} + data.size();
    if (size == 0) return {};
    try {
        if (size > mb::kMaxLength)
            throw Error(name_ + ": a blob of " + std::to_string(size) +
                        " bytes is longer than the " + std::to_string(mb::kMaxLength) +
                        " a blob file can hold");
        Blocks();
        if (size >= mb::kSmallLimit) return WriteSingle(prefix, data);
        if (prefix.empty()) return WriteSmall(data);
        std::vector<uint8_t> joined(prefix.begin(), prefix.end());
        joined.insert(joined.end(), data.begin(), data.end());
        return WriteSmall(joined);
    } catch (...) {
        blocks_.reset();  // the file may hold less than the map says; read it again next time
        header_.reset();
        throw;
    }
}

BlobRef BlobFile::WriteSingle(std::span<const uint8_t> prefix, std::span<const uint8_t> data) {
    const uint32_t length = static_cast<uint32_t>(prefix.size() + data.size());
    const uint32_t units = UnitsFor(length);
    const uint16_t mod = NextModNumber();
    uint32_t offset = TakeFreeRun(units);
    const bool append = offset == 0;
    if (append) offset = static_cast<uint32_t>(file_.Size());

    // The header, the blob, zeros to the end of the last unit (the blob's bytes are not
    // cleared first: a picture is tens of kilobytes).
    std::vector<uint8_t> block(mb::kSingleHeader, 0);
    block.reserve(uint64_t{units} * mb::kUnit);
    block[0] = mb::kTypeSingle;
    Put16(block, 1, units);
    Put32(block, 3, length);
    Put16(block, 7, mod);
    block.insert(block.end(), prefix.begin(), prefix.end());
    block.insert(block.end(), data.begin(), data.end());
    block.resize(uint64_t{units} * mb::kUnit, 0);
    if (append) {
        // One write: the file never ends in a partial block.
        WriteRange(offset, block);
    } else {
        // The blob first, then the header that turns the free run into its block.
        WriteRange(uint64_t{offset} + mb::kSingleHeader,
                   std::span<const uint8_t>(block).subspan(mb::kSingleHeader), true);
        WriteRange(offset, std::span<const uint8_t>(block).first(mb::kSingleHeader));
    }
    Blocks().Set(offset, Block{mb::kTypeSingle, 0, static_cast<uint16_t>(units)});
    return {offset | mb::kSingleIndex, length, mod};
}

BlobRef BlobFile::WriteSmall(std::span<const uint8_t> data) {
    const uint32_t length = static_cast<uint32_t>(data.size());
    const uint32_t chunks = (length + mb::kChunk - 1) / mb::kChunk;
    const Slot entry{0, static_cast<uint8_t>(chunks), 0,
                     static_cast<uint8_t>(length - (chunks - 1) * mb::kChunk)};
    Layout& layout = Blocks();

    // First fit: the first block in the file whose longest gap holds the blob.
    uint32_t found = 0;
    bool any = false;
    for (uint32_t gap = chunks; gap < layout.roomy.size(); ++gap)
        if (!layout.roomy[gap].empty() && (!any || *layout.roomy[gap].begin() < found)) {
            found = *layout.roomy[gap].begin();
            any = true;
        }
    if (any) {
        const uint32_t offset = found;
        const Block block = layout.blocks.at(offset);
        SlotTable slots = ReadSlots(offset);
        // The first gap between live slots' data that is long enough.
        const Extents used = LiveExtents(slots);
        uint32_t place = mb::kFirstDataChunk;
        for (const auto& [start, end] : used.View()) {
            if (start >= place + chunks) break;
            place = std::max(place, end);
        }
        uint32_t index = mb::kSlots;
        while (index > 0 && slots[index - 1].Live()) --index;
        if (place + chunks > mb::kChunksPerBlock || index == 0)
            throw Error(Where(offset) + ": the blob file's block map disagrees with its slots");
        --index;  // the highest free slot

        Slot s = entry;
        s.chunkOffset = static_cast<uint8_t>(place);
        s.modNumber = NextModNumber();
        slots[index] = s;
        const Block after = Summarize(block.type, block.units, slots);
        // The hint may claim less room than there is until the slot is written, never more.
        SetHint(offset, after);
        WriteRange(uint64_t{offset} + place * mb::kChunk, data, true);
        std::vector<uint8_t> raw(mb::kSlotSize);
        raw[0] = s.chunkOffset;
        raw[1] = s.chunks;
        Put16(raw, 2, s.modNumber);
        raw[4] = s.lastBytes;
        WriteRange(uint64_t{offset} + mb::kSlotTable + index * mb::kSlotSize, raw);
        layout.Set(offset, after);
        return {offset | index, length, s.modNumber};
    }

    // A new suballocated block, written whole at once: header, the slot 0x3F, the data.
    const uint16_t mod = NextModNumber();
    uint32_t offset = TakeFreeRun(1);
    if (offset == 0) offset = static_cast<uint32_t>(file_.Size());
    const uint32_t index = mb::kSlots - 1;
    std::vector<uint8_t> raw(mb::kUnit, 0);
    raw[0] = mb::kTypeSuballocated;
    Put16(raw, 1, 1);
    const size_t at = mb::kSlotTable + index * mb::kSlotSize;
    raw[at] = static_cast<uint8_t>(mb::kFirstDataChunk);
    raw[at + 1] = entry.chunks;
    Put16(raw, at + 2, mod);
    raw[at + 4] = entry.lastBytes;
    std::copy(data.begin(), data.end(), raw.begin() + mb::kFirstDataChunk * mb::kChunk);
    WriteRange(offset, raw);

    SlotTable slots;
    slots[index] = {static_cast<uint8_t>(mb::kFirstDataChunk), entry.chunks, mod, entry.lastBytes};
    layout.Set(offset, Summarize(mb::kTypeSuballocated, 1, slots));
    return {offset | index, length, mod};
}

// ---- Freeing ----------------------------------------------------------------------------------

void BlobFile::FreeRun(uint32_t offset, uint32_t units) {
    Layout& layout = Blocks();
    // Adjacent free blocks join into one run, the combined size in the first.
    auto next = layout.blocks.find(offset + units * mb::kUnit);
    if (next != layout.blocks.end() && next->second.type == mb::kTypeFree &&
        units + next->second.units <= mb::kMaxUnits) {
        units += next->second.units;
        layout.Erase(next->first);
    }
    std::vector<uint8_t> head = {mb::kTypeFree, static_cast<uint8_t>(units),
                                 static_cast<uint8_t>(units >> 8)};
    WriteRange(offset, head);
    layout.Set(offset, Block{mb::kTypeFree, 0, static_cast<uint16_t>(units)});
    auto it = layout.blocks.find(offset);
    if (it != layout.blocks.begin()) {
        auto prev = std::prev(it);
        if (prev->second.type == mb::kTypeFree &&
            prev->first + uint64_t{prev->second.units} * mb::kUnit == offset &&
            prev->second.units + units <= mb::kMaxUnits) {
            const uint32_t joined = prev->second.units + units;
            head = {mb::kTypeFree, static_cast<uint8_t>(joined), static_cast<uint8_t>(joined >> 8)};
            WriteRange(prev->first, head);
            const uint32_t prevOffset = prev->first;
            layout.Erase(offset);
            layout.Set(prevOffset, Block{mb::kTypeFree, 0, static_cast<uint16_t>(joined)});
        }
    }
}

void BlobFile::Free(uint32_t offsetAndIndex) {
    if (offsetAndIndex == 0) return;
    const uint32_t offset = offsetAndIndex & 0xFFFFFF00u;
    const uint32_t index = offsetAndIndex & 0xFFu;
    const std::string where = Where(offset);
    const std::string blob = "freeing blob " + Hex(offsetAndIndex) + ": ";
    try {
        Layout& layout = Blocks();
        auto it = layout.blocks.find(offset);
        if (it == layout.blocks.end()) Corrupt(where, blob + "no block starts there");
        const Block block = it->second;
        if (index == mb::kSingleIndex) {
            if (block.type != mb::kTypeSingle)
                Corrupt(where, blob + "block type " + std::to_string(block.type) +
                                   " where a single-blob block (2) belongs");
            ClearHintFor(offset);
            FreeRun(offset, block.units);
            return;
        }
        if (block.type != mb::kTypeSuballocated)
            Corrupt(where, blob + "block type " + std::to_string(block.type) +
                               " where a suballocated block (3) belongs");
        if (index >= mb::kSlots)
            Corrupt(where, blob + "slot " + Hex(index) + " beyond the block's 64 slots");
        SlotTable slots = ReadSlots(offset);
        if (!slots[index].Live()) Corrupt(where, blob + "slot " + Hex(index) + " is free");
        slots[index] = Slot{};
        const Block after = Summarize(block.type, block.units, slots);
        if (after.freeSlots == mb::kSlots) {
            // The last blob of the block: the whole block becomes free space.
            ClearHintFor(offset);
            FreeRun(offset, 1);
            return;
        }
        const std::vector<uint8_t> zero(mb::kSlotSize, 0);
        WriteRange(uint64_t{offset} + mb::kSlotTable + index * mb::kSlotSize, zero);
        layout.Set(offset, after);
        SetHint(offset, after);
    } catch (...) {
        blocks_.reset();
        header_.reset();
        throw;
    }
}

}  // namespace pq::paradox
