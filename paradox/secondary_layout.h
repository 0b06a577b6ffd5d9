// The headers of secondary index files: what a records file's header (.Xnn, .XGn) says about
// its index, checked against the table and against the layout real index files show, and new
// headers in that layout. The records file's header is laid out as a keyed table's: its fields
// are the indexed fields, then the table's key fields, then "Blk Num"; after the field names
// come the field numbers (first the table's numbers of the indexed fields, then the positions
// of the others in the entry), the sort order's name and the index's name (empty for an
// unnamed single-field index). The tree's header (.Ynn, .YGn) is a primary index's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "paradox/header.h"

namespace pq::paradox {

inline constexpr const char* kSecondaryBlockField = "Blk Num";
inline constexpr size_t kSecondaryBlockFieldBytes = 2;
inline constexpr int kMaxSecondaryFields = 16;
// Added to an indexed field's number in the field numbers when it is sorted descending.
inline constexpr uint16_t kSecondaryDescendingFlag = 0x8000;

struct SecondaryLayout {
    int fileType = 0;
    std::vector<size_t> fields;      // the indexed fields (0-based table field numbers)
    std::vector<std::string> names;  // their names in the table
    std::string name;                // the index's name
    std::string refusal;      // why a save could not keep it, the sort order aside (empty: it can)
    std::string sortRefusal;  // its entries are in an order this engine does not know
};

// What the records file's header `x` (its path `where`) says about its index of `table`.
// Maintained indexes (types 5, 8) are also checked against every byte real files show.
// CorruptError when the header cannot describe an index of the table.
SecondaryLayout ReadSecondaryLayout(const FileHeader& x, const FileHeader& table,
                                    const std::string& where);
// Why the tree's header `y` does not belong to the records file's `x` (empty when it does).
std::string CheckSecondaryTreeHeader(const FileHeader& y, const FileHeader& x);

// The sort order's name in a table-style header (.DB, .Xnn).
std::string SortOrderName(const FileHeader& h, const std::string& where);
// The fields of an index's entries: the indexed fields, the table's key fields, "Blk Num".
std::vector<Field> SecondaryEntryFields(const FileHeader& table, const std::vector<size_t>& fields);

// New, empty files' headers for an index of `table` on `fields` named `name` (empty: an
// unnamed single-field index), stored as `fileName`, with `blockSize`-byte blocks. Error when
// its entries do not fit the blocks.
std::vector<uint8_t> BuildSecondaryRecordsHeader(const FileHeader& table, const std::string& where,
                                                 const std::vector<size_t>& fields,
                                                 const std::string& name,
                                                 const std::string& fileName, uint32_t blockSize);
std::vector<uint8_t> BuildSecondaryTreeHeader(const FileHeader& table,
                                              const std::vector<size_t>& fields,
                                              const std::string& name, const std::string& fileName,
                                              uint32_t blockSize, Bytes recordsHeader);

}  // namespace pq::paradox
