#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>

#include "test_support.h"
#include "textio/textio.h"

namespace varno {
namespace {

TEST(Record, ShortLinesArePaddedLongLinesCutAndCarriageReturnDropped) {
    Record shortLine = Record::fromLine("ab\r", 6);
    EXPECT_EQ(shortLine.text(), "ab    ");
    Record longLine = Record::fromLine("abcdefgh", 6);
    EXPECT_EQ(longLine.text(), "abcdef");
    EXPECT_EQ(longLine.column(7), ' ');
    EXPECT_TRUE(shortLine.blank(3, 6));
    EXPECT_TRUE(longLine.startsWith(3, "cde"));
    EXPECT_FALSE(longLine.startsWith(5, "efgh"));
}

TEST(RecordIntField, BlanksIgnoredSignsAcceptedAllBlankIsZero) {
    Record r = Record::fromLine("1 2  -34      +5", 16);
    EXPECT_EQ(r.intField(1, 4, "a"), 12);
    EXPECT_EQ(r.intField(5, 8, "b"), -34);
    EXPECT_EQ(r.intField(9, 12, "c"), 0);
    EXPECT_EQ(r.intField(13, 16, "d"), 5);
}

TEST(RecordIntField, UnreadableFieldNamesFileLineColumnsAndText) {
    Record r = Record::fromLine(" 05  4 x2", 9, "point1.rnx", 42);
    try {
        r.intField(7, 9, "day");
        FAIL() << "no error";
    } catch (const InputError& e) {
        EXPECT_STREQ(e.what(), "point1.rnx:42: expected an integer day in columns 7-9, found \" x2\"");
    }
    EXPECT_THROW(Record::fromLine("12.0", 4).intField(1, 4, "n"), InputError);
    EXPECT_THROW(Record::fromLine("99999999999", 11).intField(1, 11, "n"), InputError);
    EXPECT_THROW(Record::fromLine("  - ", 4).intField(1, 4, "n"), InputError);
}

TEST(RecordRealField, ImpliedDecimalsUnlessPointWritten) {
    EXPECT_DOUBLE_EQ(Record::fromLine("   1234", 7).realField(1, 7, 3, "h"), 1.234);
    EXPECT_DOUBLE_EQ(Record::fromLine("  12.5 ", 7).realField(1, 7, 3, "h"), 12.5);
    EXPECT_DOUBLE_EQ(Record::fromLine("     12", 7).realField(1, 7, 3, "h"), 0.012);
    EXPECT_DOUBLE_EQ(Record::fromLine("-1 2 3 ", 7).realField(1, 7, 1, "h"), -12.3);
    EXPECT_EQ(Record::fromLine("       ", 7).realField(1, 7, 3, "h"), 0.0);
    EXPECT_DOUBLE_EQ(Record::fromLine("1.5D+02", 7).realField(1, 7, 3, "h"), 150.0);
    EXPECT_DOUBLE_EQ(Record::fromLine("  15E-1", 7).realField(1, 7, 0, "h"), 1.5);
    EXPECT_EQ(Record::fromLine(" 24801780.917", 14).realField(1, 14, 3, "v"), 24801780.917);
}

TEST(ParseRealText, ImpliedPointPlacedInShortAndLongDigitStrings) {
    double v = 0;
    ASSERT_TRUE(parseRealText("5", 8, v));
    EXPECT_EQ(v, 5e-8);
    ASSERT_TRUE(parseRealText("-12345678901234", 3, v));
    EXPECT_EQ(v, -12345678901.234);
    ASSERT_TRUE(parseRealText("12E2", 1, v));
    EXPECT_EQ(v, 120.0);
    ASSERT_TRUE(parseRealText("1E400", 0, v));
    EXPECT_TRUE(std::isinf(v));
    EXPECT_FALSE(parseRealText(std::string(200, '1'), 3, v));
    ASSERT_TRUE(parseRealText("1E" + std::string(100, '0'), 9, v));
    EXPECT_EQ(v, 1e-9);
}

// Plain fixed-point fields take a shortcut; it must give the correctly rounded double of the text, at the edges
// of its reach (15 digits, 1e22) and beyond them, where the full conversion takes over.
TEST(ParseRealText, PlainFieldsGiveTheCorrectlyRoundedValue) {
    const struct {
        const char* field;
        int decimals;
        const char* asDecimal;
    } cases[] = {{"  105458325.488 ", 3, "105458325.488"}, {"-0.000", 3, "-0.0"},
                 {"999999999999999", 3, "999999999999.999"}, {"9999999999999999", 3, "9999999999999.999"},
                 {"0.1", 0, "0.1"}, {".5", 3, ".5"}, {"5.", 3, "5"}, {"7", 22, "7e-22"}, {"7", 23, "7e-23"},
                 {"12 345", 2, "123.45"}, {"1.2.3", 0, ""}, {"+4.25", 1, "4.25"}};
    for (const auto& c : cases) {
        double v = 0;
        if (*c.asDecimal == '\0') {
            EXPECT_FALSE(parseRealText(c.field, c.decimals, v)) << c.field;
            continue;
        }
        ASSERT_TRUE(parseRealText(c.field, c.decimals, v)) << c.field;
        const double expected = std::strtod(c.asDecimal, nullptr);
        EXPECT_EQ(v, expected) << c.field;
        EXPECT_EQ(std::signbit(v), std::signbit(expected)) << c.field;
    }
}

TEST(RecordRealField, TextThatDoesNotConvertIsAnInputError) {
    EXPECT_THROW(Record::fromLine("   nan", 6).realField(1, 6, 3, "v"), InputError);
    EXPECT_THROW(Record::fromLine("1.2.3", 5).realField(1, 5, 3, "v"), InputError);
    EXPECT_THROW(Record::fromLine("  1e", 4).realField(1, 4, 3, "v"), InputError);
    EXPECT_THROW(Record::fromLine("  . ", 4).realField(1, 4, 3, "v"), InputError);
    EXPECT_THROW(Record::fromLine("G05", 3).realField(1, 3, 0, "v"), InputError);
}

TEST(TextFile, ReadsRecordsCountsLinesRewindsAndReportsEnd) {
    test::TempDir dir;
    std::string path = dir.write("f.txt", "first\r\nsecond line\nlast");
    TextFile file(path);
    Record r;
    ASSERT_TRUE(file.next(r, 8));
    EXPECT_EQ(r.text(), "first   ");
    ASSERT_TRUE(file.next(r, 8));
    EXPECT_EQ(r.text(), "second l");
    ASSERT_TRUE(file.next(r, 8));
    EXPECT_EQ(r.text(), "last    ");
    EXPECT_EQ(r.lineNumber(), 3);
    EXPECT_FALSE(file.next(r, 8));
    try {
        file.require(r, 8, "an epoch line");
        FAIL() << "no error";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()), path + ":4: end of file where an epoch line was expected");
    }
    file.rewind();
    ASSERT_TRUE(file.next(r, 5));
    EXPECT_EQ(r.text(), "first");
    EXPECT_EQ(r.lineNumber(), 1);
}

TEST(TextFile, MissingFileIsAnInputErrorNamingIt) {
    test::TempDir dir;
    try {
        TextFile file(dir.file("pos"));
        FAIL() << "no error";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot open " + dir.file("pos") + ": No such file or directory");
    }
    EXPECT_FALSE(fileExists(dir.file("pos")));
}

TEST(TextFile, OnlyRegularFilesAreReadAndLinesAreBounded) {
    test::TempDir dir;
    // A FIFO without a writer and an endless device are refused before any read, so nothing hangs.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero"));
    for (const char* name : {"fifo", "zero"}) {
        try {
            TextFile file(dir.file(name));
            ADD_FAILURE() << name << " was opened";
        } catch (const InputError& e) {
            EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
        }
    }
    // 1024 bytes (and a CR) are a line; one more byte is not.
    const std::string path = dir.write("long", std::string(1024, 'a') + "\r\n" + std::string(1025, 'b') + "\n");
    TextFile file(path);
    Record r;
    EXPECT_TRUE(file.next(r, 80));
    try {
        file.next(r, 80);
        ADD_FAILURE() << "a 1025-byte line was read";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()), path + ":2: line longer than 1024 bytes: not a text file of this kind?");
    }
}

TEST(TextFile, LastLineCutInsideAValueIsATruncatedFile) {
    test::TempDir dir;
    // The last line stops after "2108" of a value in columns 1-10, without an end-of-line.
    const std::string path = dir.write("cut", "      12.5\n   2108");
    TextFile file(path);
    Record r;
    ASSERT_TRUE(file.next(r, 80));
    EXPECT_EQ(r.realField(1, 10, 3, "x"), 12.5);
    ASSERT_TRUE(file.next(r, 80));
    try {
        r.realField(1, 10, 3, "pseudorange");
        ADD_FAILURE() << "a value cut short was read";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()), path + ":2: file ends inside a value in columns 1-10: truncated file?");
    }
    // A field the line fills, or one after the end, reads as before; so does the same line with its end-of-line.
    EXPECT_EQ(r.intField(1, 7, "x"), 2108);
    EXPECT_EQ(r.realField(9, 12, 0, "x"), 0.0);
    TextFile whole(dir.write("whole", "   2108\n"));
    ASSERT_TRUE(whole.next(r, 80));
    EXPECT_EQ(r.realField(1, 10, 0, "x"), 2108.0);
}

}  // namespace
}  // namespace varno
