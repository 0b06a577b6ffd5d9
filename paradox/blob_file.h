// The blob file (.MB) of a Paradox table: the memo, binary, OLE and graphic values too long for
// their field's leader in the record. A BlobFile reads a blob from the pointer the record holds,
// writes a new blob and returns the pointer to store, and frees a blob's space for reuse. A blob
// is never changed in place: replacing one is Write of the new value, then the record, then Free
// of the old one.
//
// Ownership: the BlobFile uses the caller's File (it neither owns nor closes it). It caches the
// block layout after the first Write or Free, so while it lives no one else may write the file.
// With a key, every byte it reads or writes passes through the .MB chunk transform (crypt.h).
//
// Space: a small blob takes the highest free slot of the first suballocated block with a gap
// long enough (first fit); a large one the smallest free run that holds it, split when longer,
// or new blocks at the end. Freed slots are zeroed; a block whose last slot is freed, and a freed
// single-blob block, become free blocks joined with free neighbours. The file never shrinks.
// The header's hint (0x38) is kept true when the file has one and never made up.
//
// Layout: a 4 KiB header block, then blocks of whole 4 KiB units, one after the other; the file
// size is a multiple of 4096. Integers are little-endian.
//
// Every block starts with
//   | off | size | meaning                                                       |
//   |-----|------|---------------------------------------------------------------|
//   | 0   | u8   | type: 0 header, 2 single blob, 3 suballocated, 4 free         |
//   | 1   | u16  | size in 4 KiB units (free blocks: the whole run of free units) |
//
// Header block (type 0, size 1), as every file seen has it:
//   | off  | size | meaning                                                          |
//   |------|------|------------------------------------------------------------------|
//   | 03   | u16  | modification count: the number given to the latest blob written  |
//   | 05   | 6    | 82 73 02 00 29 00 (meaning unknown, always these)                |
//   | 0B   | u16  | unit size 0x1000                                                 |
//   | 0D   | u16  | suballocated block size 0x1000                                   |
//   | 10   | u8   | suballocation chunk 0x10                                         |
//   | 11   | u16  | slots per suballocated block 0x40                                |
//   | 13   | u16  | suballocation threshold 0x0800: shorter blobs share a block      |
//   | 28   | 3    | 00 A1 02 (meaning unknown, always these)                         |
//   | 38   | u32  | a suballocated block with room: its offset, low byte 0x02 (seen   |
//   |      |      | only so); 0 when there is none                                   |
//   | 3C   | u32  | the free 16-byte chunks in that block                            |
//   the rest is zero.
//
// Single-blob block (type 2), for a blob of 2048 bytes or more:
//   | off | size | meaning                                                       |
//   | 1   | u16  | size: ceil((length + 9) / 4096)                               |
//   | 3   | u32  | length                                                        |
//   | 7   | u16  | modification number                                           |
//   | 9   |      | the blob                                                      |
//
// Suballocated block (type 3, size 1), up to 64 blobs shorter than 2048 bytes:
//   | off        | size | meaning                                                |
//   | 3          | 9    | unknown (zero in the blocks we write)                  |
//   | 12 + 5*i   | 5    | slot i (0..63): u8 data offset / 16, u8 16-byte chunks,|
//   |            |      | u16 modification number, u8 bytes used in the last    |
//   |            |      | chunk (1..16). Offset 0 or last 0: a free slot.        |
//   | 0x150      |      | the data chunks, to the end of the block               |
//   Slots are taken from 0x3F downwards.
//
// The record points at a blob with u32 offset|index: the block's offset in the file with the
// slot number in the low byte (0xFF for a single-blob block), u32 length and u16 modification
// number (the same number the block or slot holds).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "paradox/file.h"

namespace pq::paradox {

namespace mb {
inline constexpr uint32_t kUnit = 4096;
inline constexpr uint32_t kHeaderModCount = 0x03;
inline constexpr uint32_t kHeaderHintBlock = 0x38;
inline constexpr uint32_t kHeaderHintFreeChunks = 0x3C;
inline constexpr uint8_t kTypeHeader = 0;
inline constexpr uint8_t kTypeSingle = 2;
inline constexpr uint8_t kTypeSuballocated = 3;
inline constexpr uint8_t kTypeFree = 4;
inline constexpr uint32_t kSingleHeader = 9;   // type, size, length, modification
inline constexpr uint32_t kSmallLimit = 2048;  // shorter blobs go into slots
inline constexpr uint32_t kSlots = 64;
inline constexpr uint32_t kSlotTable = 12;  // slot i at 12 + 5 * i
inline constexpr uint32_t kSlotSize = 5;
inline constexpr uint32_t kChunk = 16;
inline constexpr uint32_t kFirstDataChunk = 0x150 / 16;      // 21
inline constexpr uint32_t kChunksPerBlock = kUnit / kChunk;  // 256
inline constexpr uint8_t kSingleIndex = 0xFF;
inline constexpr uint32_t kMaxUnits = 0xFFFF;
// The longest blob a single-blob block can hold.
inline constexpr uint32_t kMaxLength = kMaxUnits * kUnit - kSingleHeader;
}  // namespace mb

// Where the record finds a blob (the 10 bytes after the field's leader).
struct BlobRef {
    uint32_t offsetAndIndex = 0;
    uint32_t length = 0;
    uint16_t modNumber = 0;
};

class BlobFile {
  public:
    // Writes a valid empty blob file (the header block alone) over the whole of `f`.
    static void CreateEmpty(File& f, std::optional<uint32_t> key);

    // CorruptError when the header block or the file size break the format. `name` names the
    // file in every error (e.g. "CUSTOMER.MB").
    BlobFile(File& f, std::string name, std::optional<uint32_t> key);

    // The blob the record points at. Length 0 (a null or a value kept whole in the leader)
    // gives an empty vector without touching the file. CorruptError when the pointer, the
    // block, the slot, the length or the modification number disagree with the file.
    std::vector<uint8_t> Read(uint32_t offsetAndIndex, uint32_t length, uint16_t modNumber) const;

    // Stores a new blob and returns the pointer for the record. An empty value is stored
    // nowhere and gives {0, 0, 0}. The blob's bytes are on the file before any structure that
    // points at them; a failed write leaves the earlier blobs readable and the file valid.
    // Error when the value is longer than mb::kMaxLength or the file would pass 4 GiB.
    BlobRef Write(std::span<const uint8_t> data);
    // The same for a blob stored as `prefix` followed by `data` (a graphic's prefix and its
    // picture). A blob of its own block is written without joining the two first; one small
    // enough for a slot is joined (under 2 KiB).
    BlobRef Write(std::span<const uint8_t> prefix, std::span<const uint8_t> data);

    // Releases a blob's space for later writes. 0 (nothing in the file) is no-op; a pointer at
    // anything but a live blob is a CorruptError.
    void Free(uint32_t offsetAndIndex);

    // Every block's type and size against the file, every slot against its block. Adds one line
    // per problem found to `problems`; never throws CorruptError.
    void Check(std::vector<std::string>& problems) const;
    // Check, throwing the first problem as CorruptError.
    void Validate() const;
    // The blob pointers the records hold (offset|index, as in BlobRef) against the blocks the
    // walk finds. Problems: a pointer into a free run, into the middle of another block or
    // past the last block, and two pointers at one blob. Warnings: a live blob that no pointer
    // names (a save cut short before its record was written leaves one; its space is not
    // reused). `whose(i)` names pointer i in a message. Nothing is compared when the blocks
    // themselves are broken (Check reports that).
    void CheckPointers(const std::vector<uint32_t>& pointers,
                       const std::function<std::string(size_t)>& whose,
                       std::vector<std::string>& problems,
                       std::vector<std::string>& warnings) const;

    const std::string& Name() const { return name_; }
    // Forgets the block map, the header's counters and the size seen: after a save was undone
    // on the file, they are read again.
    void DropCache();

  private:
    // What the writer keeps of each block: 8 bytes, so the map of a file with a hundred thousand
    // blobs stays a few megabytes.
    struct Block {
        uint8_t type = 0;
        uint8_t freeSlots = 0;  // suballocated blocks only, as the next two
        uint16_t units = 0;     // size in 4 KiB units
        uint16_t freeChunks = 0;
        uint16_t largestGap = 0;  // the longest run of free data chunks
    };
    // The block map with the indexes that let a write find its place without a walk over every
    // block: free runs by size, and suballocated blocks with a free slot by their longest gap.
    struct Layout {
        std::map<uint32_t, Block> blocks;                                // offset -> block
        std::set<std::pair<uint32_t, uint32_t>> freeRuns;                // (units, offset)
        std::vector<std::set<uint32_t>> roomy{mb::kChunksPerBlock + 1};  // [gap] -> offsets
        void Index(uint32_t offset, const Block& b);
        void Unindex(uint32_t offset, const Block& b);
        void Set(uint32_t offset, const Block& b);
        void Erase(uint32_t offset);
    };
    struct Slot {
        uint8_t chunkOffset = 0;
        uint8_t chunks = 0;
        uint16_t modNumber = 0;
        uint8_t lastBytes = 0;
        bool Live() const { return chunkOffset != 0 && lastBytes != 0; }
        uint32_t Length() const { return (chunks - 1u) * mb::kChunk + lastBytes; }
    };
    using SlotTable = std::array<Slot, mb::kSlots>;

    std::string Where(uint64_t offset) const;
    // The file's size as last seen, asked again when `end` lies past it (the file only grows
    // while it is read, and a writer's size is kept by its file).
    uint64_t SizeFor(uint64_t end) const;
    // The header's counters, read once and then kept with every change this writer makes.
    std::vector<uint8_t> HeaderBytes(uint32_t at, uint32_t n);
    void WriteHeaderBytes(uint32_t at, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> ReadRange(uint64_t offset, size_t n) const;
    // ReadRange into `out`, resized to n.
    void ReadRangeInto(uint64_t offset, size_t n, std::vector<uint8_t>& out) const;
    // `overFree`: the bytes lie in free space (a gap of a suballocated block, a free run).
    void WriteRange(uint64_t offset, std::span<const uint8_t> bytes, bool overFree = false);
    SlotTable ReadSlots(uint32_t blockOffset) const;
    // The slot table from its 320 bytes.
    static SlotTable ParseSlots(std::span<const uint8_t> raw);
    static Block Summarize(uint8_t type, uint32_t units, const SlotTable& slots);
    void LoadBlocks();
    Layout& Blocks();
    uint16_t NextModNumber();
    void SetHint(uint32_t blockOffset, const Block& block);
    void ClearHintFor(uint32_t blockOffset);
    uint32_t TakeFreeRun(uint32_t units);
    BlobRef WriteSmall(std::span<const uint8_t> data);
    BlobRef WriteSingle(std::span<const uint8_t> prefix, std::span<const uint8_t> data);
    void FreeRun(uint32_t offset, uint32_t units);
    // Walks the blocks from the header to the end of the file, adding (where, what) problems.
    void Walk(std::vector<std::pair<std::string, std::string>>& problems,
              std::map<uint32_t, Block>& blocks) const;
    // Walk, then the header's hint against the blocks found.
    std::vector<std::pair<std::string, std::string>> Problems() const;

    File& file_;
    std::string name_;
    std::optional<uint32_t> key_;
    std::optional<Layout> blocks_;                // after LoadBlocks
    std::optional<std::vector<uint8_t>> header_;  // the first 0x40 bytes, once read
    mutable uint64_t sizeSeen_ = 0;
};

}  // namespace pq::paradox
