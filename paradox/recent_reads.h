// A file that keeps the bytes of its last few reads. A save reads again, to journal them, the
// bytes it is about to overwrite, and most often it has just read them to find its place (the
// record's block, the blob's slot table): those second reads cost no system call.
//
// Writes made through it keep the kept bytes current, so it must be the file's only writer while
// it is open: a table open for writing holds the file's write lock, and undoes an interrupted
// save before it reads anything.
#pragma once

#include <cstddef>
#include <memory>

#include "paradox/file.h"

namespace pq::paradox {

struct RecentReadsLimits {
    size_t reads = 16;       // how many reads are kept (the least recently used goes first)
    size_t largest = 16384;  // a longer read is not kept
};

std::unique_ptr<File> RecentReadsFile(std::unique_ptr<File> inner, RecentReadsLimits limits = {});

}  // namespace pq::paradox
