// Fuzz target: the input is a table's .DB file on its own (no index, no blob file). Opens it,
// reads every record and field, and checks it (fuzz_support.h). Engine errors are the
// expected outcome for most inputs; a crash, a sanitizer report, a hang or a large allocation
// is a finding.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pq::fuzz::FuzzTableDb({data, size});
    return 0;
}
