#include "install/merge.h"

#include <climits>

#include "tabledb/table.h"

namespace pq::install {

using tabledb::ftAutoInc;
using tabledb::Table;
using tabledb::Value;

bool LocateMatchingRecord(Table& source, Table& dest) {
    if (source.TableName().find("F.db") != std::string::npos) {
        const std::string nome = source.FieldNamed("Nome").ReadText();
        return dest.SeekPrimaryKey(nome);
    }
    const int32_t numeroReal = source.FieldNamed("NumeroReal").ReadInteger();
    return dest.SeekFieldValue("NumeroReal", Value::Integer(numeroReal));
}

void MergeTable(Table& source, Table& dest, MergeHost& host) {
    host.SetPartialPosition(0);
    const uint64_t total = source.RecordTotal();
    host.SetPartialMax(total > INT_MAX ? INT_MAX : static_cast<int>(total));
    while (!source.AtEnd()) {
        host.ProcessMessages();
        if (host.CancelRequested()) break;
        const bool found = LocateMatchingRecord(source, dest);
        if (found)
            dest.BeginEdit();
        else
            dest.BeginAppend();
        // Fields are matched by position; the counter is one byte wide, as tables have fewer
        // than 256 fields.
        const size_t count = source.FieldTotal();
        for (uint8_t i = 0; i < count; ++i) {
            tabledb::Field& target = dest.FieldAt(i);
            if (target.FieldType() != ftAutoInc)
                target.WriteValue(source.FieldAt(i).ReadValue());
            else if (!found)
                target.WriteInteger(1);
            if (i == UINT8_MAX) break;
        }
        dest.SaveRecord();
        source.Advance();
        host.SetPartialPosition(host.PartialPosition() + 1);
    }
}

}  // namespace pq::install
