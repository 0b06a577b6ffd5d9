#include "tools/pdxtool/validity_text.h"

#include "base/exception.h"
#include "paradox/field_codec.h"
#include "tools/pdxtool/dump_format.h"

namespace pq::pdxtool {

using paradox::Value;

paradox::Validity ValidityFromText(const std::vector<std::pair<size_t, std::string>>& lines,
                                   const paradox::Schema& schema, const std::string& where) {
    paradox::Validity v;
    v.fields.resize(schema.fields.size());
    for (const auto& [lineNo, line] : lines) {
        auto fail = [&](const std::string& what) {
            throw Exception(where + ":" + std::to_string(lineNo) + ": " + what);
        };
        // The field name may hold spaces: the first split whose head names a field and whose
        // next word is a check.
        bool done = false;
        for (size_t sp = line.find(' '); sp != std::string::npos && !done;
             sp = line.find(' ', sp + 1)) {
            const int i = schema.Find(line.substr(0, sp));
            if (i < 0) continue;
            const std::string rest = line.substr(sp + 1);
            const size_t end = rest.find(' ');
            const std::string check = rest.substr(0, end);
            const std::string value = end == std::string::npos ? "" : rest.substr(end + 1);
            paradox::FieldValidity& fv = v.fields[static_cast<size_t>(i)];
            const paradox::Field& f = schema.fields[static_cast<size_t>(i)];
            if (check == "required") {
                if (!value.empty()) fail("required takes no value");
                fv.required = true;
                done = true;
                continue;
            }
            std::optional<std::vector<uint8_t>>* target = check == "min"       ? &fv.minimum
                                                          : check == "max"     ? &fv.maximum
                                                          : check == "default" ? &fv.defaultValue
                                                                               : nullptr;
            if (!target) continue;
            if (paradox::IsBlobType(f.type) || f.type == paradox::FieldType::kAutoInc)
                fail("field '" + f.name + "' takes no " + check);
            std::string text;
            if (value.empty() || !UnescapeText(value, &text)) fail(check + " takes a value");
            std::vector<uint8_t> bytes(f.RecordBytes());
            try {
                paradox::EncodeField(f, Value::Text(text), bytes, schema.codePage);
            } catch (const Exception& e) {
                fail(std::string(e.what()) + ": '" + text + "'");
            }
            *target = std::move(bytes);
            done = true;
        }
        if (!done) fail("valid takes a field above and required, min V, max V or default V");
    }
    return v;
}

std::vector<std::string> ValidityText(const paradox::Validity& v, const paradox::Schema& schema) {
    std::vector<std::string> out;
    for (size_t i = 0; i < v.fields.size() && i < schema.fields.size(); ++i) {
        const paradox::FieldValidity& fv = v.fields[i];
        const paradox::Field& f = schema.fields[i];
        const std::string head = "valid " + f.name + " ";
        auto value = [&](const std::vector<uint8_t>& bytes) {
            return EscapeText(paradox::ValidityValueText(f, bytes, schema.codePage));
        };
        if (fv.required) out.push_back(head + "required");
        if (fv.minimum) out.push_back(head + "min " + value(*fv.minimum));
        if (fv.maximum) out.push_back(head + "max " + value(*fv.maximum));
        if (fv.defaultValue) out.push_back(head + "default " + value(*fv.defaultValue));
        if (!fv.picture.empty()) out.push_back(head + "picture " + fv.picture + " (not enforced)");
        if (fv.lookup) out.push_back(head + "lookup (not enforced)");
    }
    if (v.referentialIntegrity) out.push_back("referential integrity (not enforced)");
    return out;
}

}  // namespace pq::pdxtool
