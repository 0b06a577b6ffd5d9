// The table adapter's engine: our Paradox tables. Engine failures become EDBEngineError with
// the engine's text, so the program sees one kind of database error.
#include <exception>
#include <variant>

#include "paradox/error.h"
#include "paradox/field_codec.h"
#include "paradox/table.h"
#include "paradox/validity.h"
#include "tabledb/table_backend.h"

namespace pq::tabledb {
namespace {

using paradox::FieldType;

TFieldType MapType(FieldType t) {
    switch (t) {
        case FieldType::kAlpha:
            return ftString;
        case FieldType::kDate:
            return ftDate;
        case FieldType::kShort:
            return ftSmallint;
        case FieldType::kLong:
            return ftInteger;
        case FieldType::kCurrency:
            return ftCurrency;
        case FieldType::kNumber:
            return ftFloat;
        case FieldType::kLogical:
            return ftBoolean;
        case FieldType::kMemo:
            return ftMemo;
        case FieldType::kBinary:
            return ftBlob;
        case FieldType::kFmtMemo:
            return ftFmtMemo;
        case FieldType::kOle:
            return ftParadoxOle;
        case FieldType::kGraphic:
            return ftGraphic;
        case FieldType::kTime:
            return ftTime;
        case FieldType::kTimestamp:
            return ftDateTime;
        case FieldType::kAutoInc:
            return ftAutoInc;
        case FieldType::kBcd:
            return ftBCD;
        case FieldType::kBytes:
            return ftBytes;
    }
    return ftUnknown;
}

// Takes a text over from the engine's value, which is the caller's to give.
Value FromEngine(paradox::Value&& v) {
    using K = paradox::Value::Kind;
    switch (v.kind()) {
        case K::kNull:
            return Value::Null();
        case K::kBool:
            return Value::Boolean(v.AsBool());
        case K::kInteger:
            return Value::Integer(v.AsInteger());
        case K::kDouble:
            return Value::Float(v.AsDouble());
        case K::kText:
        case K::kBcd:
            return Value::Text(std::move(v).TakeText());
        case K::kBytes: {
            const auto& b = v.AsBytes();
            return Value::Blob(std::string(reinterpret_cast<const char*>(b.data()), b.size()));
        }
        case K::kDate:
            return Value::FromDate(Date{v.AsDate()});
        case K::kTime:
            return Value::FromTime(Time{v.AsTime()});
        case K::kTimestamp:
            return Value::FromDateTime(DateTime{v.AsTimestamp()});
    }
    return Value::Null();
}

// REQUIRES: the value already converted for the field (ConvertForField).
paradox::Value ToEngine(const Value& v, FieldType type) {
    struct Visitor {
        FieldType type;
        paradox::Value operator()(std::monostate) const { return {}; }
        paradox::Value operator()(int64_t i) const { return paradox::Value::Integer(i); }
        paradox::Value operator()(double d) const { return paradox::Value::Double(d); }
        paradox::Value operator()(bool b) const { return paradox::Value::Bool(b); }
        paradox::Value operator()(const std::string& s) const {
            return type == FieldType::kBcd ? paradox::Value::Bcd(s) : paradox::Value::Text(s);
        }
        paradox::Value operator()(const Bytes& b) const {
            const auto* p = reinterpret_cast<const uint8_t*>(b.data.data());
            return paradox::Value::Bytes(std::vector<uint8_t>(p, p + b.data.size()));
        }
        paradox::Value operator()(Date d) const { return paradox::Value::Date(d.days); }
        paradox::Value operator()(Time t) const { return paradox::Value::Time(t.milliseconds); }
        paradox::Value operator()(DateTime t) const {
            return paradox::Value::Timestamp(t.milliseconds);
        }
    };
    return std::visit(Visitor{type}, v.Get());
}

uint16_t CodeOf(const paradox::Error& e) {
    if (dynamic_cast<const paradox::KeyViolationError*>(&e)) return errc::kKeyViolation;
    if (dynamic_cast<const paradox::PasswordError*>(&e)) return errc::kPassword;
    if (dynamic_cast<const paradox::LockedError*>(&e)) return errc::kLocked;
    if (dynamic_cast<const paradox::CorruptError*>(&e)) return errc::kCorrupt;
    if (dynamic_cast<const paradox::IoError*>(&e)) return errc::kIo;
    return errc::kGeneral;
}

// Runs an engine call, turning its failures into the program's database errors.
template <class F>
auto Engine(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const paradox::Error& e) {
        throw EDBEngineError(CodeOf(e), {e.Message()});
    }
}

class ParadoxBackend : public TableBackend {
  public:
    explicit ParadoxBackend(std::unique_ptr<paradox::Table> t) : t_(std::move(t)) {
        for (const auto& f : t_->schema().fields) {
            FieldDefinition d;
            d.name = f.name;
            d.type = MapType(f.type);
            d.size = f.type == FieldType::kAlpha || f.type == FieldType::kBytes ||
                             f.type == FieldType::kBcd
                         ? f.size
                         : 0;
            fields_.push_back(d);
        }
        // The table's validity checks: required fields, and the defaults of a new record.
        newRecord_.resize(fields_.size());
        if (const paradox::Validity* v = t_->validity()) {
            const auto& fields = t_->schema().fields;
            for (size_t i = 0; i < fields_.size(); ++i) {
                const paradox::FieldValidity& fv = v->fields[i];
                fields_[i].required = fv.required;
                if (fv.defaultValue && !paradox::IsBlobType(fields[i].type) &&
                    fields[i].type != FieldType::kAutoInc)
                    newRecord_[i] = FromEngine(
                        paradox::DecodeField(fields[i], *fv.defaultValue, t_->schema().codePage));
            }
        }
    }

    const std::vector<FieldDefinition>& Fields() const override { return fields_; }
    size_t KeyFieldCount() const override {
        return static_cast<size_t>(t_->schema().keyFieldCount);
    }
    int CodePage() const override { return t_->schema().codePage; }
    uint64_t RecordCount() const override { return t_->RecordCount(); }

    void First() override {
        Engine([&] { t_->First(); });
    }
    bool AtEnd() const override { return t_->AtEnd(); }
    void Next() override {
        Engine([&] { t_->Next(); });
    }
    Value Read(size_t field) const override {
        return Engine([&] { return FromEngine(t_->Get(field)); });
    }
    bool SeekKey(const Value& first) override {
        return Engine([&] { return t_->SeekKey({ToEngine(first, t_->schema().fields[0].type)}); });
    }
    bool SeekFirstEqual(size_t field, const Value& value) override {
        return Engine([&] {
            return t_->FindFirstEqual(field, ToEngine(value, t_->schema().fields[field].type));
        });
    }
    std::vector<Value> NewRecordValues() const override { return newRecord_; }
    void CheckWritable() override {
        if (t_->IsReadOnly())
            throw EDBEngineError(errc::kReadOnly, {"Table is read only.", "Table: " + t_->path()});
        // A secondary index that a save could not keep, an earlier failed write: the engine's
        // words, before anything is written.
        Engine([&] { t_->CheckWritable(); });
    }
    void Update(const std::vector<Value>& values, const std::vector<bool>& written) override {
        Write([&] {
            t_->Edit();
            for (size_t i = 0; i < values.size(); ++i)
                if (written[i]) t_->Set(i, ToEngine(values[i], t_->schema().fields[i].type));
            t_->Post();
        });
    }
    void Insert(const std::vector<Value>& values) override {
        Write([&] {
            t_->Append();
            for (size_t i = 0; i < values.size(); ++i)
                if (!values[i].IsNull() || !newRecord_[i].IsNull())
                    t_->Set(i, ToEngine(values[i], t_->schema().fields[i].type));
            t_->Post();
        });
    }

  private:
    // A failed save leaves the engine browsing again, so the operation can be retried.
    template <class F>
    void Write(F&& f) {
        try {
            Engine(f);
        } catch (...) {
            if (t_->state() != paradox::Table::State::kBrowse) t_->Cancel();
            throw;
        }
    }

    std::unique_ptr<paradox::Table> t_;
    std::vector<FieldDefinition> fields_;
    std::vector<Value> newRecord_;  // the fields' defaults
};

}  // namespace

std::unique_ptr<TableBackend> OpenParadoxTable(paradox::FileSystem& fs, const std::string& path,
                                               const std::vector<std::string>& passwords,
                                               bool readOnly) {
    paradox::OpenOptions options;
    options.passwords = passwords;
    options.readOnly = readOnly;
    return Engine([&] {
        std::unique_ptr<paradox::Table> table;
        try {
            table = paradox::Table::Open(fs, path, options);
        } catch (const paradox::IoError&) {
            // A table on a read-only medium (or a file the user may not write) is still
            // readable; writing it then fails with the engine's read-only error.
            if (!fs.IsFile(path)) throw;
            options.readOnly = true;
            table = paradox::Table::Open(fs, path, options);
        }
        return std::unique_ptr<TableBackend>(std::make_unique<ParadoxBackend>(std::move(table)));
    });
}

}  // namespace pq::tabledb
