#include "paradox/validity.h"

#include <cstring>

#include "base/text.h"
#include "paradox/field_codec.h"

namespace pq::paradox {

namespace {

constexpr size_t kChange = 0x00;
constexpr size_t kVersion = 0x01;
constexpr size_t kEntryCount = 0x02;
constexpr size_t kFooterOffset = 0x09;
constexpr size_t kIntegrityOffset = 0x0D;
constexpr size_t kFirstEntry = 0x35;

constexpr size_t kEntryField = 0x00;
constexpr size_t kEntryPictureLength = 0x01;
constexpr size_t kEntryRequired = 0x02;
constexpr size_t kEntryLookupFlags = 0x03;
constexpr size_t kEntryLookup = 0x04;
constexpr size_t kEntryMinimum = 0x0C;
constexpr size_t kEntryMaximum = 0x10;
constexpr size_t kEntryDefault = 0x14;
constexpr size_t kEntryPicture = 0x18;
constexpr size_t kEntryValues = 0x1C;
constexpr size_t kLookupBytes = 0x1A + 0x36;
constexpr size_t kFooterTableName = 0x4F;

constexpr uint8_t kVersion4 = 0x09;
constexpr uint8_t kVersion5 = 0x0B;

}  // namespace

Validity ParseValidity(Bytes bytes, const std::vector<Field>& fields, int codePage,
                       const std::string& where) {
    const ByteReader r(bytes, where);
    Validity v;
    v.tableChange = r.U8(kChange);
    v.version = r.U8(kVersion);
    if (v.version < kVersion4)
        Corrupt(where, "version " + std::to_string(v.version) +
                           " of the validity file is an older layout this engine cannot read");
    const size_t entries = r.U8(kEntryCount);
    const size_t footer = r.U32(kFooterOffset);
    v.referentialIntegrity = r.U32(kIntegrityOffset) != 0;

    // The footer: the fields the file was written for, which must be the table's.
    const size_t n = r.U16(footer);
    if (n != fields.size())
        Corrupt(where, "describes " + std::to_string(n) + " fields, the table has " +
                           std::to_string(fields.size()));
    std::vector<Field> described(n);
    size_t at = footer + 6 + 2 * n;
    for (size_t i = 0; i < n; ++i) {
        described[i].type = static_cast<FieldType>(r.U8(at + 2 * i));
        described[i].size = r.U8(at + 2 * i + 1);
    }
    at += 2 * n + kFooterTableName;
    for (size_t i = 0; i < n; ++i) {
        // Names may differ: renaming a field leaves the file as it was (seen in the samples).
        described[i].name = text::ToUtf8(r.CString(at, &at), codePage);
        if (described[i].type != fields[i].type || described[i].size != fields[i].size)
            Corrupt(where, "field " + std::to_string(i + 1) + " ('" + described[i].name +
                               "') differs in type or size from the table's ('" + fields[i].name +
                               "')");
    }

    v.fields.resize(n);
    at = kFirstEntry;
    for (size_t e = 0; e < entries; ++e) {
        const std::string entry = "field entry " + std::to_string(e + 1);
        const size_t i = r.U8(at + kEntryField);
        if (i >= n) Corrupt(where, entry + " names field " + std::to_string(i + 1));
        const Field& f = fields[i];
        FieldValidity& fv = v.fields[i];
        const size_t pictureLength = r.U8(at + kEntryPictureLength);
        fv.required = r.U8(at + kEntryRequired) == 1;
        const bool lookup = r.U32(at + kEntryLookup) != 0;
        fv.lookup = lookup || r.U8(at + kEntryLookupFlags) != 0;
        const bool hasMin = r.U32(at + kEntryMinimum) != 0;
        const bool hasMax = r.U32(at + kEntryMaximum) != 0;
        const bool hasDefault = r.U32(at + kEntryDefault) != 0;
        const bool hasPicture = r.U32(at + kEntryPicture) != 0;
        size_t p = at + kEntryValues;
        if (lookup) p += kLookupBytes;
        const size_t size = f.RecordBytes();
        auto value = [&](bool present) -> std::optional<std::vector<uint8_t>> {
            if (!present) return std::nullopt;
            const Bytes b = r.Sub(p, size);
            p += size;
            return std::vector<uint8_t>(b.begin(), b.end());
        };
        fv.minimum = value(hasMin);
        fv.maximum = value(hasMax);
        fv.defaultValue = value(hasDefault);
        if (hasPicture && pictureLength > 0) {
            const Bytes pic = r.Sub(p, pictureLength);
            size_t end = 0;
            while (end < pic.size() && pic[end]) ++end;
            fv.picture = text::ToUtf8(
                std::string_view(reinterpret_cast<const char*>(pic.data()), end), codePage);
            p += pictureLength;
        }
        if (p > footer) Corrupt(where, entry + " runs into the footer");
        at = p;
    }
    return v;
}

std::vector<uint8_t> BuildValidityFile(const Validity& v, const Schema& schema,
                                       const std::string& tableName, uint8_t tableChange) {
    std::vector<uint8_t> out(kFirstEntry, 0);
    out[kChange] = tableChange;
    out[kVersion] = schema.fileVersion <= 0x09 ? kVersion4 : kVersion5;
    size_t entries = 0;
    auto put32 = [&](size_t at, uint32_t x) { PutU32(out, at, x); };
    for (size_t i = 0; i < v.fields.size(); ++i) {
        const FieldValidity& fv = v.fields[i];
        if (!fv.Any()) continue;
        ++entries;
        const size_t at = out.size();
        out.resize(at + kEntryValues, 0);
        out[at + kEntryField] = static_cast<uint8_t>(i);
        out[at + kEntryRequired] = fv.required ? 1 : 0;
        // The markers are run-time pointers of the original writer: only non-zero matters.
        if (fv.minimum) put32(at + kEntryMinimum, 1);
        if (fv.maximum) put32(at + kEntryMaximum, 1);
        if (fv.defaultValue) put32(at + kEntryDefault, 1);
        for (const auto* value : {&fv.minimum, &fv.maximum, &fv.defaultValue})
            if (*value) out.insert(out.end(), (*value)->begin(), (*value)->end());
    }
    if (entries > 255) throw Error(tableName + ": more than 255 fields with validity checks");
    out[kEntryCount] = static_cast<uint8_t>(entries);
    const size_t footer = out.size();
    PutU32(out, kFooterOffset, static_cast<uint32_t>(footer));
    std::vector<std::string> names;
    size_t nameBytes = 0;
    for (const Field& f : schema.fields) {
        names.push_back(text::FromUtf8(f.name, schema.codePage));
        nameBytes += names.back().size() + 1;
    }
    const size_t n = schema.fields.size();
    out.resize(footer + 6 + 4 * n + kFooterTableName, 0);
    PutU16(out, footer, static_cast<uint16_t>(n));
    PutU16(out, footer + 2, static_cast<uint16_t>(schema.keyFieldCount));
    PutU16(out, footer + 4, static_cast<uint16_t>(kFooterTableName + nameBytes));
    for (size_t i = 0; i < n; ++i) {
        PutU16(out, footer + 6 + 2 * i, static_cast<uint16_t>(i + 1));
        out[footer + 6 + 2 * n + 2 * i] = static_cast<uint8_t>(schema.fields[i].type);
        out[footer + 6 + 2 * n + 2 * i + 1] = static_cast<uint8_t>(schema.fields[i].size);
    }
    const std::string stored = text::FromUtf8(tableName, schema.codePage);
    std::memcpy(out.data() + footer + 6 + 4 * n, stored.data(),
                std::min(stored.size(), kFooterTableName - 1));
    for (const std::string& name : names) {
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(0);
    }
    return out;
}

std::string ValidityValueText(const Field& field, Bytes stored, int codePage) {
    const Value value = DecodeField(field, stored, codePage);
    switch (value.kind()) {
        case Value::Kind::kNull:
            return "null";
        case Value::Kind::kBool:
            return value.AsBool() ? "true" : "false";
        case Value::Kind::kInteger:
            return std::to_string(value.AsInteger());
        case Value::Kind::kDouble:
            return FormatDouble(value.AsDouble());
        case Value::Kind::kText:
        case Value::Kind::kBcd:
            return value.AsText();
        case Value::Kind::kDate:
            return FormatDate(value.AsDate());
        case Value::Kind::kTime:
            return FormatTime(value.AsTime());
        case Value::Kind::kTimestamp:
            return FormatTimestamp(value.AsTimestamp());
        case Value::Kind::kBytes:
            return std::to_string(value.AsBytes().size()) + " bytes";
    }
    return "?";
}

void CheckRecordValidity(const Validity& v, const std::vector<Field>& fields,
                         const std::vector<size_t>& offset, const uint8_t* record,
                         const std::vector<bool>& isNull, int codePage, const std::string& path) {
    for (size_t i = 0; i < v.fields.size() && i < fields.size(); ++i) {
        const FieldValidity& fv = v.fields[i];
        const Field& f = fields[i];
        if (isNull[i]) {
            if (fv.required) throw ValidityError("Field '" + f.name + "' must have a value");
            continue;
        }
        if (IsBlobType(f.type)) continue;
        const Bytes value(record + offset[i], f.RecordBytes());
        auto outside = [&](const std::vector<uint8_t>& bound, const char* what) {
            throw ValidityError(path + ": value " + ValidityValueText(f, value, codePage) +
                                " of field '" + f.name + "' is " + what + " " +
                                ValidityValueText(f, bound, codePage));
        };
        if (fv.minimum && std::memcmp(value.data(), fv.minimum->data(), value.size()) < 0)
            outside(*fv.minimum, "below its minimum");
        if (fv.maximum && std::memcmp(value.data(), fv.maximum->data(), value.size()) > 0)
            outside(*fv.maximum, "above its maximum");
    }
}

}  // namespace pq::paradox
