// The record merge: every record of a package table is written into the matching host table,
// overwriting the host record with the same key or appended when the key is new. Figure
// tables ("F.db" anywhere in the source's table name) match on "Nome" through the primary
// key; question tables on the first record with an equal "NumeroReal". Each record is saved
// at once; nothing is rolled back.
//
// The merge reaches its window through MergeHost: the per-table bar, one round of pending
// messages per record, and the cancel flag, so it runs with or without a window.
#pragma once

#include <cstdint>

namespace pq::tabledb {
class Table;
}

namespace pq::install {

class MergeHost {
  public:
    virtual ~MergeHost() = default;
    // The per-table progress bar (MedidorParcial).
    virtual void SetPartialPosition(int position) = 0;
    virtual void SetPartialMax(int max) = 0;
    virtual int PartialPosition() const = 0;
    // Processes all pending window messages once.
    virtual void ProcessMessages() = 0;
    virtual bool CancelRequested() const = 0;
};

// REQUIRES: both tables open, the source on its first record, the destination browsing.
void MergeTable(tabledb::Table& source, tabledb::Table& dest, MergeHost& host);

// True when the destination holds a record with the source record's key; the destination is
// then positioned on it.
bool LocateMatchingRecord(tabledb::Table& source, tabledb::Table& dest);

}  // namespace pq::install
