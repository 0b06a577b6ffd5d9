// The secondary indexes of a keyed table: each a pair of files beside the .DB.
//
// The records file (.Xnn for an unnamed single-field index, .XGn for a composite or named one)
// is laid out as a keyed table: each entry holds the indexed fields, then the table's key
// fields, then "Blk Num" (a short: the .DB data block that holds the record), and the entries
// lie in ascending order of all fields but the last, byte by byte (which is numeric order for
// the field encodings, and the order of alpha fields under the 'ascii' sort order). Its tree
// (.Ynn, .YGn) is a primary index over the records file's blocks.
//
// Maintained indexes (file types 5 and 8) follow every save: an inserted record adds its entry,
// a deleted one removes it, a changed indexed or key field moves it, and a record that a data
// block split (or merge) carries to another block gets that block's number. Non-maintained
// indexes (3 and 6) are left as they are. An index this engine cannot keep for certain (a
// descending one, alpha fields under a sort order whose order it does not know, an unkeyed
// table's, any header that differs from the layout real files show, entries out of order) is
// not touched: the table refuses every write, naming the index file, before anything is
// written.
//
// Ownership: SecondaryIndexes owns the index files it opened; changes reach them only through
// Flush into the table's WriteBatch, inside the table's journaled save.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "paradox/block_file.h"
#include "paradox/file.h"
#include "paradox/header.h"
#include "paradox/table.h"

namespace pq::paradox {

class SecondaryIndex;

class SecondaryIndexes {
  public:
    // Finds and reads the index files beside the table at `dbPath` (whose header is `table`).
    // Never throws for a bad index file: what is wrong with it becomes its refusal.
    SecondaryIndexes(FileSystem& fs, const std::string& dbPath, const FileHeader& table,
                     bool forWriting);
    ~SecondaryIndexes();
    SecondaryIndexes(const SecondaryIndexes&) = delete;
    SecondaryIndexes& operator=(const SecondaryIndexes&) = delete;

    // The names of the index files found (records and trees), sorted.
    const std::vector<std::string>& FileNames() const { return files_; }
    std::vector<SecondaryIndexInfo> Describe() const;

    // Error naming the index file when a save could not keep an index. The first call also
    // checks that each maintained index holds `tableRecords` entries in order, over a sound
    // tree; later calls repeat the verdict.
    void RequireKept(const std::string& tablePath, uint32_t tableRecords);

    // A record of the table at data block `block` was inserted, deleted, moved to another block
    // or changed in place (`before` to `after`). REQUIRES: RequireKept passed.
    void Add(const uint8_t* rec, uint16_t block);
    void Remove(const uint8_t* rec);
    void Move(const uint8_t* rec, uint16_t toBlock);
    void Replace(const uint8_t* before, const uint8_t* after, uint16_t block);

    void Flush(WriteBatch& batch);
    void DropCache();

    // Every maintained index against a rebuild from the data file `db`: the same entries (in
    // order, when its order is known), the records file's blocks and counts, the tree over it.
    void Check(BlockFile& db, const std::function<void(const std::string&)>& problem);

    // Makes the files of a new maintained index on the table's fields `fields` (0-based),
    // named `name` (empty: an unnamed single-field index, .Xnn; otherwise .XGn), filled from
    // the records of `db`, and keeps it from then on. `treeBlockSize`: the tree's block size.
    // Error when the fields cannot make an index this engine keeps, or its files exist.
    void Create(const std::vector<size_t>& fields, const std::string& name, BlockFile& db,
                uint32_t treeBlockSize);

    size_t MemoryBytes() const;

  private:
    FileSystem& fs_;
    std::string dbPath_;
    const FileHeader& table_;
    bool forWriting_;
    std::vector<std::string> files_;
    std::vector<std::unique_ptr<SecondaryIndex>> indexes_;
    std::vector<SecondaryIndex*> kept_;  // the maintained ones
    bool verified_ = false;
    std::string refusal_;  // the first index that cannot be kept, and why
    std::string stray_;    // a tree file without its records file
};

}  // namespace pq::paradox
