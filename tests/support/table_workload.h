// A random, reproducible stream of changes to a keyed table with long keys, small blocks and
// two blob fields, with an in-memory model of what the table must hold after each of them:
// inserts in the middle, updates that replace blobs of every size class, deletes, key changes
// and reopens. The stream depends only on the seed and the model, so a second run (the judge of
// a killed run) rebuilds the model after any number of steps without the table.
//
// Shapes: the key fills most of a 2 KiB index block (two or three entries an index block), the
// data blocks hold two or three records: a few hundred records give data block splits, index
// block splits, many index levels (and their rebuilds), freed blocks reused and blobs moved.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "paradox/file.h"
#include "paradox/schema.h"
#include "paradox/table.h"
#include "paradox/value.h"

namespace pq::paradox::testing {

struct WorkloadShape {
    std::vector<uint16_t> keyFields;  // alpha sizes of the key fields
    uint32_t blockSize;
    uint32_t indexBlockSize;
    size_t records;  // the size the table hovers around
};

// Two entries an index block, three records a data block; and three entries, two records.
inline WorkloadShape WorkloadShapeFor(uint32_t seed) {
    return seed % 2 ? WorkloadShape{{255, 255, 255, 250}, 4096, 2048, 90}
                    : WorkloadShape{{255, 255, 160}, 2048, 2048, 120};
}

inline Schema WorkloadSchema(const WorkloadShape& shape) {
    Schema s;
    for (size_t i = 0; i < shape.keyFields.size(); ++i)
        s.fields.push_back({"K" + std::to_string(i + 1), FieldType::kAlpha, shape.keyFields[i]});
    s.fields.push_back({"Valor", FieldType::kLong, 4});
    s.fields.push_back({"Figura", FieldType::kBinary, 10});
    s.fields.push_back({"Texto", FieldType::kMemo, 30});
    s.keyFieldCount = static_cast<int>(shape.keyFields.size());
    s.blockSize = shape.blockSize;
    s.fileVersion = *VersionForLevel(7);
    return s;
}

inline CreateOptions WorkloadCreateOptions(const WorkloadShape& shape) {
    CreateOptions o;
    o.indexBlockSize = shape.indexBlockSize;
    return o;
}

struct WorkloadRecord {
    int32_t value = 0;
    std::vector<uint8_t> blob;  // Figura; empty: null
    std::string memo;           // Texto; empty: null
    bool operator==(const WorkloadRecord&) const = default;
};

struct WorkloadStep {
    enum Kind { kInsert, kUpdate, kDelete, kRekey, kReopen } kind = kInsert;
    std::string key;        // the record's first key field
    std::string newKey;     // kRekey
    WorkloadRecord record;  // kInsert, kUpdate: the values after the step
};

class Workload {
  public:
    using Model = std::map<std::string, WorkloadRecord>;

    Workload(uint32_t seed, WorkloadShape shape) : random_(seed), shape_(std::move(shape)) {}

    const WorkloadShape& shape() const { return shape_; }
    const Model& model() const { return model_; }

    // The next step, drawn from the model as it stands (nothing is applied yet).
    WorkloadStep Next() {
        WorkloadStep s;
        const size_t n = model_.size();
        const unsigned roll = Draw(100);
        const unsigned insertShare = n < shape_.records ? 50 : 25;
        if (n == 0 || roll < insertShare) {
            s.kind = WorkloadStep::kInsert;
            s.key = FreshKey();
            s.record = Values(s.key, WorkloadRecord{});
        } else if (roll < insertShare + 3) {
            s.kind = WorkloadStep::kReopen;
        } else {
            auto it = model_.begin();
            std::advance(it, static_cast<long>(Draw(static_cast<unsigned>(n))));
            s.key = it->first;
            if (roll < insertShare + 33) {
                s.kind = WorkloadStep::kUpdate;
                s.record = Values(s.key, it->second);
            } else if (roll < insertShare + 55 || n > shape_.records * 5 / 4) {
                s.kind = WorkloadStep::kDelete;
            } else {
                s.kind = WorkloadStep::kRekey;
                s.newKey = FreshKey();
            }
        }
        return s;
    }

    // The step's effect on the model.
    void Apply(const WorkloadStep& s) {
        switch (s.kind) {
            case WorkloadStep::kInsert:
            case WorkloadStep::kUpdate:
                model_[s.key] = s.record;
                break;
            case WorkloadStep::kDelete:
                model_.erase(s.key);
                break;
            case WorkloadStep::kRekey: {
                WorkloadRecord r = model_.at(s.key);
                model_.erase(s.key);
                model_[s.newKey] = std::move(r);
                break;
            }
            case WorkloadStep::kReopen:
                break;
        }
    }

  private:
    unsigned Draw(unsigned n) { return static_cast<unsigned>(random_() % n); }

    // A key not in the table: random, so that most inserts land between two records.
    // A third of them right before the previous fresh key: runs of inserts at one place.
    std::string FreshKey() {
        if (last_ > 100000 && Draw(3) == 0) {
            const std::string k = "k" + std::to_string(--last_);
            if (!model_.count(k)) return k;
        }
        for (;;) {
            last_ = 100000 + Draw(900000);
            std::string k = "k" + std::to_string(last_);
            if (!model_.count(k)) return k;
        }
    }

    // Blob sizes of every class: null, inside the field's leader, in a slot of a shared block,
    // at the 2 KiB boundary, in blocks of one to ten units.
    size_t BlobSize() {
        static constexpr size_t kSizes[] = {0,    6,    20,   21,    300,   1500,
                                            2047, 2048, 5000, 14000, 20000, 40000};
        return kSizes[Draw(sizeof kSizes / sizeof kSizes[0])];
    }

    // New values: the blob, the memo or both replaced (an insert takes all three).
    WorkloadRecord Values(const std::string& key, WorkloadRecord r) {
        const unsigned which = Draw(3);
        r.value = static_cast<int32_t>(Draw(1000000));
        if (which != 1) {
            r.blob.resize(BlobSize());
            const uint8_t seed = static_cast<uint8_t>(Draw(256));
            for (size_t i = 0; i < r.blob.size(); ++i)
                r.blob[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 7));
        }
        if (which != 0) {
            const size_t n = BlobSize();
            r.memo.clear();
            while (r.memo.size() < n) r.memo += key + " " + std::to_string(r.value) + "; ";
            r.memo.resize(n);
        }
        return r;
    }

    std::mt19937 random_;
    WorkloadShape shape_;
    Model model_;
    unsigned last_ = 0;
};

inline void SetWorkloadRecord(Table& t, const WorkloadRecord& r) {
    const size_t keys = static_cast<size_t>(t.schema().keyFieldCount);
    t.Set(keys, Value::Integer(r.value));
    t.Set(keys + 1, r.blob.empty() ? Value() : Value::Bytes(r.blob));
    t.Set(keys + 2, r.memo.empty() ? Value() : Value::Text(r.memo));
}

inline void SetWorkloadKey(Table& t, const std::string& key) {
    // Every key field holds the key (cut to the field): the first one decides the order.
    for (int i = 0; i < t.schema().keyFieldCount; ++i)
        t.Set(static_cast<size_t>(i), Value::Text(key));
}

inline void SeekWorkloadKey(Table& t, const std::string& key) {
    if (!t.SeekKey({Value::Text(key)}))
        throw std::runtime_error(t.path() + ": no record " + key + " to change");
}

// Makes the step on the table (a reopen is the caller's: it owns the table).
inline void ApplyWorkloadStep(Table& t, const WorkloadStep& s) {
    switch (s.kind) {
        case WorkloadStep::kInsert:
            t.Append();
            SetWorkloadKey(t, s.key);
            SetWorkloadRecord(t, s.record);
            t.Post();
            break;
        case WorkloadStep::kUpdate:
            SeekWorkloadKey(t, s.key);
            t.Edit();
            SetWorkloadRecord(t, s.record);
            t.Post();
            break;
        case WorkloadStep::kDelete:
            SeekWorkloadKey(t, s.key);
            t.Delete();
            break;
        case WorkloadStep::kRekey:
            SeekWorkloadKey(t, s.key);
            t.Edit();
            SetWorkloadKey(t, s.newKey);
            t.Post();
            break;
        case WorkloadStep::kReopen:
            break;
    }
}

// The values of the record the table stands on.
inline WorkloadRecord ReadWorkloadRecord(Table& t) {
    const size_t keys = static_cast<size_t>(t.schema().keyFieldCount);
    WorkloadRecord r;
    r.value = static_cast<int32_t>(t.Get(keys).AsInteger());
    r.blob = t.GetBlob(keys + 1);
    const std::vector<uint8_t> memo = t.GetBlob(keys + 2);
    r.memo.assign(memo.begin(), memo.end());
    return r;
}

// The first difference between the table's records (in table order) and the model; empty when
// they agree.
inline std::string CompareWithWorkload(Table& t, const Workload::Model& model) {
    auto expected = model.begin();
    size_t n = 0;
    for (t.First(); !t.AtEnd(); t.Next(), ++expected, ++n) {
        const std::string key = t.Get(0).AsText();
        if (expected == model.end()) return "record " + key + " is one too many";
        if (key != expected->first)
            return "record " + std::to_string(n) + " is " + key + " where " + expected->first +
                   " belongs";
        const WorkloadRecord r = ReadWorkloadRecord(t);
        if (!(r == expected->second))
            return "record " + key + " holds other values (value " + std::to_string(r.value) +
                   ", blob of " + std::to_string(r.blob.size()) + " bytes, memo of " +
                   std::to_string(r.memo.size()) + ") than saved (" +
                   std::to_string(expected->second.value) + ", " +
                   std::to_string(expected->second.blob.size()) + ", " +
                   std::to_string(expected->second.memo.size()) + ")";
    }
    if (expected != model.end()) return "record " + expected->first + " is missing";
    if (t.RecordCount() != model.size())
        return "the header counts " + std::to_string(t.RecordCount()) + " records, the model " +
               std::to_string(model.size());
    return "";
}

// The most index levels a well-kept tree over `dataBlocks` level-1 entries has.
inline int WorkloadLevelLimit(const WorkloadShape& shape, long dataBlocks) {
    long keyBytes = 0;
    for (uint16_t size : shape.keyFields) keyBytes += size;
    const long cap = (static_cast<long>(shape.indexBlockSize) - 6) / (keyBytes + 6);
    auto levelsFor = [&](long fanout) {
        int levels = 1;
        for (long reach = fanout; reach < dataBlocks; reach *= fanout) ++levels;
        return levels;
    };
    return std::min(16, std::max(levelsFor(cap) + 2, levelsFor(std::max(2L, cap / 2)) + 1));
}

// Runs `steps` steps of the seed's stream on a new table at `path`, each checked against the
// model (the changed record at once; every record, the engine's check and its warnings every
// `fullEvery` steps and after each reopen). Returns the first failure, empty when none.
inline std::string RunWorkloadStress(FileSystem& fs, const std::string& path, uint32_t seed,
                                     int steps, int fullEvery) {
    Workload w(seed, WorkloadShapeFor(seed));
    std::unique_ptr<Table> t =
        Table::Create(fs, path, WorkloadSchema(w.shape()), WorkloadCreateOptions(w.shape()));
    const std::string where = "seed " + std::to_string(seed) + ", step ";
    std::mt19937 pick(seed ^ 0x5EED);
    int mostLevels = 0;
    for (int i = 1; i <= steps; ++i) {
        const WorkloadStep s = w.Next();
        try {
            if (s.kind == WorkloadStep::kReopen) {
                t.reset();
                t = Table::Open(fs, path);
            } else {
                ApplyWorkloadStep(*t, s);
            }
        } catch (const std::exception& e) {
            return where + std::to_string(i) + ": " + e.what();
        }
        w.Apply(s);
        try {
            if (s.kind == WorkloadStep::kDelete) {
                if (t->SeekKey({Value::Text(s.key)}))
                    return where + std::to_string(i) + ": deleted record " + s.key + " is there";
            } else if (s.kind != WorkloadStep::kReopen) {
                // The cursor stands on the saved record.
                const std::string key = s.kind == WorkloadStep::kRekey ? s.newKey : s.key;
                const size_t value = static_cast<size_t>(t->schema().keyFieldCount);
                if (t->Get(0).AsText() != key ||
                    t->Get(value).AsInteger() != w.model().at(key).value)
                    return where + std::to_string(i) + ": record " + key + " is not as saved";
            }
        } catch (const std::exception& e) {
            return where + std::to_string(i) + ": reading back: " + e.what();
        }
        try {
            // One record drawn at random, blobs and all (the one just saved is not read at
            // once: a read right after each write would hide what a later read finds).
            if (!w.model().empty()) {
                auto it = w.model().begin();
                std::advance(it, static_cast<long>(pick() % w.model().size()));
                if (!t->SeekKey({Value::Text(it->first)}) ||
                    !(ReadWorkloadRecord(*t) == it->second))
                    return where + std::to_string(i) + ": record " + it->first + " is not as saved";
            }
        } catch (const std::exception& e) {
            return where + std::to_string(i) + ": reading record back: " + e.what();
        }
        // The deepest the index may be: over the most data blocks the table had at any step.
        mostLevels = std::max(mostLevels, WorkloadLevelLimit(w.shape(), t->info().blocksInUse));
        if (t->RecordCount() != w.model().size())
            return where + std::to_string(i) + ": " + std::to_string(t->RecordCount()) +
                   " records where " + std::to_string(w.model().size()) + " belong";
        if (i % fullEvery && s.kind != WorkloadStep::kReopen && i != steps) continue;
        // The index no deeper than a tree of half-full blocks needs, and one more (or two more
        // than full blocks need); deletes never deepen it.
        if (t->info().indexLevels > mostLevels)
            return where + std::to_string(i) + ": " + std::to_string(t->info().indexLevels) +
                   " index levels over " + std::to_string(t->info().blocksInUse) + " data blocks";
        std::vector<std::string> warnings;
        std::vector<std::string> problems = t->Check(&warnings);
        problems.insert(problems.end(), warnings.begin(), warnings.end());
        if (!problems.empty()) return where + std::to_string(i) + ": " + problems.front();
        std::string difference;
        try {
            difference = CompareWithWorkload(*t, w.model());
        } catch (const std::exception& e) {
            difference = std::string("reading back: ") + e.what();
        }
        if (!difference.empty()) return where + std::to_string(i) + ": " + difference;
    }
    return "";
}

}  // namespace pq::paradox::testing
