// The on-disk layout of Paradox data (.DB) and primary index (.PX) files: every offset and
// constant the engine reads or writes lives here, with the tables below as its description.
// The blob file (.MB) has its own module (blob_file.h).
//
// A file is a header of `headerSize` bytes followed by fixed-size blocks; block n (from 1)
// starts at headerSize + (n - 1) * blockSize. Header and block headers are little-endian;
// field data inside records is big-endian with the sign bit inverted (see coding.h).
//
// Header, fixed part (.DB and .PX):
//   | Off  | Size | Meaning                                                              |
//   |------|------|----------------------------------------------------------------------|
//   | 0x00 | u16  | record size (.PX: key size + 6)                                      |
//   | 0x02 | u16  | header size (0x0800, or a multiple of it with many fields)           |
//   | 0x04 | u8   | file type: 0 keyed .DB, 1 .PX, 2 unkeyed .DB, 3..8 secondary indexes |
//   | 0x05 | u8   | block size in KiB                                                    |
//   | 0x06 | u32  | records (.PX: index entries at all levels)                           |
//   | 0x0A | u16  | blocks in use                                                        |
//   | 0x0C | u16  | blocks in the file                                                   |
//   | 0x0E | u16  | first block of the chain (0 when empty)                              |
//   | 0x10 | u16  | last block of the chain                                              |
//   | 0x12 | u16  | change counter (.PX: the table's + 1)                                |
//   | 0x14 | u8   | modified flags 1 (non-zero: rebuild required)                        |
//   | 0x1E | u16  | .PX: root block                                                      |
//   | 0x20 | u8   | .PX: index levels (0 when empty)                                     |
//   | 0x21 | u16  | fields (.PX: key fields)                                             |
//   | 0x23 | u16  | key fields (.PX: 0)                                                  |
//   | 0x25 | u32  | level 3: encryption key; later levels: 0xFF00FF00                    |
//   | 0x29 | u8   | sort order code (0 = ascii)                                          |
//   | 0x2A | u8   | modified flags 2                                                     |
//   | 0x2C | u8   | .PX: copy of the table's change counter at 0x2D                      |
//   | 0x2D | u8   | change counter 1                                                     |
//   | 0x2E | u8   | change counter 2                                                     |
//   | 0x38 | u8   | write protected                                                      |
//   | 0x39 | u8   | file version: 3, 4 = 3.x; 5..9 = 4.x; 0x0A, 0x0B = 5.x; 0x0C = 7.x   |
//   | 0x3A | u16  | max blocks (= blocks in the file)                                    |
//   | 0x3D | u8   | auxiliary passwords                                                  |
//   | 0x3E | u16  | 0x0F1F in .DB files                                                  |
//   | 0x49 | u32  | last auto-increment value issued                                     |
//   | 0x4D | u16  | first free block (a singly linked list through the block headers)    |
//   | 0x4F | u8   | index update required                                                |
//   | 0x51 | u16  | real header size (bytes of the header in use)                        |
//   | 0x56 | u8   | 0x20 in .DB files                                                    |
//
// Level 4 and later, .DB only (0x58..0x77):
//   | 0x58 | u16 | file version word (0x0109, 0x010B, 0x010C); 0x5A: the same            |
//   | 0x5C | u32 | encryption key (the password checksum; 0 when not encrypted)          |
//   | 0x60 | u32 | update time                                                           |
//   | 0x64 | u16 | fields + 1                                                            |
//   | 0x66 | u16 | 0x20 + 6 * fields + 4 + table name length + field name bytes          |
//   | 0x6A | u16 | DOS code page                                                         |
//   | 0x6C | u8,u8 | 1, 1                                                                |
//   | 0x6E | u16 | 0x18 + 8 * fields + 4 + table name length + field name bytes + 8      |
//   | 0x70 | u16 | change counter 4                                                      |
//
// Variable part, from 0x78 (level 4+ .DB) or 0x58 (level 3 .DB, every .PX):
//   {u8 type, u8 size} per field; u32 table name pointer; .DB only: u32 per field (field name
//   pointers); the table name, zero padded to 79 bytes (261 from file version 0x0C); .DB only:
//   the field names, each NUL terminated; u16 per field (numbers 1..n); the sort order name,
//   NUL terminated; zeros up to the header size. Pointers are run-time values: written as 0.
//
// Data block: u16 next block (0 = last), u16 previous block (0 = first), i16 offset of the last
// record ((records - 1) * recordSize; -recordSize when empty), then the records, packed.
//
// .PX entry (a record of the index): the key fields as in the table, then three i16 in field
// encoding: child block (a .DB block at level 1, a .PX block above), records under the entry,
// and 0. Level 1 holds one entry per data block, keyed by that block's first record; a higher
// level one entry per block of the level below. The .PX blocks form one chain, the root first,
// then each level's blocks in key order from the top level down to level 1.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pq::paradox::format {

// File types (header byte 0x04).
inline constexpr uint8_t kFileKeyedTable = 0;
inline constexpr uint8_t kFilePrimaryIndex = 1;
inline constexpr uint8_t kFileUnkeyedTable = 2;
// Secondary indexes: the records (.Xnn single field, .XGn composite or named; maintained on
// every change or not) and the tree over them (.Ynn, .YGn).
inline constexpr uint8_t kFileSecondaryStatic = 3;
inline constexpr uint8_t kFileSecondaryTree = 4;
inline constexpr uint8_t kFileSecondary = 5;
inline constexpr uint8_t kFileCompositeStatic = 6;
inline constexpr uint8_t kFileCompositeTree = 7;
inline constexpr uint8_t kFileComposite = 8;

// Header offsets, fixed part.
inline constexpr size_t kRecordSize = 0x00;
inline constexpr size_t kHeaderSize = 0x02;
inline constexpr size_t kFileType = 0x04;
inline constexpr size_t kBlockSizeKiB = 0x05;
inline constexpr size_t kRecordCount = 0x06;
inline constexpr size_t kBlocksInUse = 0x0A;
inline constexpr size_t kBlocksInFile = 0x0C;
inline constexpr size_t kFirstBlock = 0x0E;
inline constexpr size_t kLastBlock = 0x10;
inline constexpr size_t kChangeCounter = 0x12;
inline constexpr size_t kModifiedFlags1 = 0x14;
inline constexpr size_t kIndexRoot = 0x1E;
inline constexpr size_t kIndexLevels = 0x20;
inline constexpr size_t kFieldCount = 0x21;
inline constexpr size_t kKeyFieldCount = 0x23;
inline constexpr size_t kEncryption1 = 0x25;
inline constexpr size_t kSortOrder = 0x29;
inline constexpr size_t kModifiedFlags2 = 0x2A;
inline constexpr size_t kIndexChangeCopy = 0x2C;
inline constexpr size_t kChangeCount1 = 0x2D;
inline constexpr size_t kChangeCount2 = 0x2E;
inline constexpr size_t kWriteProtected = 0x38;
inline constexpr size_t kFileVersion = 0x39;
inline constexpr size_t kMaxBlocks = 0x3A;
inline constexpr size_t kAuxPasswords = 0x3D;
inline constexpr size_t kConstant3E = 0x3E;
inline constexpr size_t kIndexMarker49 = 0x49;  // .PX: 1 in every level 7 index seen
inline constexpr size_t kAutoIncrement = 0x49;
inline constexpr size_t kFirstFreeBlock = 0x4D;
inline constexpr size_t kIndexUpdateRequired = 0x4F;
inline constexpr size_t kRealHeaderSize = 0x51;
inline constexpr size_t kConstant56 = 0x56;
inline constexpr size_t kFixedPartEnd = 0x58;

// Level 4+ extension (.DB).
inline constexpr size_t kVersionWord1 = 0x58;
inline constexpr size_t kVersionWord2 = 0x5A;
inline constexpr size_t kEncryption2 = 0x5C;
inline constexpr size_t kUpdateTime = 0x60;
inline constexpr size_t kHighFieldId = 0x64;
inline constexpr size_t kHighFieldIdInfo = 0x66;
inline constexpr size_t kCodePage = 0x6A;
inline constexpr size_t kUnknown6C = 0x6C;
inline constexpr size_t kUnknown6E = 0x6E;
inline constexpr size_t kChangeCount4 = 0x70;
inline constexpr size_t kExtensionEnd = 0x78;

inline constexpr uint32_t kEncryptionMoved = 0xFF00FF00;
inline constexpr uint16_t kConstant3EValue = 0x0F1F;
inline constexpr uint8_t kConstant56Value = 0x20;

inline constexpr size_t kTableNameLength = 79;
inline constexpr size_t kTableNameLength7 = 261;
inline constexpr size_t kHeaderUnit = 0x0800;

// File version bytes (0x39) and the matching words at 0x58.
inline constexpr uint8_t kVersion30 = 0x03;
inline constexpr uint8_t kVersion35 = 0x04;
inline constexpr uint8_t kVersion4 = 0x09;
inline constexpr uint8_t kVersion5 = 0x0B;
inline constexpr uint8_t kVersion7 = 0x0C;

// Data and index blocks.
inline constexpr size_t kBlockHeader = 6;
inline constexpr size_t kBlockNext = 0;
inline constexpr size_t kBlockPrev = 2;
inline constexpr size_t kBlockLastOffset = 4;
inline constexpr size_t kIndexEntryTrailer = 6;  // child, count, 0
inline constexpr uint16_t kMaxBlocksPerFile = 0xFFFF;

// Blob field in a record: the leader, then 10 bytes (little-endian).
inline constexpr size_t kBlobDescriptorSize = 10;
inline constexpr uint32_t kBlobIndexSingle = 0xFF;

}  // namespace pq::paradox::format
