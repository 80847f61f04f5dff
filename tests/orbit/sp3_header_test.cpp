#include <string>
#include <vector>

#include "sp3_fixture.h"
#include "test_run.h"

namespace varno {
namespace {

using test::Sp3Spec;

class Sp3VersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        captureOutput();
        testRun.jd0 = 0;
    }
    test::TempDir dir;
};

TEST_F(Sp3VersionTest, LetteredIdsAndOtherSystemsLoadLikeNumericIds) {
    Sp3Spec a;
    a.ids = {"  3", "  7", " 12"};
    Sp3Spec d;
    d.version = 'd';
    // More than 85 satellites: the list runs over six "+" lines, GPS among the others.
    for (int i = 1; i <= 30; ++i) d.ids.push_back("R" + std::string(i < 10 ? "0" : "") + std::to_string(i));
    d.ids.insert(d.ids.begin() + 5, {"G03", "E07"});
    for (int i = 1; i <= 36; ++i) d.ids.push_back("E" + std::string(i < 10 ? "0" : "") + std::to_string(i));
    d.ids.push_back("G07");
    for (int i = 1; i <= 30; ++i) d.ids.push_back("C" + std::string(i < 10 ? "0" : "") + std::to_string(i));
    d.ids.push_back("G12");
    ASSERT_GT(d.ids.size(), 85u);

    int countA = 0, countD = 0;
    test::sp3SetPrns({12, 5, 3, 7});
    OrbitTable fromA = test::sp3Load(dir, {test::sp3Text(a)}, 10, 900, 9000, countA);
    const std::string listingA = listingText();
    captureOutput();
    test::sp3SetPrns({12, 5, 3, 7});
    OrbitTable fromD = test::sp3Load(dir, {test::sp3Text(d)}, 10, 900, 9000, countD);
    EXPECT_EQ(listingText(), listingA);
    EXPECT_EQ(listingA, "lodorb reset number of sats ==>   3\n");
    EXPECT_EQ(countD, countA);
    EXPECT_EQ(fromD.data, fromA.data);
    EXPECT_EQ(fromD.at(fromD.xBase), test::sp3Value(12, 1, 1) * 1000.0);
}

TEST_F(Sp3VersionTest, TimeSystemOtherThanGpsIsNotedAndUsedAsWritten) {
    Sp3Spec c;
    c.version = 'c';
    c.ids = {"G03"};
    c.timeSystem = "UTC";
    int count = 0;
    test::sp3SetPrns({3});
    OrbitTable table = test::sp3Load(dir, {test::sp3Text(c)}, 9, 0, 7200, count);
    EXPECT_EQ(listingText(), " orbit time system -- UTC, times used as written\n");
    EXPECT_EQ(table.firstTime, 0.0);
}

TEST_F(Sp3VersionTest, UnknownVersionAndUnreadableGpsIdsAreNamed) {
    auto message = [&](const std::string& text) {
        int count = 0;
        test::sp3SetPrns({3});
        try {
            test::sp3Load(dir, {text}, 9, 0, 7200, count);
        } catch (const InputError& e) {
            return std::string(e.what());
        }
        return std::string("no input error");
    };
    Sp3Spec c;
    c.version = 'c';
    c.ids = {"G03"};
    std::string text = test::sp3Text(c);
    EXPECT_NE(message("#e" + text.substr(2)).find("orbit1.sp3:1: expected an SP3 version"), std::string::npos);
    std::string badId = text;
    badId.replace(badId.find("G03"), 3, "G0x");
    EXPECT_NE(message(badId).find("orbit1.sp3:3: expected an integer header satellite number"), std::string::npos);
}

}  // namespace
}  // namespace varno
