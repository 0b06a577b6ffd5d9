// Tables and fields as the installer uses them: a table points at an alias and a table name,
// opens on its first record in the primary index's order, is read forwards, searched by its
// primary key or by the first equal value of a field, and written one record at a time
// (edit or append, then save, which reaches the files at once).
//
// Edit and save failures go through the table's error events first (OnEditError,
// OnPostError); the handler's answer decides: 0 the error propagates, 1 a silent EAbort
// replaces it, 2 or any other value retries the operation.
//
// A Table owns its fields and its open engine table; fields are valid while the table is open.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tabledb/errors.h"
#include "tabledb/value.h"

namespace pq::tabledb {

class Session;
class Table;
class TableBackend;

// The field kinds, numbered as the program's class library numbers them.
enum TFieldType : uint8_t {
    ftUnknown = 0,
    ftString = 1,
    ftSmallint = 2,
    ftInteger = 3,
    ftWord = 4,
    ftBoolean = 5,
    ftFloat = 6,
    ftCurrency = 7,
    ftBCD = 8,
    ftDate = 9,
    ftTime = 10,
    ftDateTime = 11,
    ftBytes = 12,
    ftVarBytes = 13,
    ftAutoInc = 14,
    ftBlob = 15,
    ftMemo = 16,
    ftGraphic = 17,
    ftFmtMemo = 18,
    ftParadoxOle = 19,
};

// The answer to a table error event: 0 fail, 1 abort, 2 retry (any other value retries).
using TDataAction = uint8_t;
inline constexpr TDataAction actFail = 0;
inline constexpr TDataAction actAbort = 1;
inline constexpr TDataAction actRetry = 2;

using TDataSetErrorEvent =
    std::function<void(Table& dataSet, EDatabaseError& e, TDataAction& action)>;

struct FieldDefinition {
    std::string name;
    TFieldType type = ftUnknown;
    int size = 0;  // characters of a text, decimals of a BCD, leader of a blob; 0 otherwise
    bool required = false;
};

class Field {
  public:
    const std::string& Name() const { return def_.name; }
    TFieldType FieldType() const { return def_.type; }
    int Size() const { return def_.size; }
    bool Required() const { return def_.required; }
    void SetRequired(bool required) { def_.required = required; }

    // The current record's value: empty text / 0 for null.
    std::string ReadText() const;
    int32_t ReadInteger() const;
    Value ReadValue() const;
    bool IsNull() const;

    // Only while the table is in edit or insert state.
    void WriteInteger(int32_t v);
    // Null clears; other values are converted to the field's type
    // ("Invalid value for field '%s'" when they cannot be). A temporary's text or bytes are
    // taken over, not copied.
    void WriteValue(Value v);

  private:
    friend class Table;
    Field(Table& table, size_t index, FieldDefinition def)
        : table_(table), index_(index), def_(std::move(def)) {}
    Table& table_;
    size_t index_;
    FieldDefinition def_;
};

class Table {
  public:
    enum class State { kInactive, kBrowse, kEdit, kInsert };

    Table(Session& session, std::string componentName);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The component name that messages carry ("TableSource: Field 'Nome' not found").
    const std::string& Name() const { return name_; }
    void SetComponentName(std::string name) { name_ = std::move(name); }
    // Both change only while the table is closed.
    const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const std::string& name);
    const std::string& TableName() const { return tableName_; }
    void SetTableName(const std::string& name);
    // A read-only table opens its files for reading only, leaving them free for other
    // programs to write; writing it fails. Changes only while the table is closed.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    // The file the table opens: the alias's folder, a separator, the table name.
    std::string FilePath() const;

    // Opening positions on the first record; closing drops an unsaved edit or insert.
    void SetActive(bool active);
    bool Active() const { return state_ != State::kInactive; }
    State CurrentState() const { return state_; }

    uint64_t RecordTotal() const;
    bool AtEnd() const;
    void Advance();
    size_t FieldTotal() const;
    Field& FieldAt(size_t index);                // "List index out of bounds (%d)"
    Field& FieldNamed(const std::string& name);  // "%s: Field '%s' not found"
    Field* FindField(const std::string& name);

    // One text value against the primary index's first field ("No index currently active"
    // for a table without one). Positions on the record when found.
    bool SeekPrimaryKey(const std::string& text);
    // The first record whose field equals the value exactly.
    bool SeekFieldValue(const std::string& fieldName, const Value& value);

    void BeginEdit();
    void BeginAppend();
    // Checks required fields ("Field '%s' must have a value"), then writes the record.
    void SaveRecord();
    // Drops an unsaved edit or insert.
    void Cancel();

    TDataSetErrorEvent OnEditError;
    TDataSetErrorEvent OnPostError;
    TDataSetErrorEvent OnDeleteError;

  private:
    friend class Field;
    void RequireActive() const;
    void RequireClosed() const;
    void RequireCurrent() const;
    Value CurrentValue(size_t index) const;
    void SetBufferValue(size_t index, Value v);
    // Runs an operation under an error event: the action loop.
    void UnderErrorEvent(const TDataSetErrorEvent& event, const std::function<void()>& op);
    void LoadCurrent();

    Session& session_;
    std::string name_;
    std::string databaseName_;
    bool readOnly_ = false;
    std::string tableName_;
    State state_ = State::kInactive;
    std::unique_ptr<TableBackend> backend_;
    std::vector<std::unique_ptr<Field>> fields_;
    // The record being edited or appended, and which fields were written.
    std::vector<Value> buffer_;
    std::vector<bool> written_;
};

}  // namespace pq::tabledb
