// The structure of a Paradox table: its fields (name, type, size), key, level, block size, code
// page and sort order. Plain values, copied freely; a Table hands out its own copy.
//
// Field sizes are the numbers the header stores: the length of alpha and bytes fields, the
// record bytes of blob fields (leader + 10), the number of decimals of BCD fields (which take
// 17 record bytes), and the fixed width of every other type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pq::paradox {

enum class FieldType : uint8_t {
    kAlpha = 0x01,
    kDate = 0x02,
    kShort = 0x03,
    kLong = 0x04,
    kCurrency = 0x05,
    kNumber = 0x06,
    kLogical = 0x09,
    kMemo = 0x0C,
    kBinary = 0x0D,
    kFmtMemo = 0x0E,
    kOle = 0x0F,
    kGraphic = 0x10,
    kTime = 0x14,
    kTimestamp = 0x15,
    kAutoInc = 0x16,
    kBcd = 0x17,
    kBytes = 0x18,
};

// True for the type codes above.
bool IsKnownFieldType(uint8_t code);
// Memo, binary, formatted memo, OLE and graphic: content in the blob file.
bool IsBlobType(FieldType type);
// The letter Paradox shows for the type ("A", "D", "S", "I", "$", "N", "L", "M", "B", "F",
// "O", "G", "T", "@", "+", "#", "Y").
char TypeLetter(FieldType type);
std::optional<FieldType> TypeFromLetter(char letter);
// A readable name ("alpha", "date", ..., "bytes").
const char* TypeName(FieldType type);

struct Field {
    std::string name;  // UTF-8
    FieldType type = FieldType::kAlpha;
    uint16_t size = 0;  // as stored in the header (see above)

    // Bytes the field takes in a record.
    size_t RecordBytes() const;
    // Blob fields: bytes of the leader (the inline part) before the 10-byte descriptor.
    size_t LeaderBytes() const;
};

// The fixed size of a type, or 0 for the types whose size is chosen (alpha, bytes, blobs, BCD).
uint16_t FixedFieldSize(FieldType type);

struct Schema {
    std::vector<Field> fields;
    int keyFieldCount = 0;       // the first keyFieldCount fields form the primary key
    uint8_t fileVersion = 0x0C;  // header byte 0x39; see VersionForLevel
    uint32_t blockSize = 2048;   // data block size in bytes (a multiple of 1024)
    int codePage = 1252;
    uint8_t sortOrder = 0;  // 0 = ascii (byte order)

    size_t RecordSize() const;
    size_t KeySize() const;  // bytes of the key fields
    // The position of a field by name (ASCII letters compared without case), or -1.
    int Find(std::string_view name) const;
};

// Level 4, 5 or 7 to the version byte written for it; nullopt for other levels.
std::optional<uint8_t> VersionForLevel(int level);
// "3.0", "3.5", "4", "5" or "7" for a version byte.
std::string LevelName(uint8_t fileVersion);

// Checks what a new table needs: 1..255 fields with unique, non-empty names of at most 25
// characters, valid sizes, key fields first and of a keyable type, a record that fits a block, a
// supported level, block size and code page. Throws Error naming the problem.
void ValidateSchemaForCreate(const Schema& schema);

}  // namespace pq::paradox
