// Recognising packed inputs by content and expanding them; plain files pass through untouched.
#include <gtest/gtest.h>

#include "compress/packing_support.h"
#include "compress/text_support.h"

namespace varno::test {
namespace {

const std::string kText = "     2.11           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\r\n"
                          "line two\nlast line without a feed";

TEST(ExpandInput, PlainFileIsHandedBackAsItIs) {
    std::FILE* file = fileWith(kText);
    InputKind kind;
    std::FILE* text = expandInput(file, &kind);
    EXPECT_EQ(text, file);
    EXPECT_EQ(kind.packing, Packing::plain);
    EXPECT_FALSE(kind.compact);
    EXPECT_EQ(readAll(text), kText);
}

TEST(ExpandInput, EveryPackingIsRecognisedByContentAndExpandsExactly) {
    for (Packing packing : {Packing::gzip, Packing::unixCompress, Packing::bzip2, Packing::xz}) {
        const std::string bytes = packed(kText, packing);
        EXPECT_EQ(packingOf(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()), packing);
        InputKind kind;
        EXPECT_EQ(readAll(expandInput(fileWith(bytes), &kind)), kText);
        EXPECT_EQ(kind.packing, packing);
    }
    EXPECT_EQ(readAll(expandInput(fileWith(packed("", Packing::gzip)))), "");
}

TEST(ExpandInput, DamagedOrTruncatedStreamIsRefusedWithoutALine) {
    std::string bytes = packed(kText + std::string(4000, 'x'), Packing::gzip);
    for (const std::string& bad : {bytes.substr(0, bytes.size() / 2), bytes.substr(0, 2) + std::string(64, 'z')}) {
        try {
            std::fclose(expandInput(fileWith(bad)));
            ADD_FAILURE() << "damaged gzip data expanded";
        } catch (const ExpandError& error) {
            EXPECT_EQ(error.line(), 0);
            EXPECT_EQ(std::string(error.what()).rfind("gzip data do not expand", 0), 0u) << error.what();
        }
    }
}

TEST(ExpandInput, CompactFileInsideGzipIsDecodedToo) {
    InputKind kind;
    EXPECT_EQ(readAll(expandInput(fileWith(packed(kCompact1, Packing::gzip)), &kind)), kRinex1);
    EXPECT_EQ(kind.packing, Packing::gzip);
    EXPECT_TRUE(kind.compact);
}

}  // namespace
}  // namespace varno::test
