// What the table adapter needs of an open engine table. The Paradox engine provides the one
// real implementation (paradox_backend.cpp); engine failures leave it as EDBEngineError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tabledb/table.h"

namespace pq::paradox {
class FileSystem;
}

namespace pq::tabledb {

class TableBackend {
  public:
    virtual ~TableBackend() = default;
    virtual const std::vector<FieldDefinition>& Fields() const = 0;
    virtual size_t KeyFieldCount() const = 0;
    virtual int CodePage() const = 0;
    virtual uint64_t RecordCount() const = 0;

    // Forward reading in table order; the current record is read field by field.
    virtual void First() = 0;
    virtual bool AtEnd() const = 0;
    virtual void Next() = 0;
    // REQUIRES: !AtEnd().
    virtual Value Read(size_t field) const = 0;

    // Position on the record whose first key field equals the value (the table has a key).
    virtual bool SeekKey(const Value& firstKeyField) = 0;
    // Position on the first record, in table order, whose field equals the value.
    virtual bool SeekFirstEqual(size_t field, const Value& value) = 0;

    // The values a new record starts with: the fields' defaults, null where there is none.
    virtual std::vector<Value> NewRecordValues() const {
        return std::vector<Value>(Fields().size());
    }
    // Throws when the table cannot be written (opened read only, refused by the engine).
    virtual void CheckWritable() = 0;
    // Rewrites the current record: fields marked written take the given values, the others
    // keep theirs. The record stays current.
    virtual void Update(const std::vector<Value>& values, const std::vector<bool>& written) = 0;
    // Adds a record (in key order for a keyed table); it becomes current. Null values clear
    // the fields' defaults.
    virtual void Insert(const std::vector<Value>& values) = 0;
};

// Opens a Paradox table for reading and, unless `readOnly` or its files do not allow it,
// writing.
std::unique_ptr<TableBackend> OpenParadoxTable(paradox::FileSystem& fs, const std::string& path,
                                               const std::vector<std::string>& passwords,
                                               bool readOnly = false);

}  // namespace pq::tabledb
