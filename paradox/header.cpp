#include "paradox/header.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/format.h"

namespace pq::paradox {

namespace f = format;

namespace {

bool ValidFieldSize(FieldType type, uint16_t size) {
    switch (type) {
        case FieldType::kAlpha:
        case FieldType::kBytes:
            return size >= 1;
        case FieldType::kBcd:
            return size <= 32;
        case FieldType::kMemo:
        case FieldType::kFmtMemo:
        case FieldType::kBinary:
        case FieldType::kOle:
        case FieldType::kGraphic:
            return size >= f::kBlobDescriptorSize;
        default:
            return size == FixedFieldSize(type);
    }
}

size_t TableNameLength(uint8_t version) {
    return version >= f::kVersion7 ? f::kTableNameLength7 : f::kTableNameLength;
}

uint16_t VersionWord(uint8_t version) {
    return static_cast<uint16_t>(0x0100 | version);
}

}  // namespace

bool FileHeader::IsIndex() const {
    return fileType == f::kFilePrimaryIndex || fileType == f::kFileSecondaryTree ||
           fileType == f::kFileCompositeTree;
}

void FileHeader::StoreCounts() {
    MutableBytes out(raw);
    PutU32(out, f::kRecordCount, recordCount);
    PutU16(out, f::kBlocksInUse, blocksInUse);
    PutU16(out, f::kBlocksInFile, blocksInFile);
    PutU16(out, f::kFirstBlock, firstBlock);
    PutU16(out, f::kLastBlock, lastBlock);
    PutU16(out, f::kMaxBlocks, blocksInFile);
    PutU16(out, f::kFirstFreeBlock, firstFreeBlock);
    if (IsIndex()) {
        PutU16(out, f::kIndexRoot, indexRoot);
        PutU8(out, f::kIndexLevels, indexLevels);
    } else {
        PutU32(out, f::kAutoIncrement, autoIncrement);
    }
}

uint16_t HeaderSizeOf(Bytes probe) {
    return GetU16(probe, f::kHeaderSize);
}

FileHeader ParseHeader(Bytes bytes, const std::string& where, HeaderKind kind) {
    const bool index = kind == HeaderKind::kPrimaryIndex || kind == HeaderKind::kSecondaryTree;
    const ByteReader r(bytes, where + ": header");
    FileHeader h;
    h.raw.assign(bytes.begin(), bytes.end());
    h.recordSize = r.U16(f::kRecordSize);
    h.headerSize = r.U16(f::kHeaderSize);
    h.fileType = r.U8(f::kFileType);
    h.blockSizeKiB = r.U8(f::kBlockSizeKiB);
    h.recordCount = r.U32(f::kRecordCount);
    h.blocksInUse = r.U16(f::kBlocksInUse);
    h.blocksInFile = r.U16(f::kBlocksInFile);
    h.firstBlock = r.U16(f::kFirstBlock);
    h.lastBlock = r.U16(f::kLastBlock);
    h.firstFreeBlock = r.U16(f::kFirstFreeBlock);
    h.fileVersion = r.U8(f::kFileVersion);
    h.sortOrder = r.U8(f::kSortOrder);
    const int fieldCount = r.I16(f::kFieldCount);
    const int keyCount = r.I16(f::kKeyFieldCount);

    auto bad = [&](const std::string& what) { Corrupt(where + ": header", what); };
    if (h.headerSize != bytes.size()) bad("header size does not match the bytes read");
    switch (kind) {
        case HeaderKind::kTable:
            if (h.fileType != f::kFileKeyedTable && h.fileType != f::kFileUnkeyedTable)
                bad("file type " + std::to_string(h.fileType) + " is not a table");
            break;
        case HeaderKind::kPrimaryIndex:
            if (h.fileType != f::kFilePrimaryIndex)
                bad("file type " + std::to_string(h.fileType) + " is not a primary index");
            break;
        case HeaderKind::kSecondaryRecords:
            if (h.fileType != f::kFileSecondaryStatic && h.fileType != f::kFileSecondary &&
                h.fileType != f::kFileCompositeStatic && h.fileType != f::kFileComposite)
                bad("file type " + std::to_string(h.fileType) + " is not a secondary index");
            break;
        case HeaderKind::kSecondaryTree:
            if (h.fileType != f::kFileSecondaryTree && h.fileType != f::kFileCompositeTree)
                bad("file type " + std::to_string(h.fileType) + " is not a secondary index's tree");
            break;
    }
    if (h.blockSizeKiB < 1 || h.blockSizeKiB > 32)
        bad("block size of " + std::to_string(h.blockSizeKiB) + " KiB");
    if (h.fileVersion < 3 || h.fileVersion > 0x0C)
        bad("unknown file version " + std::to_string(h.fileVersion));
    if (fieldCount < 1 || fieldCount > 255) bad("field count " + std::to_string(fieldCount));
    if (!index && (keyCount < 0 || keyCount > fieldCount))
        bad("key field count " + std::to_string(keyCount));
    if (kind == HeaderKind::kTable && (h.fileType == f::kFileKeyedTable) != (keyCount > 0))
        bad("file type and key field count disagree");
    h.keyFieldCount = index ? 0 : keyCount;

    const bool extended = !index && h.fileVersion >= 5;
    const uint32_t enc1 = r.U32(f::kEncryption1);
    if (extended) {
        h.encryptionKey = r.U32(f::kEncryption2);
        h.codePage = r.U16(f::kCodePage);
        if (h.codePage == 0) h.codePage = 437;
    } else {
        h.encryptionKey = enc1 == f::kEncryptionMoved ? 0 : enc1;
    }
    if (!index) h.autoIncrement = r.U32(f::kAutoIncrement);
    if (index) {
        h.indexRoot = r.U16(f::kIndexRoot);
        h.indexLevels = r.U8(f::kIndexLevels);
    }

    size_t at = extended ? f::kExtensionEnd : f::kFixedPartEnd;
    size_t recordBytes = 0;
    for (int i = 0; i < fieldCount; ++i) {
        const uint8_t type = r.U8(at + 2 * i);
        const uint8_t size = r.U8(at + 2 * i + 1);
        if (!IsKnownFieldType(type))
            bad("field " + std::to_string(i + 1) + " has unknown type 0x" + [&] {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%02X", type);
                return std::string(buf);
            }());
        Field field;
        field.type = static_cast<FieldType>(type);
        field.size = size;
        if (!ValidFieldSize(field.type, size))
            bad("field " + std::to_string(i + 1) + " (" + TypeName(field.type) + ") has size " +
                std::to_string(size));
        recordBytes += field.RecordBytes();
        h.fields.push_back(field);
    }
    const size_t expected = recordBytes + (index ? f::kIndexEntryTrailer : 0);
    if (h.recordSize != expected)
        bad("record size " + std::to_string(h.recordSize) + " but the fields take " +
            std::to_string(expected));
    if (h.recordSize + f::kBlockHeader > h.BlockSize())
        bad("records of " + std::to_string(h.recordSize) + " bytes do not fit a block");
    at += 2 * fieldCount;
    at += 4;                           // table name pointer
    if (!index) at += 4 * fieldCount;  // field name pointers
    const size_t nameLength = TableNameLength(h.fileVersion);
    const Bytes nameBytes = r.Sub(at, nameLength);
    size_t nameEnd = 0;
    while (nameEnd < nameBytes.size() && nameBytes[nameEnd]) ++nameEnd;
    h.tableName = text::ToUtf8(
        std::string_view(reinterpret_cast<const char*>(nameBytes.data()), nameEnd), h.codePage);
    at += nameLength;
    if (!index) {
        for (int i = 0; i < fieldCount; ++i) {
            size_t end = 0;
            const std::string name = r.CString(at, &end);
            h.fields[i].name = text::ToUtf8(name, h.codePage);
            at = end;
        }
    }
    return h;
}

FileHeader ReadFileHeader(File& file, const std::string& where, HeaderKind kind) {
    const uint64_t size = file.Size();
    if (size < kHeaderProbeSize)
        Corrupt(where, "the file has " + std::to_string(size) + " bytes, too few for a header");
    std::vector<uint8_t> probe(kHeaderProbeSize);
    file.ReadAt(0, probe.data(), probe.size());
    const uint16_t headerSize = HeaderSizeOf(probe);
    if (headerSize < kHeaderProbeSize || headerSize > size)
        Corrupt(where + ": header", "header size " + std::to_string(headerSize) +
                                        " does not fit a file of " + std::to_string(size) +
                                        " bytes");
    std::vector<uint8_t> bytes(headerSize);
    file.ReadAt(0, bytes.data(), bytes.size());
    return ParseHeader(bytes, where, kind);
}

std::vector<uint8_t> BuildTableHeader(const Schema& s, const std::string& tableName, uint32_t key) {
    const uint8_t v = s.fileVersion;
    const size_t nf = s.fields.size();
    const size_t nameLength = TableNameLength(v);
    std::vector<std::string> names;
    size_t nameBytes = 0;
    for (const auto& field : s.fields) {
        names.push_back(text::FromUtf8(field.name, s.codePage));
        nameBytes += names.back().size() + 1;
    }
    const std::string sortName = "ascii";
    const size_t real =
        f::kExtensionEnd + nf * (2 + 4 + 2) + 4 + nameLength + nameBytes + sortName.size() + 1;
    const size_t headerSize = (real + f::kHeaderUnit - 1) / f::kHeaderUnit * f::kHeaderUnit;
    if (headerSize > 0xF800) throw Error("Invalid table structure: the header would be too large");
    std::vector<uint8_t> h(headerSize, 0);
    MutableBytes out(h);
    PutU16(out, f::kRecordSize, static_cast<uint16_t>(s.RecordSize()));
    PutU16(out, f::kHeaderSize, static_cast<uint16_t>(headerSize));
    PutU8(out, f::kFileType, s.keyFieldCount > 0 ? f::kFileKeyedTable : f::kFileUnkeyedTable);
    PutU8(out, f::kBlockSizeKiB, static_cast<uint8_t>(s.blockSize / 1024));
    PutU16(out, f::kChangeCounter, 3);
    PutU16(out, f::kFieldCount, static_cast<uint16_t>(nf));
    PutU16(out, f::kKeyFieldCount, static_cast<uint16_t>(s.keyFieldCount));
    PutU32(out, f::kEncryption1, f::kEncryptionMoved);
    PutU8(out, f::kSortOrder, s.sortOrder);
    PutU8(out, f::kChangeCount1, 1);
    PutU8(out, f::kChangeCount2, 1);
    PutU8(out, f::kFileVersion, v);
    PutU16(out, f::kConstant3E, f::kConstant3EValue);
    PutU16(out, f::kRealHeaderSize, static_cast<uint16_t>(real));
    PutU8(out, f::kConstant56, f::kConstant56Value);
    PutU16(out, f::kVersionWord1, VersionWord(v));
    PutU16(out, f::kVersionWord2, VersionWord(v));
    PutU32(out, f::kEncryption2, key);
    PutU16(out, f::kHighFieldId, static_cast<uint16_t>(nf + 1));
    PutU16(out, f::kHighFieldIdInfo,
           static_cast<uint16_t>(0x20 + nf * (2 + 4) + 4 + nameLength + nameBytes));
    PutU16(out, f::kCodePage, static_cast<uint16_t>(s.codePage));
    PutU8(out, f::kUnknown6C, 1);
    PutU8(out, f::kUnknown6C + 1, 1);
    PutU16(out, f::kUnknown6E,
           static_cast<uint16_t>(0x18 + nf * (2 + 4 + 2) + 4 + nameLength + nameBytes + 8));
    PutU16(out, f::kChangeCount4, 1);
    size_t at = f::kExtensionEnd;
    for (const auto& field : s.fields) {
        PutU8(out, at++, static_cast<uint8_t>(field.type));
        PutU8(out, at++, static_cast<uint8_t>(field.size));
    }
    at += 4 + 4 * nf;  // run-time pointers, zero
    const std::string storedName = text::FromUtf8(tableName, s.codePage);
    std::memcpy(h.data() + at, storedName.data(), std::min(storedName.size(), nameLength - 1));
    at += nameLength;
    for (const auto& name : names) {
        std::memcpy(h.data() + at, name.data(), name.size());
        at += name.size() + 1;
    }
    for (size_t i = 0; i < nf; ++i) {
        PutU16(out, at, static_cast<uint16_t>(i + 1));
        at += 2;
    }
    std::memcpy(h.data() + at, sortName.data(), sortName.size());
    return h;
}

std::vector<uint8_t> BuildIndexHeader(const Schema& s, const std::string& indexName,
                                      uint32_t blockSize, Bytes tableHeader) {
    const size_t nk = static_cast<size_t>(s.keyFieldCount);
    const size_t nameLength = TableNameLength(s.fileVersion);
    std::vector<uint8_t> h(f::kHeaderUnit, 0);
    MutableBytes out(h);
    PutU16(out, f::kRecordSize, static_cast<uint16_t>(s.KeySize() + f::kIndexEntryTrailer));
    PutU16(out, f::kHeaderSize, static_cast<uint16_t>(h.size()));
    PutU8(out, f::kFileType, f::kFilePrimaryIndex);
    PutU8(out, f::kBlockSizeKiB, static_cast<uint8_t>(blockSize / 1024));
    // The original engine keeps the index's counter one ahead of the table's and mirrors the
    // table's change counter 1 at 0x2C; an index that disagrees is reported out of date.
    PutU16(out, f::kChangeCounter,
           static_cast<uint16_t>(GetU16(tableHeader, f::kChangeCounter) + 1));
    PutU16(out, f::kFieldCount, static_cast<uint16_t>(nk));
    PutU8(out, f::kSortOrder, s.sortOrder);
    PutU8(out, f::kIndexChangeCopy, tableHeader[f::kChangeCount1]);
    PutU8(out, f::kFileVersion, s.fileVersion);
    PutU8(out, f::kIndexMarker49, 1);
    PutU16(out, f::kRealHeaderSize,
           static_cast<uint16_t>(f::kFixedPartEnd + nk * 2 + 4 + nameLength));
    size_t at = f::kFixedPartEnd;
    for (size_t i = 0; i < nk; ++i) {
        PutU8(out, at++, static_cast<uint8_t>(s.fields[i].type));
        PutU8(out, at++, static_cast<uint8_t>(s.fields[i].size));
    }
    at += 4;
    const std::string storedName = text::FromUtf8(indexName, s.codePage);
    std::memcpy(h.data() + at, storedName.data(), std::min(storedName.size(), nameLength - 1));
    return h;
}

}  // namespace pq::paradox
