// Fuzz target: the input is a framed .DB, .PX and .MB (fuzz_support.h). Opens the table with
// its index and blob file, reads every record and field, searches by key (SeekKey) and by
// field value (FindFirstEqual), and checks the table.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pq::fuzz::FuzzTableFiles({data, size});
    return 0;
}
