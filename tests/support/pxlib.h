// pxlib, the independent Paradox reader the tests use as an oracle, as the sanitizer build
// takes it: pxlib keeps a few allocations of its own for good, which are not this project's
// leaks, so code that calls it holds PXLIB_ALLOCATIONS for the calls' scope.
#pragma once

extern "C" {
#include <paradox.h>
}

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define PXLIB_ALLOCATIONS __lsan::ScopedDisabler lsanOff
#else
#define PXLIB_ALLOCATIONS
#endif
