// Text conversions and the bounded file access shared by the tag readers.
#include "tags/ByteReader.h"
#include "tags/TextCodec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace tags;

namespace {

struct Utf8Case {
    const char* Name;
    std::string Bytes;
    bool Valid;
};

class Utf8Validity : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Validity, Classifies)
{
    EXPECT_EQ(IsValidUtf8(GetParam().Bytes), GetParam().Valid);
}

INSTANTIATE_TEST_SUITE_P(Table, Utf8Validity, ::testing::Values(
    Utf8Case{"Ascii", "Title", true},
    Utf8Case{"InnerZero", std::string("A\0B", 3), true},
    Utf8Case{"TwoByte", "Caf\xC3\xA9", true},
    Utf8Case{"ThreeByte", "\xE6\x97\xA5", true},
    Utf8Case{"FourByte", "\xF0\x9F\x8E\xB5", true},
    Utf8Case{"Latin1", "Caf\xE9", false},
    Utf8Case{"LoneContinuation", "\x80", false},
    Utf8Case{"OverlongTwo", "\xC0\x80", false},
    Utf8Case{"OverlongThree", "\xE0\x80\x80", false},
    Utf8Case{"Surrogate", "\xED\xA0\x80", false},
    Utf8Case{"AboveMax", "\xF4\x90\x80\x80", false},
    Utf8Case{"CutSequence", "ab\xE6\x97", false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(SingleByteText, KeepsUtf8AndConvertsLatin1)
{
    EXPECT_EQ(SingleByteToUtf8("Caf\xC3\xA9"), "Caf\xC3\xA9");
    EXPECT_EQ(SingleByteToUtf8("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(SingleByteToUtf8("\xFF\x80"), "\xC3\xBF\xC2\x80");
    EXPECT_EQ(SingleByteToUtf8(std::string("A\0\xE9", 3)), std::string("A\0\xC3\xA9", 4));
}

TEST(Utf16Text, DecodesBothByteOrdersAndPairs)
{
    const uint8_t Le[] = {0x41, 0x00, 0xE9, 0x00, 0x3C, 0xD8, 0xB5, 0xDF};
    EXPECT_EQ(Utf16ToUtf8(Le, 4, false), "A\xC3\xA9\xF0\x9F\x8E\xB5");
    const uint8_t Be[] = {0x00, 0x41, 0x65, 0xE5};
    EXPECT_EQ(Utf16ToUtf8(Be, 2, true), "A\xE6\x97\xA5");
    // A lone surrogate, as a cut text leaves it, must not produce invalid UTF-8.
    std::string Lone = Utf16ToUtf8(u"A\xD83C");
    EXPECT_EQ(Lone, "A\xEF\xBF\xBD");
    EXPECT_TRUE(IsValidUtf8(Lone));
    EXPECT_EQ(Utf16ToUtf8(std::u16string(u"A\0B", 3)), std::string("A\0B", 3));
}

TEST(Trim, RemovesControlAndBlankAtBothEnds)
{
    EXPECT_EQ(TrimControl(std::string("\0 \t Title \r\n\0", 13)), "Title");
    EXPECT_EQ(TrimControl(std::string("A\0B", 3)), std::string("A\0B", 3));
    EXPECT_EQ(TrimControl("   "), "");
    EXPECT_EQ(TrimControl("\xC3\xA9 "), "\xC3\xA9"); // bytes above 0x7F are text, not blanks
    EXPECT_EQ(TrimControl(std::u16string(u"\0 X\x0001", 4)), u"X");
}

struct NumberCase {
    const char* Text;
    bool Ok;
    int32_t Value;
};

class Decimal : public ::testing::TestWithParam<NumberCase> {};

TEST_P(Decimal, Parses)
{
    int32_t V = -99;
    EXPECT_EQ(ParseDecimal(GetParam().Text, V), GetParam().Ok) << GetParam().Text;
    if (GetParam().Ok) {
        EXPECT_EQ(V, GetParam().Value);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Decimal, ::testing::Values(
    NumberCase{"7", true, 7}, NumberCase{"+4", true, 4}, NumberCase{"-3", true, -3},
    NumberCase{"007", true, 7}, NumberCase{"2147483647", true, INT32_MAX},
    NumberCase{"-2147483648", true, INT32_MIN}, NumberCase{"2147483648", false, 0},
    NumberCase{"99999999999999999999", false, 0}, NumberCase{"", false, 0},
    NumberCase{"-", false, 0}, NumberCase{"3 ", false, 0}, NumberCase{"12a", false, 0},
    NumberCase{"0x1F", false, 0}));

TEST(FirstCodePoints, NeverCutsASequence)
{
    EXPECT_EQ(FirstCodePoints("2004-05-06", 4), "2004");
    EXPECT_EQ(FirstCodePoints("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 4), "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
    EXPECT_EQ(FirstCodePoints("ab", 4), "ab");
}

class FileBytes : public ::testing::Test {
protected:
    std::filesystem::path Dir;
    void SetUp() override
    {
        Dir = std::filesystem::temp_directory_path() /
              ("corvane-textcodec-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(Dir);
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }
    std::string Make(const std::string& Name, const std::string& Bytes)
    {
        std::string P = (Dir / Name).string();
        std::ofstream(P, std::ios::binary) << Bytes;
        return P;
    }
};

TEST_F(FileBytes, ReadsOnlyWhatTheFileHolds)
{
    std::string P = Make("ten", "0123456789");
    std::vector<uint8_t> Out;
    ASSERT_TRUE(ReadFileBytes(P, 2, 3, Out));
    EXPECT_EQ(std::string(Out.begin(), Out.end()), "234");
    ASSERT_TRUE(ReadFileBytes(P, 8, 1000000000, Out)); // no allocation beyond the file
    EXPECT_EQ(std::string(Out.begin(), Out.end()), "89");
    ASSERT_TRUE(ReadFileBytes(P, UINT64_MAX, 10, Out));
    EXPECT_TRUE(Out.empty());
    EXPECT_EQ(FileSizeOf(P), 10);
}

TEST_F(FileBytes, MissingFilesAndFoldersCannotBeRead)
{
    std::vector<uint8_t> Out{1, 2};
    EXPECT_FALSE(ReadFileBytes((Dir / "missing").string(), 0, 10, Out));
    EXPECT_TRUE(Out.empty());
    EXPECT_FALSE(ReadFileBytes(Dir.string(), 0, 10, Out));
    EXPECT_EQ(FileSizeOf((Dir / "missing").string()), -1);
    EXPECT_EQ(FileSizeOf(Dir.string()), -1);
    EXPECT_EQ(FileSizeOf(Make("empty", "")), 0);
}

TEST_F(FileBytes, FifoIsRefusedWithoutWaiting)
{
    std::string P = (Dir / "pipe").string();
    ASSERT_EQ(::mkfifo(P.c_str(), 0600), 0);
    std::vector<uint8_t> Out;
    EXPECT_FALSE(ReadFileBytes(P, 0, 10, Out)); // would block for ever if opened plainly
    EXPECT_EQ(FileSizeOf(P), -1);
}

TEST(ByteSource, RefusesReadsOutsideItsData)
{
    const uint8_t Data[4] = {1, 2, 3, 4};
    TByteSource S(Data, 4);
    uint8_t Out[4] = {};
    EXPECT_TRUE(S.ReadAt(1, Out, 3));
    EXPECT_EQ(Out[2], 4);
    EXPECT_TRUE(S.ReadAt(4, Out, 0));
    EXPECT_FALSE(S.ReadAt(2, Out, 3));
    EXPECT_FALSE(S.ReadAt(5, Out, 0));
    EXPECT_FALSE(S.ReadAt(UINT64_MAX, Out, 2)); // Offset + Count must not wrap
    TByteSource Missing(std::string("/nonexistent/corvane"));
    EXPECT_FALSE(Missing.IsOpen());
    EXPECT_FALSE(Missing.ReadAt(0, Out, 1));
}

} // namespace
