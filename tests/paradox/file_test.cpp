// The system's files as the engine sees them, on both toolchains: sizes as the writer changes
// them, and a reader that sees another writer's growth.
#include "paradox/file.h"

#include <gtest/gtest.h>

#include <string>

#include "paradox/error.h"

namespace pq::paradox {
namespace {

std::string TestPath(const std::string& name) {
    return std::string(PQ_BINARY_DIR) + "/file_test_" + name;
}

TEST(SystemFile, AWritersSizeFollowsItsWritesAndTruncation) {
    FileSystem& fs = OsFileSystem();
    const std::string path = TestPath("writer.bin");
    auto f = fs.Open(path, OpenMode::kCreate);
    EXPECT_EQ(f->Size(), 0u);
    const std::string bytes(5000, 'x');
    f->WriteAt(0, bytes.data(), 100);
    EXPECT_EQ(f->Size(), 100u);
    f->WriteAt(10, bytes.data(), 20);  // inside: no growth
    EXPECT_EQ(f->Size(), 100u);
    f->WriteAt(4096, bytes.data(), 5000);  // past the end, with a hole
    EXPECT_EQ(f->Size(), 9096u);
    f->Truncate(50);
    EXPECT_EQ(f->Size(), 50u);
    f->WriteAt(50, bytes.data(), 1);
    EXPECT_EQ(f->Size(), 51u);

    // Another open of the file agrees, and a reader sees the writer's later growth.
    auto reader = fs.Open(path, OpenMode::kRead);
    EXPECT_EQ(reader->Size(), 51u);
    f->WriteAt(51, bytes.data(), 949);
    EXPECT_EQ(reader->Size(), 1000u);
    char c = 0;
    reader->ReadAt(999, &c, 1);
    EXPECT_EQ(c, 'x');
    EXPECT_THROW(reader->ReadAt(1000, &c, 1), IoError);
    f.reset();
    reader.reset();
    fs.Remove(path);
}

}  // namespace
}  // namespace pq::paradox
