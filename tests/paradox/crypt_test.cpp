// The password checksum and the block transform, against the encrypted sample tables (password
// "123") whose records were decoded by hand from the clear bytes.
#include "paradox/crypt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "paradox/error.h"

namespace pq::paradox {
namespace {

constexpr uint32_t kKey123 = 0x0A25E09A;

std::vector<uint8_t> ReadSample(const std::string& name) {
    std::ifstream in(std::string(PQ_SAMPLES_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}
uint16_t U16At(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

std::string TextAt(const std::vector<uint8_t>& b, size_t at, size_t size) {
    std::string s(reinterpret_cast<const char*>(b.data() + at), size);
    return s.substr(0, s.find('\0'));
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& b, size_t at, size_t size) {
    return {b.begin() + at, b.begin() + at + size};
}

TEST(PasswordChecksum, MatchesTheKeyStoredInTheEncryptedSamples) {
    EXPECT_EQ(PasswordChecksum("123"), kKey123);
    // Level 4+ keeps the checksum at 0x5C, level 3 at 0x25.
    EXPECT_EQ(U32At(ReadSample("encrypted.db"), 0x5C), PasswordChecksum("123"));
    EXPECT_EQ(U32At(ReadSample("encryptedmemo.db"), 0x5C), PasswordChecksum("123"));
    EXPECT_EQ(U32At(ReadSample("encrypted35.db"), 0x25), PasswordChecksum("123"));
}

TEST(PasswordChecksum, EmptyMeansNoPasswordAndBytesCount) {
    EXPECT_EQ(PasswordChecksum(""), 0u);
    EXPECT_NE(PasswordChecksum("124"), kKey123);
    EXPECT_NE(PasswordChecksum("1234"), kKey123);
    EXPECT_NE(PasswordChecksum("ABC"), PasswordChecksum("abc"));
    // A password of 256 bytes or more fills the whole chunk; the rest cannot count.
    const std::string longPassword(256, 'x');
    EXPECT_EQ(PasswordChecksum(longPassword + "tail"), PasswordChecksum(longPassword));
    EXPECT_NE(PasswordChecksum(std::string(255, 'x')), PasswordChecksum(longPassword));
}

TEST(DbBlockCrypt, DecodesTheLevel5SampleRecords) {
    const std::vector<uint8_t> file = ReadSample("encrypted.db");
    const size_t headerSize = U16At(file, 2), blockSize = file[5] * 1024u,
                 recordSize = U16At(file, 0);
    ASSERT_EQ(headerSize, 2048u);
    ASSERT_EQ(blockSize, 2048u);
    ASSERT_EQ(recordSize, 34u);  // Id + (4) and Text A30
    std::vector<uint8_t> block = Slice(file, headerSize, blockSize);
    const std::vector<uint8_t> coded = block;

    DecryptDbBlock(block.data(), block.size(), kKey123, 1);
    EXPECT_EQ(U16At(block, 0), 0u);              // next block: none
    EXPECT_EQ(U16At(block, 2), 0u);              // previous block: none
    EXPECT_EQ(U16At(block, 4), 3 * recordSize);  // offset of the 4th and last record
    const char* texts[] = {"Value 1", "Value 2", "Value 3", "Last one"};
    for (size_t i = 0; i < 4; ++i) {
        const size_t at = 6 + i * recordSize;
        // Auto-increment: big-endian with the top bit flipped, 1 = 80 00 00 01.
        EXPECT_EQ(Slice(block, at, 4), (std::vector<uint8_t>{0x80, 0, 0, uint8_t(i + 1)}));
        EXPECT_EQ(TextAt(block, at + 4, 30), texts[i]);
    }
    EXPECT_TRUE(std::all_of(block.begin() + 6 + 4 * recordSize, block.end(),
                            [](uint8_t b) { return b == 0; }));

    EncryptDbBlock(block.data(), block.size(), kKey123, 1);
    EXPECT_EQ(block, coded);
}

TEST(DbBlockCrypt, DecodesTheLevel3SampleWithTheKeyAt0x25) {
    const std::vector<uint8_t> file = ReadSample("encrypted35.db");
    std::vector<uint8_t> block = Slice(file, 2048, 2048);
    const std::vector<uint8_t> coded = block;
    DecryptDbBlock(block.data(), block.size(), U32At(file, 0x25), 1);
    EXPECT_EQ(U16At(block, 4), 38u);  // two records of 38 bytes (N, A30)
    // Number 1.0: bytes of the double 3FF0... with the sign bit set.
    EXPECT_EQ(Slice(block, 6, 8), (std::vector<uint8_t>{0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(TextAt(block, 14, 30), "Test 1");
    EXPECT_EQ(Slice(block, 44, 8), (std::vector<uint8_t>{0xC0, 0, 0, 0, 0, 0, 0, 0}));  // 2.0
    EXPECT_EQ(TextAt(block, 52, 30), "Test2");
    EncryptDbBlock(block.data(), block.size(), U32At(file, 0x25), 1);
    EXPECT_EQ(block, coded);
}

TEST(DbBlockCrypt, DecodesTheMemoSampleBlobDescriptor) {
    const std::vector<uint8_t> file = ReadSample("encryptedmemo.db");
    std::vector<uint8_t> block = Slice(file, 2048, 2048);
    DecryptDbBlock(block.data(), block.size(), kKey123, 1);
    EXPECT_EQ(U16At(block, 4), 250u);  // two records of 250 bytes: M250 = 240 leader + 10
    EXPECT_EQ(TextAt(block, 6, 28), " The PARADOX File Structure ");
    // After the 240-byte leader: offset|index, length, modification number (little-endian).
    EXPECT_EQ(U32At(block, 6 + 240), 0x000010FFu);
    EXPECT_EQ(U32At(block, 6 + 244), 55855u);
    EXPECT_EQ(U16At(block, 6 + 248), 1u);
    EXPECT_EQ(U32At(block, 256 + 240), 0x0000F0FFu);
    EXPECT_EQ(U32At(block, 256 + 244), 494832u);
}

TEST(DbBlockCrypt, BlockNumberAndChunkIndexChangeTheCode) {
    std::vector<uint8_t> plain(4096);
    std::mt19937 random(7);
    for (auto& b : plain) b = static_cast<uint8_t>(random());
    // Two identical chunks in one block code differently (c = chunk index).
    std::copy(plain.begin(), plain.begin() + 256, plain.begin() + 256);
    for (uint32_t blockNumber : {1u, 2u, 255u, 256u, 257u, 65535u}) {
        std::vector<uint8_t> block = plain;
        EncryptDbBlock(block.data(), block.size(), kKey123, blockNumber);
        EXPECT_NE(block, plain);
        EXPECT_FALSE(std::equal(block.begin(), block.begin() + 256, block.begin() + 256));
        std::vector<uint8_t> other = plain;
        EncryptDbBlock(other.data(), other.size(), kKey123, blockNumber + 1);
        EXPECT_NE(other, block) << blockNumber;
        DecryptDbBlock(block.data(), block.size(), kKey123, blockNumber);
        EXPECT_EQ(block, plain) << blockNumber;
    }
    // Only the low byte of the block number takes part.
    std::vector<uint8_t> b1 = plain, b257 = plain;
    EncryptDbBlock(b1.data(), b1.size(), kKey123, 1);
    EncryptDbBlock(b257.data(), b257.size(), kKey123, 257);
    EXPECT_EQ(b1, b257);
}

TEST(MbCrypt, DecodesTheWholeSampleBlobFileAndCodesItBack) {
    const std::vector<uint8_t> coded = ReadSample("encryptedmemo.mb");
    ASSERT_EQ(coded.size(), 557056u);
    std::vector<uint8_t> file = coded;
    DecryptMbChunks(file.data(), file.size(), kKey123);

    // The header block is the one of every clear blob file without suballocated blocks.
    const std::vector<uint8_t> clear = ReadSample("graphic240.mb");
    EXPECT_EQ(Slice(file, 0, 4096), Slice(clear, 0, 4096));
    // Two single-blob blocks: 14 blocks at 0x1000, 121 blocks at 0xF000, to the end of the file.
    EXPECT_EQ(Slice(file, 0x1000, 3), (std::vector<uint8_t>{0x02, 14, 0}));
    EXPECT_EQ(U32At(file, 0x1003), 55855u);
    EXPECT_EQ(U16At(file, 0x1007), 1u);
    EXPECT_EQ(TextAt(file, 0x1009, 28), " The PARADOX File Structure ");
    EXPECT_EQ(Slice(file, 0xF000, 3), (std::vector<uint8_t>{0x02, 121, 0}));
    EXPECT_EQ(U32At(file, 0xF003), 494832u);
    EXPECT_EQ(TextAt(file, 0xF009, 24), "(This is stale and you m");
    EXPECT_EQ(0xF000 + 121 * 4096u, file.size());

    EncryptMbChunks(file.data(), file.size(), kKey123);
    EXPECT_EQ(file, coded);
}

TEST(MbCrypt, EveryChunkUsesTheSameParameters) {
    // Unlike a data block, the position of a chunk in the file does not count: decoding any
    // 256-aligned piece alone gives the same bytes as decoding the whole file.
    const std::vector<uint8_t> coded = ReadSample("encryptedmemo.mb");
    std::vector<uint8_t> whole = coded;
    DecryptMbChunks(whole.data(), whole.size(), kKey123);
    std::vector<uint8_t> piece = Slice(coded, 0xF000 + 768, 512);
    DecryptMbChunks(piece.data(), piece.size(), kKey123);
    EXPECT_EQ(piece, Slice(whole, 0xF000 + 768, 512));
}

TEST(Crypt, RejectsPartialChunks) {
    std::vector<uint8_t> b(300);
    EXPECT_THROW(DecryptDbBlock(b.data(), b.size(), kKey123, 1), Error);
    EXPECT_THROW(EncryptDbBlock(b.data(), b.size(), kKey123, 1), Error);
    EXPECT_THROW(DecryptMbChunks(b.data(), b.size(), kKey123), Error);
    EXPECT_THROW(EncryptMbChunks(b.data(), b.size(), kKey123), Error);
}

}  // namespace
}  // namespace pq::paradox
