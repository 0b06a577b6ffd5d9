// The header of a Paradox data file (.DB) or primary index (.PX): parsed from its bytes with
// every count checked, and built for new files. The layout is in format.h.
// A FileHeader keeps the bytes it was read from; the engine changes the counts it maintains
// and writes the fixed part back, so the fields it does not know survive untouched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "paradox/coding.h"
#include "paradox/file.h"
#include "paradox/schema.h"

namespace pq::paradox {

struct FileHeader {
    uint16_t recordSize = 0;
    uint16_t headerSize = 0;
    uint8_t fileType = 0;
    uint8_t blockSizeKiB = 0;
    uint32_t recordCount = 0;
    uint16_t blocksInUse = 0;
    uint16_t blocksInFile = 0;
    uint16_t firstBlock = 0;
    uint16_t lastBlock = 0;
    uint16_t firstFreeBlock = 0;
    uint8_t fileVersion = 0;
    uint32_t encryptionKey = 0;  // 0: not encrypted
    uint32_t autoIncrement = 0;  // .DB: the last value issued
    int codePage = 437;
    uint8_t sortOrder = 0;
    uint16_t indexRoot = 0;     // .PX
    uint8_t indexLevels = 0;    // .PX
    int keyFieldCount = 0;      // .DB
    std::vector<Field> fields;  // .DB: every field; .PX: the key fields (names empty)
    std::string tableName;      // as stored in the header, UTF-8
    std::vector<uint8_t> raw;   // the header bytes

    uint32_t BlockSize() const { return uint32_t{blockSizeKiB} * 1024; }
    // A tree of index entries (.PX, .Ynn, .YGn): root and levels instead of auto-increment.
    bool IsIndex() const;
    // Copies the counts above (records, blocks, chain ends, free list, auto-increment for a
    // .DB, root and levels for a .PX) into raw.
    void StoreCounts();
};

// What a header is read as: a table (.DB), a primary index (.PX), a secondary index's records
// (.Xnn, .XGn: laid out as a keyed table's header, its key the index's fields and the table's
// key) or a secondary index's tree (.Ynn, .YGn: laid out as a primary index's header).
enum class HeaderKind { kTable, kPrimaryIndex, kSecondaryRecords, kSecondaryTree };

// Bytes needed before the header size is known.
inline constexpr size_t kHeaderProbeSize = 0x58;

// The header size stored in the first bytes. REQUIRES: probe.size() >= kHeaderProbeSize.
uint16_t HeaderSizeOf(Bytes probe);

// Parses a whole header (bytes.size() == header size). `where` names the file in errors.
// Checks: file type (as `kind` expects), block size, version, field count, field
// types and sizes, record size against the fields and the block size, and every read within the
// header. A level 3 table has no code page in its header; it is read as 437.
FileHeader ParseHeader(Bytes bytes, const std::string& where, HeaderKind kind);
inline FileHeader ParseHeader(Bytes bytes, const std::string& where, bool index) {
    return ParseHeader(bytes, where, index ? HeaderKind::kPrimaryIndex : HeaderKind::kTable);
}

// Reads and parses the header at the start of `file` (sizes checked against the file first).
FileHeader ReadFileHeader(File& file, const std::string& where, HeaderKind kind);
inline FileHeader ReadFileHeader(File& file, const std::string& where, bool index) {
    return ReadFileHeader(file, where, index ? HeaderKind::kPrimaryIndex : HeaderKind::kTable);
}

// A new table's header with no records and no blocks. `tableName` is the file name stored in
// the header (UTF-8). REQUIRES: ValidateSchemaForCreate(schema) passed.
std::vector<uint8_t> BuildTableHeader(const Schema& schema, const std::string& tableName,
                                      uint32_t encryptionKey);

// A new, empty primary index header for a keyed table, with `blockSize`-byte index blocks.
// `tableHeader` is the table's header (its change counters are mirrored as the original
// engine does).
std::vector<uint8_t> BuildIndexHeader(const Schema& schema, const std::string& indexName,
                                      uint32_t blockSize, Bytes tableHeader);

}  // namespace pq::paradox
