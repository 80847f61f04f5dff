// Opening a compressed or compact input: read as its text, every message under the user's file name.
#include <gtest/gtest.h>

#include "compress/packing_support.h"
#include "compress/text_support.h"
#include "test_support.h"

namespace varno::test {
namespace {

TEST(TextFileOpen, CompressedCompactFileReadsAsItsRinexAndRewinds) {
    TempDir dir;
    const std::string path = dir.write("point1.rnx", packed(kCompact1, Packing::unixCompress));
    TextFile file(path);
    Record record;
    ASSERT_TRUE(file.next(record, 80));
    EXPECT_TRUE(record.startsWith(61, "RINEX VERSION / TYPE"));
    file.rewind();
    int lines = 0;
    while (file.next(record, 80)) ++lines;
    EXPECT_EQ(lines, 11);
    EXPECT_EQ(record.fileName(), path);
}

TEST(TextFileOpen, DamagedCompactDataNamesTheUsersFileAndLine) {
    TempDir dir;
    const std::string path = dir.write("point2.rnx", packed(kCompactHead1 + kRinexHead1 + "  3\n", Packing::gzip));
    try {
        TextFile file(path);
        ADD_FAILURE() << "damaged compact file opened";
    } catch (const InputError& error) {
        EXPECT_EQ(std::string(error.what()).rfind(path + ":6: compact RINEX: ", 0), 0u) << error.what();
    }
}

}  // namespace
}  // namespace varno::test
