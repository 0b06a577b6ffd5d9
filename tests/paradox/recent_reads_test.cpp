// The file that keeps its recent reads: what it returns is always what the file holds, through
// writes, failed writes and truncation, and a read it has kept costs no read of the file.
#include "paradox/recent_reads.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "paradox/error.h"

namespace pq::paradox {
namespace {

// Counts the reads that reach the file underneath.
class CountingFile : public File {
  public:
    CountingFile(std::unique_ptr<File> inner, int& reads)
        : File(inner->Path()), inner_(std::move(inner)), reads_(reads) {}
    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        ++reads_;
        inner_->ReadAt(offset, buffer, n);
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        inner_->WriteAt(offset, data, n);
    }
    uint64_t Size() override { return inner_->Size(); }
    void Truncate(uint64_t size) override { inner_->Truncate(size); }
    void Sync() override {}
    bool TryLockForWriting() override { return inner_->TryLockForWriting(); }

  private:
    std::unique_ptr<File> inner_;
    int& reads_;
};

std::string ReadText(File& f, uint64_t offset, size_t n) {
    std::string out(n, '\0');
    f.ReadAt(offset, out.data(), n);
    return out;
}

TEST(RecentReads, AKeptReadIsServedFromMemoryAndFollowsTheWritesMadeThroughIt) {
    MemoryFileSystem fs;
    auto raw = fs.Open("t.bin", OpenMode::kCreate);
    raw->WriteAt(0, std::string(1000, 'a').data(), 1000);
    int reads = 0;
    auto f = RecentReadsFile(
        std::make_unique<CountingFile>(fs.Open("t.bin", OpenMode::kReadWrite), reads), {2, 300});

    EXPECT_EQ(ReadText(*f, 100, 200), std::string(200, 'a'));
    EXPECT_EQ(ReadText(*f, 120, 10), std::string(10, 'a'));
    EXPECT_EQ(ReadText(*f, 100, 200), std::string(200, 'a'));  // the whole kept read
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(ReadText(*f, 290, 20), std::string(20, 'a'));  // reaches past it
    EXPECT_EQ(reads, 2);

    // A write over part of a kept read: the kept bytes take it, and no read is needed.
    f->WriteAt(95, "bbbbbbbbbb", 10);
    EXPECT_EQ(ReadText(*f, 100, 8), "bbbbbaaa");
    f->WriteOverFree(298, "cccc", 4);
    EXPECT_EQ(ReadText(*f, 296, 4), "aacc");
    EXPECT_EQ(reads, 2);

    // A read longer than the limit is not kept; the least recently used read goes first.
    EXPECT_EQ(ReadText(*f, 0, 301).size(), 301u);
    EXPECT_EQ(ReadText(*f, 0, 301).size(), 301u);
    EXPECT_EQ(reads, 4);
    ReadText(*f, 500, 10);  // 290+20, the least recently used, goes
    EXPECT_EQ(reads, 5);
    ReadText(*f, 296, 4);  // 100+200 stays
    EXPECT_EQ(reads, 5);
    ReadText(*f, 305, 4);
    EXPECT_EQ(reads, 6);

    // Truncation drops what lies past the new end, even with the file grown back since.
    EXPECT_EQ(ReadText(*f, 400, 10), std::string(10, 'a'));
    f->Truncate(405);
    raw->WriteAt(405, "zzzzz", 5);  // by a writer this file does not know
    EXPECT_EQ(ReadText(*f, 400, 10), "aaaaazzzzz");
    EXPECT_EQ(reads, 8);
}

TEST(RecentReads, AFailedWriteForgetsTheReadsItOverlaps) {
    MemoryFileSystem fs;
    fs.Open("t.bin", OpenMode::kCreate)->WriteAt(0, std::string(100, 'a').data(), 100);
    int reads = 0;
    auto f = RecentReadsFile(
        std::make_unique<CountingFile>(fs.Open("t.bin", OpenMode::kReadWrite), reads));
    ReadText(*f, 0, 50);
    ReadText(*f, 60, 40);
    fs.FailOneWrite(0);
    EXPECT_THROW(f->WriteAt(40, "xxxxx", 5), IoError);
    EXPECT_EQ(ReadText(*f, 60, 40), std::string(40, 'a'));  // apart from the write: kept
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(ReadText(*f, 0, 50), std::string(50, 'a'));  // read again from the file
    EXPECT_EQ(reads, 3);
}

// Random reads, writes and truncations: every read agrees with a plain open of the same file.
TEST(RecentReads, EveryReadAgreesWithTheFileThroughRandomWork) {
    MemoryFileSystem fs;
    auto truth = fs.Open("t.bin", OpenMode::kCreate);
    int reads = 0;
    auto f = RecentReadsFile(
        std::make_unique<CountingFile>(fs.Open("t.bin", OpenMode::kReadWrite), reads), {4, 64});
    std::mt19937 random(7);
    auto pick = [&](uint64_t n) { return static_cast<uint64_t>(random() % n); };
    f->WriteAt(0, std::string(256, 'a').data(), 256);
    for (int step = 0; step < 20000; ++step) {
        const uint64_t size = f->Size();
        const int what = static_cast<int>(pick(10));
        if (what < 6 && size > 0) {
            const uint64_t offset = pick(size);
            const size_t n = static_cast<size_t>(1 + pick(std::min<uint64_t>(80, size - offset)));
            ASSERT_EQ(ReadText(*f, offset, n), ReadText(*truth, offset, n))
                << "step " << step << ": " << n << " bytes at " << offset;
        } else if (what < 9) {
            const uint64_t offset = pick(size + 8);
            const std::string bytes(1 + pick(40), static_cast<char>('b' + pick(20)));
            if (what == 8)
                f->WriteOverFree(offset, bytes.data(), bytes.size());
            else
                f->WriteAt(offset, bytes.data(), bytes.size());
        } else {
            f->Truncate(pick(size + 1));
        }
    }
    EXPECT_LT(reads, 12000);  // many reads were served from memory
}

}  // namespace
}  // namespace pq::paradox
