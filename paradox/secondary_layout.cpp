#include "paradox/secondary_layout.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/format.h"

namespace pq::paradox {

namespace f = format;

namespace {

size_t TableNameLength(uint8_t version) {
    return version >= f::kVersion7 ? f::kTableNameLength7 : f::kTableNameLength;
}

// Where the field names of a table-style header (.DB, .Xnn) end: the field numbers follow.
size_t FieldNamesEnd(const FileHeader& h, const std::string& where) {
    const ByteReader r(h.raw, where + ": header");
    const size_t nf = h.fields.size();
    size_t at = (h.fileVersion >= 5 ? f::kExtensionEnd : f::kFixedPartEnd) + 2 * nf + 4 + 4 * nf +
                TableNameLength(h.fileVersion);
    for (size_t i = 0; i < nf; ++i) r.CString(at, &at);
    return at;
}

}  // namespace

std::string SortOrderName(const FileHeader& h, const std::string& where) {
    const ByteReader r(h.raw, where + ": header");
    size_t at = FieldNamesEnd(h, where) + 2 * h.fields.size();
    return r.CString(at, &at);
}

namespace {

bool SameField(const Field& a, const Field& b) {
    return a.type == b.type && a.size == b.size;
}

}  // namespace

SecondaryLayout ReadSecondaryLayout(const FileHeader& x, const FileHeader& table,
                                    const std::string& where) {
    SecondaryLayout out;
    out.fileType = x.fileType;
    auto refuse = [&](const std::string& why) {
        if (out.refusal.empty()) out.refusal = why;
    };
    const ByteReader r(x.raw, where + ": header");
    const int nk = table.keyFieldCount;
    const int nf = static_cast<int>(x.fields.size());
    const int keys = nk > 0 ? nk : 2;  // an unkeyed table's entries end with three fields
    const int m = x.keyFieldCount - keys;
    if (m < 1 || m > kMaxSecondaryFields || nf != m + keys + 1)
        Corrupt(where + ": header", std::to_string(nf) + " fields with " +
                                        std::to_string(x.keyFieldCount) +
                                        " in its key do not fit a secondary index of the table");
    size_t at = FieldNamesEnd(x, where);
    std::vector<uint16_t> numbers(nf);
    for (int i = 0; i < nf; ++i) numbers[i] = r.U16(at + 2 * i);
    at += 2 * nf;
    size_t end = 0;
    const std::string sortName = r.CString(at, &end);
    out.name = text::ToUtf8(r.CString(end, &end), table.codePage);
    for (int i = 0; i < m; ++i) {
        const uint16_t n = numbers[i] & ~kSecondaryDescendingFlag;
        if (n < 1 || n > table.fields.size())
            Corrupt(where + ": header", "indexes field number " + std::to_string(n) +
                                            " of a table of " +
                                            std::to_string(table.fields.size()) + " fields");
        out.fields.push_back(n - 1u);
        out.names.push_back(table.fields[n - 1].name);
        if (numbers[i] & kSecondaryDescendingFlag) refuse("it is a descending index");
    }
    const bool maintained = x.fileType == f::kFileSecondary || x.fileType == f::kFileComposite;
    if (!maintained) return out;

    // What every real index file shows; anything else is a kind this engine does not know.
    if (nk == 0) refuse("the table has no primary key");
    if (table.encryptionKey != 0 || GetU32(x.raw, f::kEncryption2) != 0)
        refuse("the table is encrypted");
    // Levels 4, 5 and 7, which this engine writes (level 3 headers are laid out otherwise).
    if (x.fileVersion != f::kVersion4 && x.fileVersion != f::kVersion5 &&
        x.fileVersion != f::kVersion7)
        refuse("its file version " + std::to_string(x.fileVersion) +
               " is not one this engine writes");
    if (x.fileVersion != table.fileVersion) refuse("its file version differs from the table's");
    if (x.fileType == f::kFileSecondary && (m != 1 || !out.name.empty()))
        refuse("a single-field index file holds several fields or a name");
    if (x.raw[0x15] != numbers[0]) refuse("its header's indexed field disagrees");
    for (int i = 0; i < m; ++i)
        if (!SameField(x.fields[i], table.fields[out.fields[i]]) || IsBlobType(x.fields[i].type) ||
            numbers[i] != out.fields[i] + 1 ||
            (x.fields[i].name != table.fields[out.fields[i]].name &&
             !(m == 1 && x.fields[i].name == "Sec Key")))
            refuse("indexed field " + std::to_string(i + 1) + " differs from the table's");
    for (int j = 0; j < nk && j + m < nf; ++j)
        if (!SameField(x.fields[m + j], table.fields[j]) ||
            x.fields[m + j].name != table.fields[j].name)
            refuse("its key fields differ from the table's");
    const Field& last = x.fields[nf - 1];
    if (last.type != FieldType::kShort || last.name != kSecondaryBlockField)
        refuse("its last field is not the data block number");
    for (int i = m; i < nf; ++i)
        if (numbers[i] != i + 1) refuse("its field numbers differ from the usual layout");
    if (x.sortOrder != table.sortOrder || sortName != SortOrderName(table, where))
        refuse("its sort order differs from the table's");
    bool alpha = false;
    for (int i = 0; i < m + nk && i < nf; ++i) alpha |= x.fields[i].type == FieldType::kAlpha;
    if (alpha && sortName != "ascii")
        out.sortRefusal = "its alpha fields are in the sort order '" + sortName +
                          "', whose order this engine does not know";
    // The fixed part and its extension: counters, times and run-time pointers vary; the rest
    // is as every real file has it.
    const auto u8 = [&](size_t o) { return x.raw[o]; };
    const auto u16 = [&](size_t o) { return GetU16(x.raw, o); };
    bool sample = u8(f::kModifiedFlags1) == 0 && u16(0x1E) == 0 && u8(0x20) == 0 &&
                  GetU32(x.raw, f::kEncryption1) == f::kEncryptionMoved &&
                  u8(f::kModifiedFlags2) == 0 && u8(0x2B) == 0 && u8(f::kIndexChangeCopy) == 0xFF &&
                  u8(f::kWriteProtected) == 0 && u8(0x3B) == 0 && u8(0x3C) == 0 &&
                  u8(f::kAuxPasswords) == 0 && u16(f::kConstant3E) == f::kConstant3EValue &&
                  u16(f::kMaxBlocks) == x.blocksInFile && u8(f::kIndexUpdateRequired) == 0 &&
                  u8(0x50) == 0 && u16(0x53) == 0 && (u8(0x55) == 0 || u8(0x55) == 1) &&
                  u8(f::kConstant56) == f::kConstant56Value && u8(0x57) == 0 &&
                  u16(f::kVersionWord1) == (0x0100 | x.fileVersion) &&
                  u16(f::kVersionWord2) == (0x0100 | x.fileVersion) &&
                  u16(f::kCodePage) == table.codePage && u8(0x6C) == 1 && u8(0x6D) == 1;
    for (size_t o = 0x40; o < 0x49; ++o) sample &= u8(o) == 0;
    for (size_t o = 0x72; o < 0x78; ++o) sample &= u8(o) == 0;
    size_t nameBytes = 0;
    for (int i = 0; i < nf; ++i)
        nameBytes += text::FromUtf8(x.fields[i].name, table.codePage).size() + 1;
    const size_t nameLength = TableNameLength(x.fileVersion);
    const size_t info6E = 0x18 + 8 * nf + 4 + nameLength + nameBytes + 8;
    sample &= u16(f::kHighFieldIdInfo) == 0x20 + 6 * nf + 4 + nameLength + nameBytes &&
              u16(f::kUnknown6E) == info6E &&
              u16(0x68) == (out.name.empty() ? 0 : info6E + sortName.size() + 1);
    const size_t real = out.name.empty() ? end - 1 : end;
    sample &= u16(f::kRealHeaderSize) == real;
    for (size_t o = end; o < x.raw.size(); ++o) sample &= x.raw[o] == 0;
    if (!sample) refuse("its header differs from the layout this engine knows");
    return out;
}

std::string CheckSecondaryTreeHeader(const FileHeader& y, const FileHeader& x) {
    const size_t nk = x.fields.size() - 1;
    const uint8_t want =
        x.fileType == f::kFileSecondary ? f::kFileSecondaryTree : f::kFileCompositeTree;
    if (y.fileType != want) return "its tree file has type " + std::to_string(y.fileType);
    if (y.fields.size() != nk) return "its tree file indexes other fields";
    for (size_t i = 0; i < nk; ++i)
        if (!SameField(y.fields[i], x.fields[i])) return "its tree file indexes other fields";
    const auto u8 = [&](size_t o) { return y.raw[o]; };
    bool sample = y.fileVersion == x.fileVersion && y.sortOrder == x.sortOrder &&
                  u8(f::kModifiedFlags1) == 0 && u8(0x15) == 0 &&
                  GetU16(y.raw, f::kKeyFieldCount) == 0 && GetU32(y.raw, f::kEncryption1) == 0 &&
                  u8(f::kModifiedFlags2) == 0 && u8(0x2B) == 0 &&
                  GetU16(y.raw, f::kMaxBlocks) == y.blocksInFile &&
                  GetU16(y.raw, f::kRealHeaderSize) ==
                      f::kFixedPartEnd + 2 * nk + 4 + TableNameLength(y.fileVersion);
    for (size_t o : {0x2D, 0x2E, 0x2F, 0x38, 0x4F, 0x50, 0x53, 0x54, 0x55, 0x56, 0x57})
        sample &= u8(o) == 0;
    for (size_t o = 0x3B; o < 0x49; ++o) sample &= u8(o) == 0;
    for (size_t o = GetU16(y.raw, f::kRealHeaderSize); o < y.raw.size(); ++o)
        sample &= y.raw[o] == 0;
    return sample ? "" : "its tree file's header differs from the layout this engine knows";
}

std::vector<Field> SecondaryEntryFields(const FileHeader& t, const std::vector<size_t>& fields) {
    std::vector<Field> out;
    for (size_t i : fields) out.push_back(t.fields[i]);
    for (int j = 0; j < t.keyFieldCount; ++j) out.push_back(t.fields[j]);
    out.push_back(Field{kSecondaryBlockField, FieldType::kShort, kSecondaryBlockFieldBytes});
    return out;
}

std::vector<uint8_t> BuildSecondaryRecordsHeader(const FileHeader& t, const std::string& where,
                                                 const std::vector<size_t>& fields,
                                                 const std::string& name,
                                                 const std::string& fileName, uint32_t blockSize) {
    const uint8_t v = t.fileVersion;
    const int cp = t.codePage;
    const std::vector<Field> xf = SecondaryEntryFields(t, fields);
    const size_t nf = xf.size();
    const size_t nameLength = TableNameLength(v);
    std::vector<std::string> names;
    size_t nameBytes = 0, recordSize = 0;
    for (const Field& fd : xf) {
        names.push_back(text::FromUtf8(fd.name, cp));
        nameBytes += names.back().size() + 1;
        recordSize += fd.RecordBytes();
    }
    const std::string sortName = SortOrderName(t, where);
    const std::string storedName = text::FromUtf8(name, cp);
    const size_t sortAt = f::kExtensionEnd + nf * (2 + 4) + 4 + nameLength + nameBytes + 2 * nf;
    const size_t sortEnd = sortAt + sortName.size() + 1;
    const size_t real = name.empty() ? sortEnd : sortEnd + storedName.size() + 1;
    const size_t headerSize = (real + 1 + f::kHeaderUnit - 1) / f::kHeaderUnit * f::kHeaderUnit;
    if (headerSize > 0xF800 || recordSize + f::kBlockHeader > blockSize)
        throw Error(where + ": an index on these fields does not fit the table's blocks");
    std::vector<uint8_t> h(headerSize, 0);
    MutableBytes out(h);
    const size_t info6E = 0x18 + 8 * nf + 4 + nameLength + nameBytes + 8;
    PutU16(out, f::kRecordSize, static_cast<uint16_t>(recordSize));
    PutU16(out, f::kHeaderSize, static_cast<uint16_t>(headerSize));
    PutU8(out, f::kFileType, name.empty() ? f::kFileSecondary : f::kFileComposite);
    PutU8(out, f::kBlockSizeKiB, static_cast<uint8_t>(blockSize / 1024));
    PutU16(out, f::kChangeCounter, static_cast<uint16_t>(GetU16(t.raw, f::kChangeCounter) + 2));
    PutU8(out, 0x15, static_cast<uint8_t>(fields.front() + 1));
    PutU16(out, f::kFieldCount, static_cast<uint16_t>(nf));
    PutU16(out, f::kKeyFieldCount, static_cast<uint16_t>(nf - 1));
    PutU32(out, f::kEncryption1, f::kEncryptionMoved);
    PutU8(out, f::kSortOrder, t.sortOrder);
    PutU8(out, f::kIndexChangeCopy, 0xFF);
    PutU8(out, f::kChangeCount1, 1);
    PutU8(out, f::kChangeCount2, t.raw[f::kChangeCount2]);
    PutU8(out, f::kFileVersion, v);
    PutU16(out, f::kConstant3E, f::kConstant3EValue);
    PutU16(out, f::kRealHeaderSize, static_cast<uint16_t>(real));
    PutU8(out, f::kConstant56, f::kConstant56Value);
    PutU16(out, f::kVersionWord1, static_cast<uint16_t>(0x0100 | v));
    PutU16(out, f::kVersionWord2, static_cast<uint16_t>(0x0100 | v));
    PutU16(out, f::kHighFieldId, static_cast<uint16_t>(nf + 1));
    PutU16(out, f::kHighFieldIdInfo,
           static_cast<uint16_t>(0x20 + 6 * nf + 4 + nameLength + nameBytes));
    PutU16(out, 0x68, static_cast<uint16_t>(name.empty() ? 0 : info6E + sortName.size() + 1));
    PutU16(out, f::kCodePage, static_cast<uint16_t>(cp));
    PutU8(out, f::kUnknown6C, 1);
    PutU8(out, f::kUnknown6C + 1, 1);
    PutU16(out, f::kUnknown6E, static_cast<uint16_t>(info6E));
    size_t at = f::kExtensionEnd;
    for (const Field& fd : xf) {
        PutU8(out, at++, static_cast<uint8_t>(fd.type));
        PutU8(out, at++, static_cast<uint8_t>(fd.size));
    }
    at += 4 + 4 * nf;  // run-time pointers
    const std::string stored = text::FromUtf8(fileName, cp);
    std::memcpy(h.data() + at, stored.data(), std::min(stored.size(), nameLength - 1));
    at += nameLength;
    for (const std::string& n : names) {
        std::memcpy(h.data() + at, n.data(), n.size());
        at += n.size() + 1;
    }
    for (size_t i = 0; i < nf; ++i, at += 2)
        PutU16(out, at, static_cast<uint16_t>(i < fields.size() ? fields[i] + 1 : i + 1));
    std::memcpy(h.data() + at, sortName.data(), sortName.size());
    at += sortName.size() + 1;
    std::memcpy(h.data() + at, storedName.data(), storedName.size());
    return h;
}

std::vector<uint8_t> BuildSecondaryTreeHeader(const FileHeader& t,
                                              const std::vector<size_t>& fields,
                                              const std::string& name, const std::string& fileName,
                                              uint32_t blockSize, Bytes recordsHeader) {
    Schema tree;
    const std::vector<Field> xf = SecondaryEntryFields(t, fields);
    tree.fields.assign(xf.begin(), xf.end() - 1);
    tree.keyFieldCount = static_cast<int>(tree.fields.size());
    tree.fileVersion = t.fileVersion;
    tree.sortOrder = t.sortOrder;
    tree.codePage = t.codePage;
    if ((tree.KeySize() + f::kIndexEntryTrailer) * 2 + f::kBlockHeader > blockSize)
        throw Error(fileName + ": an index block of " + std::to_string(blockSize) +
                    " bytes cannot hold two of its entries");
    std::vector<uint8_t> h = BuildIndexHeader(tree, fileName, blockSize, recordsHeader);
    PutU8(h, f::kFileType, name.empty() ? f::kFileSecondaryTree : f::kFileCompositeTree);
    PutU32(h, f::kIndexMarker49, 2);  // as real tree files have it (the primary index's is 1)
    return h;
}

}  // namespace pq::paradox
