// A Paradox table (levels 3.x to 7 read, 4, 5 and 7 written): its data file (.DB), its primary
// index (.PX, keyed tables) and its blob file (.MB, tables with memo, binary, OLE or graphic
// fields), opened together and kept consistent on every save, with its maintained secondary
// indexes (.Xnn/.Ynn, .XGn/.YGn; paradox/secondary_index.h).
//
// A Table is a cursor: it stands on one record (or at the end) and moves in table order, which
// is key order for keyed tables and the order of insertion for unkeyed ones. Editing follows
// the usual dataset states: Edit (the current record) or Append (a new, empty record), Set the
// fields, then Post (save at once, to the files) or Cancel.
//
// Keyed tables: records stay in key order inside the data blocks; an insert goes into the block
// of its predecessor, a full block splits (a new block when appending past the last record), and
// the .PX follows every change. A record whose key changes moves. A duplicate key is a
// KeyViolationError. Auto-increment fields get the header's last value + 1 on every insert,
// whatever was set, and keep their value on updates. A keyed table whose .PX is missing is read
// through an index rebuilt in memory, written to its file before the table's first save. The
// validity checks of a .VAL beside the table (validity.h) hold for every save.
//
// Ownership: a Table owns its open files, caches and indexes; the FileSystem must outlive it.
// Not thread-safe. A failed write leaves the table refusing further work until reopened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "paradox/file.h"
#include "paradox/schema.h"
#include "paradox/value.h"

namespace pq::paradox {

struct Validity;

struct OpenOptions {
    bool readOnly = false;
    // Tried in turn against an encrypted table's password checksum (UTF-8; converted to the
    // table's code page). Ignored for tables that are not encrypted.
    std::vector<std::string> passwords;
    // An interrupted save (a journal left beside the table) is undone before the table is
    // read. false, with readOnly: the files are read as they are, for inspecting them; a
    // table opened for writing is always recovered first.
    bool recover = true;
};

struct CreateOptions {
    std::string password;         // not empty: the table is encrypted with this password
    uint32_t indexBlockSize = 0;  // .PX block size in bytes (1..32 KiB); 0: the data block size
};

// A secondary index beside a table (paradox/secondary_index.h).
struct SecondaryIndexInfo {
    std::string file;                 // the records file, .Xnn or .XGn
    int fileType = 0;                 // 3, 5 (.Xnn) or 6, 8 (.XGn); 5 and 8 are maintained
    bool maintained = false;          // kept current by every save
    std::string name;                 // empty for an unnamed single-field index
    std::vector<std::string> fields;  // the indexed fields, in order
    std::string refusal;  // why a save could not keep it (the table then refuses writes); empty
                          // when it can, or when it is not maintained
};

// Facts about an open table beyond its schema.
struct TableInfo {
    uint32_t recordCount = 0;
    uint16_t blocksInUse = 0;
    uint16_t blocksInFile = 0;
    uint32_t autoIncrement = 0;  // the last value issued
    bool encrypted = false;
    int indexLevels = 0;          // keyed tables: levels of the .PX tree
    uint32_t indexBlockSize = 0;  // keyed tables
    uint32_t indexEntries = 0;
    bool hasBlobFile = false;
    std::vector<std::string> secondaryIndexFiles;  // names of .Xnn/.Ynn files beside the table
    std::vector<SecondaryIndexInfo> secondaryIndexes;
};

class Table {
  public:
    enum class State { kBrowse, kEdit, kInsert };

    // Opens the table at `path` (the .DB file; the .PX and .MB beside it are found without
    // regard to case). Throws IoError, CorruptError, PasswordError (encrypted, no password
    // matches), LockedError (for writing, while another open holds it for writing or another
    // program holds its files) or Error; every message names the table. The cursor starts on the
    // first record. Each save of a table opened for writing is journaled (paradox/journal.h);
    // opening undoes a save that a killed process left unfinished (see OpenOptions::recover).
    // Readers take no lock: they may open a table that is being written, and read it as it is on
    // the file.
    static std::unique_ptr<Table> Open(FileSystem& fs, const std::string& path,
                                       const OpenOptions& options = {});
    // Creates an empty table (and its .PX when keyed, its .MB when it has blob fields) and opens
    // it for writing. Error when `path` exists or the schema is invalid (see
    // ValidateSchemaForCreate).
    static std::unique_ptr<Table> Create(FileSystem& fs, const std::string& path,
                                         const Schema& schema, const CreateOptions& options = {});
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& path() const;
    const Schema& schema() const;
    TableInfo info() const;
    uint32_t RecordCount() const;
    bool IsKeyed() const;
    bool IsReadOnly() const;
    State state() const;

    // --- Moving ---
    // To the first record (AtEnd for an empty table). Leaves an edit unsaved: REQUIRES browse.
    void First();
    bool AtEnd() const;
    // To the next record, or AtEnd after the last. REQUIRES browse and !AtEnd().
    void Next();

    // --- Reading the current record (the edited one while editing) ---
    // A field's value. Blob fields are read from the blob file now (memo: text; others: bytes;
    // graphic: the picture alone). ERangeError-like Error for a bad field number; Error at end.
    Value Get(size_t field);
    // A blob field's content as stored (memo bytes in the code page; graphic without its
    // prefix); empty for null. REQUIRES: a blob field.
    std::vector<uint8_t> GetBlob(size_t field);

    // --- Finding ---
    // Positions on the first record whose first key.size() key fields equal `key` (converted to
    // the fields' types); false (and the position undefined, AtEnd) when there is none. Error
    // for an unkeyed table; ValueError when a value cannot be converted.
    bool SeekKey(const std::vector<Value>& key);
    // Positions on the first record in table order whose field equals `value` exactly (as
    // stored after conversion to the field's type; text is case-sensitive). The first call for a
    // field builds an in-memory index of it, kept current by every later save. Not for blob
    // fields.
    bool FindFirstEqual(size_t field, const Value& value);

    // --- Editing ---
    // Error, as Edit and Append would give it, when the table cannot be written now.
    void CheckWritable();
    // REQUIRES browse. Edit: the current record (not AtEnd). Error when the table is read-only,
    // has a secondary index that a save could not keep (see paradox/secondary_index.h), has a
    // validity file that cannot be read, or a previous write failed. Append: a new record
    // holding the validity file's defaults.
    void Edit();
    void Append();
    // REQUIRES editing. ValueError when the value cannot be converted. Auto-increment fields:
    // ignored on a new record (the engine assigns them), Error on an existing one.
    void Set(size_t field, const Value& value);
    // The same; a blob field takes bytes over without copying them.
    void Set(size_t field, Value&& value);
    // Saves the record to the files at once; the cursor then stands on it. On KeyViolationError,
    // ValueError or ValidityError (a check of the table's .VAL) nothing was written and the
    // edit goes on. A failed write undoes the whole
    // save on the files at once; the table then refuses writes until reopened.
    void Post();
    void Cancel();
    // Deletes the current record (REQUIRES browse, not AtEnd); the cursor moves to the next.
    void Delete();

    // Makes a maintained secondary index on the named fields, built from the records, and keeps
    // it from then on: unnamed on one field (an .Xnn file, nn the field's number, one of the
    // first nine), or named (an .XGn file). Error when the fields cannot make an index that
    // this engine keeps. REQUIRES browse; the table keyed and open for writing.
    void AddSecondaryIndex(const std::vector<std::string>& fields, const std::string& name = {});

    // --- Checking ---
    // Every rule the files must meet: header against the file size, the block chain and free
    // list, record and block counts, key order and uniqueness, the .PX against the data, every
    // blob pointer and the blob file, the blob pointers against the blob file's blocks, each
    // maintained secondary index against a rebuild, the validity file against the table. One
    // line per problem; empty for a valid table. `warnings`, when given, receives what a valid
    // table may hold but should not (a blob no record points at).
    std::vector<std::string> Check(std::vector<std::string>* warnings = nullptr);

    // The validity checks of the table's .VAL (enforced by Post; a new record starts with the
    // defaults), or null when there is none or it cannot be read (Check says why; writes are
    // then refused).
    const Validity* validity() const;

    // Memory held by caches and in-memory indexes, for tests and the benchmark.
    size_t MemoryBytes() const;

  private:
    struct Impl;
    explicit Table(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace pq::paradox
