// The benchmark's data: question and figure records as a question bank holds them, made from
// a seed so that every process of one run (our engine's tables, the SQLite anchor, the checks
// after the merge) sees exactly the same records without passing them around.
//
// A case is a host of N records and a package of M records; half of the package's keys (rounded
// down) are keys the host already has, the other half are new keys that fall between the host's
// own, in a shuffled order. Host and package contents of the same key differ, so an update can
// be told from a record left alone.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pq::bench {

enum class Kind { kQuestions, kFigures };

const char* KindName(Kind kind);  // "questions", "figures"
// Throws std::invalid_argument for any other name.
Kind KindFromName(std::string_view name);

// A small, fast, deterministic generator (splitmix64).
class Rng {
  public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    // Uniform in [0, bound); REQUIRES bound > 0.
    uint32_t Below(uint32_t bound);
    // Uniform in [lo, hi].
    int Between(int lo, int hi);

  private:
    uint64_t state_;
};

struct QuestionRecord {
    int32_t numeroReal = 0;
    std::string enunciado;                    // UTF-8, about 1000 characters
    std::array<std::string, 5> alternativas;  // UTF-8, 1 to 255 characters each
    std::string resposta;                     // "A".."E"
    int nivel = 1;                            // 1..5
    std::string figura;                       // a figure name, or empty (null)
};

struct FigureRecord {
    std::string nome;             // the key
    std::vector<uint8_t> figura;  // a BMP-like picture of about 30 KB
};

// Which content a record carries: the host's, or the package's newer one.
enum class Version : uint8_t { kHost = 0, kPackage = 1 };

// Keys: the host's i-th key (i in [0, N)) and the new key just after it, which the host lacks.
int32_t HostNumeroReal(uint32_t i);
int32_t NewNumeroReal(uint32_t i);
std::string HostFigureName(uint32_t i);
std::string NewFigureName(uint32_t i);

QuestionRecord MakeQuestion(int32_t numeroReal, Version version);
FigureRecord MakeFigure(const std::string& nome, Version version);

// The package of one case: for each of its M records, in package order, the host index it
// refers to and whether that key is the host's own (an update) or the new one after it.
struct PackageEntry {
    uint32_t hostIndex = 0;
    bool existing = false;
};
std::vector<PackageEntry> PackagePlan(Kind kind, uint32_t n, uint32_t m);

// The package's records, in package order.
QuestionRecord PackageQuestion(const PackageEntry& e);
FigureRecord PackageFigure(const PackageEntry& e);

// Records the host holds after a correct merge: N + the package's new keys.
uint32_t MergedRecordCount(uint32_t n, uint32_t m);

}  // namespace pq::bench
