// Fuzz target: a package table from arbitrary bytes merged into a valid host table, as the
// installer merges (fuzz_support.h). Whatever the package holds, the merge may fail but must
// leave the host table valid.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pq::fuzz::FuzzMerge({data, size});
    return 0;
}
