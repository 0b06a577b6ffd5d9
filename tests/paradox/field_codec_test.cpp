// Field encodings byte for byte, value conversions and their refusals, BCD and calendar rules.
#include "paradox/field_codec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "paradox/coding.h"
#include "paradox/error.h"
#include "tests/paradox/table_test_support.h"

namespace pq::paradox {
namespace {

using testing::F;

std::vector<uint8_t> Encode(const Field& f, const Value& v, int codePage = 1252) {
    std::vector<uint8_t> out(f.RecordBytes(), 0xEE);
    EncodeField(f, v, out, codePage);
    return out;
}

// The journal's checks: the zlib CRC-32 and CRC-32C, bit by bit here, for every length up to a
// few hundred bytes at every alignment (short inputs and tails go through tables, longer ones
// are folded 64 and 16 bytes at a time, or go through the processor's CRC-32C instruction) and
// for a long input.
TEST(Coding, Crc32AndCrc32cAreTheStandardChecksumsAtEveryLengthAndAlignment) {
    struct Kind {
        const char* name;
        uint32_t (*crc)(Bytes);
        uint32_t poly;   // bit-reflected
        uint32_t check;  // of "123456789"
    };
    const Kind kinds[] = {{"CRC-32", Crc32, 0xEDB88320u, 0xCBF43926u},
                          {"CRC-32C", Crc32c, 0x82F63B78u, 0xE3069283u}};
    std::vector<uint8_t> bytes(70000);
    uint32_t state = 12345;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 23);
    const std::vector<uint8_t> zeros(4096, 0), ones(4096, 0xFF);
    const std::string check = "123456789";
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        auto bitwise = [&](const uint8_t* p, size_t n) {
            uint32_t c = 0xFFFFFFFFu;
            for (size_t i = 0; i < n; ++i) {
                c ^= p[i];
                for (int b = 0; b < 8; ++b) c = (c & 1) ? k.poly ^ (c >> 1) : c >> 1;
            }
            return c ^ 0xFFFFFFFFu;
        };
        EXPECT_EQ(k.crc(Bytes(reinterpret_cast<const uint8_t*>(check.data()), check.size())),
                  k.check);
        for (size_t at = 0; at < 16; ++at) {
            for (size_t n = 0; n <= 300; ++n) {
                ASSERT_EQ(k.crc(Bytes(bytes).subspan(at, n)), bitwise(bytes.data() + at, n))
                    << n << " bytes at " << at;
            }
        }
        EXPECT_EQ(k.crc(Bytes(bytes).subspan(3)), bitwise(bytes.data() + 3, bytes.size() - 3));
        EXPECT_EQ(k.crc(Bytes(zeros)), bitwise(zeros.data(), zeros.size()));
        EXPECT_EQ(k.crc(Bytes(ones)), bitwise(ones.data(), ones.size()));
    }
}

TEST(FieldCodec, IntegersAreBigEndianWithTheSignBitInverted) {
    EXPECT_EQ(Encode(F("s", FieldType::kShort), Value::Integer(1)),
              (std::vector<uint8_t>{0x80, 0x01}));
    EXPECT_EQ(Encode(F("s", FieldType::kShort), Value::Integer(256)),
              (std::vector<uint8_t>{0x81, 0x00}));
    EXPECT_EQ(Encode(F("s", FieldType::kShort), Value::Integer(-1)),
              (std::vector<uint8_t>{0x7F, 0xFF}));
    EXPECT_EQ(Encode(F("i", FieldType::kLong), Value::Integer(0)),
              (std::vector<uint8_t>{0x80, 0, 0, 0}));
    EXPECT_EQ(Encode(F("l", FieldType::kLogical), Value::Bool(true)), (std::vector<uint8_t>{0x81}));
    EXPECT_EQ(Encode(F("l", FieldType::kLogical), Value::Bool(false)),
              (std::vector<uint8_t>{0x80}));
    // -32768 and INT32_MIN would encode as all zeros, the null: refused.
    EXPECT_THROW(Encode(F("s", FieldType::kShort), Value::Integer(-32768)), ValueError);
    EXPECT_THROW(Encode(F("s", FieldType::kShort), Value::Integer(32768)), ValueError);
    EXPECT_THROW(Encode(F("i", FieldType::kLong), Value::Integer(-2147483648LL)), ValueError);
    for (int64_t v : {-32767LL, -2LL, 0LL, 5LL, 32767LL}) {
        const auto bytes = Encode(F("s", FieldType::kShort), Value::Integer(v));
        EXPECT_EQ(DecodeField(F("s", FieldType::kShort), bytes, 1252), Value::Integer(v));
    }
}

TEST(FieldCodec, DoublesOrderByTheirBytesAndZeroIsNotNull) {
    const Field n = F("n", FieldType::kNumber);
    EXPECT_EQ(Encode(n, Value::Double(0.0)), (std::vector<uint8_t>{0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(DecodeField(n, Encode(n, Value::Double(0.0)), 1252), Value::Double(0.0));
    EXPECT_TRUE(DecodeField(n, std::vector<uint8_t>(8, 0), 1252).IsNull());
    const std::vector<double> ascending = {-1e300, -2.5, -1e-300, 0.0, 1e-300, 3.25, 1e300};
    for (size_t i = 0; i + 1 < ascending.size(); ++i) {
        const auto a = Encode(n, Value::Double(ascending[i]));
        const auto b = Encode(n, Value::Double(ascending[i + 1]));
        EXPECT_LT(a, b) << ascending[i];
        EXPECT_EQ(DecodeField(n, a, 1252), Value::Double(ascending[i]));
    }
    EXPECT_THROW(Encode(n, Value::Double(std::numeric_limits<double>::infinity())), ValueError);
    EXPECT_EQ(DecodeField(n, Encode(n, Value::Text(" 12.5 ")), 1252), Value::Double(12.5));
}

TEST(FieldCodec, AlphaUsesTheCodePageAndRefusesWhatDoesNotFit) {
    const Field a = F("Nome", FieldType::kAlpha, 6);
    EXPECT_EQ(Encode(a, Value::Text("Ação")), (std::vector<uint8_t>{'A', 0xE7, 0xE3, 'o', 0, 0}));
    EXPECT_EQ(DecodeField(a, Encode(a, Value::Text("Ação")), 1252), Value::Text("Ação"));
    EXPECT_EQ(Encode(a, Value::Text("ç"), 437)[0], 0x87);
    EXPECT_EQ(DecodeField(a, Encode(a, Value::Text("ç"), 850), 850), Value::Text("ç"));
    EXPECT_TRUE(DecodeField(a, Encode(a, Value::Text("")), 1252).IsNull());
    EXPECT_EQ(DecodeField(a, Encode(a, Value::Integer(42)), 1252), Value::Text("42"));
    try {
        Encode(a, Value::Text("1234567"));
        ADD_FAILURE();
    } catch (const ValueError& e) {
        EXPECT_STREQ(e.what(), "Invalid value for field 'Nome'");
        EXPECT_THAT(e.detail(), ::testing::HasSubstr("7 bytes"));
    }
    EXPECT_THROW(Encode(a, Value::Text("日本"), 1252), ValueError);
}

TEST(FieldCodec, BcdPacksDigitsAndRounds) {
    const Field b = F("b", FieldType::kBcd, 2);
    const auto bytes = Encode(b, Value::Bcd("1.23"));
    std::vector<uint8_t> expect(17, 0);
    expect[0] = 0xC2;
    expect[15] = 0x01;
    expect[16] = 0x23;
    EXPECT_EQ(bytes, expect);
    const auto neg = Encode(b, Value::Text("-1.23"));
    EXPECT_EQ(neg[0], 0x42);
    EXPECT_EQ(neg[16], 0xDC);
    EXPECT_EQ(DecodeField(b, neg, 1252), Value::Bcd("-1.23"));
    EXPECT_EQ(NormalizeBcd("12.345", 2), "12.35");
    EXPECT_EQ(NormalizeBcd("-12.344", 2), "-12.34");
    EXPECT_EQ(NormalizeBcd("1e3", 0), "1000");
    EXPECT_EQ(NormalizeBcd("0.005", 2), "0.01");
    EXPECT_EQ(NormalizeBcd("-0.001", 2), "0.00");
    EXPECT_EQ(NormalizeBcd("99.999", 2), "100.00");
    EXPECT_EQ(NormalizeBcd(std::string(30, '9'), 2), std::string(30, '9') + ".00");
    EXPECT_EQ(NormalizeBcd(std::string(31, '9'), 2), std::nullopt);
    EXPECT_EQ(NormalizeBcd("1.2.3", 2), std::nullopt);
    EXPECT_EQ(NormalizeBcd("abc", 2), std::nullopt);
    EXPECT_EQ(DecodeField(b, Encode(b, Value::Double(-3)), 1252), Value::Bcd("-3.00"));
    EXPECT_EQ(DecodeField(F("z", FieldType::kBcd, 0),
                          Encode(F("z", FieldType::kBcd, 0), Value::Integer(7)), 1252),
              Value::Bcd("7"));
    EXPECT_THROW(Encode(b, Value::Text("x")), ValueError);
}

TEST(FieldCodec, DaysCountFromTheFirstOfJanuaryOfYearOne) {
    EXPECT_EQ(DayFromCivil(1, 1, 1), 1);
    EXPECT_EQ(DayFromCivil(100, 1, 1), 36160);    // the lowest date the original engine takes
    EXPECT_EQ(DayFromCivil(1996, 5, 4), 728783);  // as the format description counts it
    EXPECT_EQ(DayFromCivil(2018, 1, 1), 736695);
    int y, m, d;
    CivilFromDay(DayFromCivil(2000, 2, 29), &y, &m, &d);
    EXPECT_EQ(std::tie(y, m, d), std::make_tuple(2000, 2, 29));
    EXPECT_EQ(FormatDate(DayFromCivil(1999, 12, 31)), "1999-12-31");
    EXPECT_EQ(ParseDate("2024-02-29"), DayFromCivil(2024, 2, 29));
    EXPECT_EQ(ParseDate("2023-02-29"), std::nullopt);
    EXPECT_EQ(ParseTime("23:59:59.999"), 86399999);
    EXPECT_EQ(ParseTime("07:08:09.5"), 25689500);
    EXPECT_EQ(ParseTime("24:00:00"), std::nullopt);
    EXPECT_EQ(FormatTime(25689500), "07:08:09.500");
    EXPECT_EQ(FormatTimestamp(*ParseTimestamp("2020-02-01T01:00:01.250")),
              "2020-02-01 01:00:01.250");
    const Field dt = F("d", FieldType::kDate);
    EXPECT_EQ(DecodeField(dt, Encode(dt, Value::Text("1988-04-03")), 1252),
              Value::Date(DayFromCivil(1988, 4, 3)));
    EXPECT_THROW(Encode(dt, Value::Text("03/04/1988")), ValueError);
    EXPECT_THROW(Encode(dt, Value::Bool(true)), ValueError);
    const Field tm = F("t", FieldType::kTime);
    EXPECT_THROW(Encode(tm, Value::Time(86400000)), ValueError);
}

TEST(FieldCodec, DoublesPrintShortestWithoutTrailingPointZero) {
    EXPECT_EQ(FormatDouble(7320), "7320");
    EXPECT_EQ(FormatDouble(-3), "-3");
    EXPECT_EQ(FormatDouble(0.1), "0.1");
    EXPECT_EQ(FormatDouble(12.5), "12.5");
    EXPECT_EQ(FormatDouble(1e21), "1000000000000000000000");
    EXPECT_EQ(FormatDouble(-0.0), "0");
}

TEST(FieldCodec, BlobDescriptorAndContent) {
    const Field m = F("m", FieldType::kMemo, 20);
    std::vector<uint8_t> bytes(20, 0);
    EncodeBlobDescriptor({0x1003F, 555, 7}, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 10, bytes.end()),
              (std::vector<uint8_t>{0x3F, 0, 1, 0, 0x2B, 0x02, 0, 0, 7, 0}));
    const BlobDescriptor d = DecodeBlobDescriptor(bytes);
    EXPECT_EQ(d.offsetAndIndex, 0x1003Fu);
    EXPECT_EQ(d.length, 555u);
    EXPECT_EQ(d.modNumber, 7);
    EXPECT_EQ(BlobContent(m, Value::Text("é"), 1252), (std::vector<uint8_t>{0xE9}));
    EXPECT_EQ(BlobValue(m, {0xE9}, 1252), Value::Text("é"));
    EXPECT_TRUE(BlobValue(m, {}, 1252).IsNull());
    EXPECT_THROW(BlobContent(m, Value::Integer(3), 1252), ValueError);
}

// A value's text or bytes can be taken over, from the kinds that hold them only.
TEST(FieldCodec, TextAndBytesAreTakenOverFromTheirOwnKindsOnly) {
    const std::string longText(100, 'x');  // past any small-string buffer
    EXPECT_EQ(Value::Text(longText).TakeText(), longText);
    EXPECT_EQ(Value::Bcd("-12.5").TakeText(), "-12.5");
    EXPECT_EQ(Value::Bytes({1, 2, 3}).TakeBytes(), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_THROW(Value::Bytes({1}).TakeText(), Error);
    EXPECT_THROW(Value::Text("a").TakeBytes(), Error);
    EXPECT_THROW(Value().TakeText(), Error);
}

}  // namespace
}  // namespace pq::paradox
