#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "broadcast/broadcast.h"
#include "orbit/orbit.h"
#include "rinex/rinex.h"
#include "test_support.h"
#include "test_run.h"

namespace varno {
namespace {

struct Kind {
    std::string firstLine;
    std::string name;
};

std::string rinexLine(const std::string& version, const std::string& type) {
    std::string line = version;
    line.resize(20, ' ');
    line += type;
    line.resize(60, ' ');
    return line + "RINEX VERSION / TYPE\n";
}

const Kind kObs2{rinexLine("     2.11", "OBSERVATION DATA    G (GPS)"), "a RINEX observation file"};
const Kind kObs3{rinexLine("     3.04", "OBSERVATION DATA    M (MIXED)"), "a RINEX observation file"};
const Kind kNav2{rinexLine("     2.11", "N: GPS NAV DATA"), "a RINEX navigation file"};
const Kind kNav3{rinexLine("     3.04", "N: GNSS NAV DATA    M: MIXED"), "a RINEX navigation file"};
const Kind kNav4{rinexLine("     4.01", "NAVIGATION DATA     M"), "a RINEX navigation file"};
const Kind kSp3{"#cP2010  7  1  0  0  0.00000000      96 ORBIT IGS05 HLM  IGS\n", "an SP3 orbit file"};
const Kind kClock{rinexLine("     3.00", "C                   G"), "a RINEX clock file"};
const Kind kMet{rinexLine("     2.11", "METEOROLOGICAL DATA"), "a RINEX meteorological file"};

// Each place a file is read, the kinds that do not belong there, and what the place expects. (Observation files
// of version 3 or more are judged by their own header check, which names the type found.)
TEST(WrongKind, EachPlaceNamesTheFileAndWhatItIs) {
    test::TempDir dir;
    struct Place {
        std::string expected;
        std::vector<Kind> wrong;
        std::function<void(TextFile&)> read;
    };
    const std::vector<Place> places{
        {"an observation file",
         {kNav2, kSp3, kMet},
         [](TextFile& file) {
             ObsFileSummary summary;
             oscan(file, testRun.jd0, testSats, summary);
         }},
        {"an SP3 orbit file",
         {kObs2, kObs3, kNav2, kNav3, kNav4, kClock, kMet},
         [](TextFile& file) { orbspn({&file}); }},
        {"an SP3 orbit file",
         {kObs2, kNav3, kClock},
         [](TextFile& file) { loadSp3Orbit({&file}, testRun.jd0, {}, false, 9, 0.0, 8.0); }},
        {"a navigation file",
         {kObs2, kObs3, kSp3, kClock, kMet},
         [](TextFile& file) {
             NavPool pool;
             readNavigation(file, pool);
         }},
    };
    for (const Place& place : places) {
        for (const Kind& kind : place.wrong) {
            const std::string path = dir.write("input", kind.firstLine + "more\n");
            TextFile file(path);
            std::string message = "read";
            try {
                place.read(file);
            } catch (const InputError& error) {
                message = error.what();
            }
            EXPECT_EQ(message, path + ":1: this is " + kind.name + ", not " + place.expected) << kind.firstLine;
        }
    }
    EXPECT_EQ(fileKind("     1.0                                                    CRINEX VERS   / TYPE"),
              FileKind::compactObservation);
    EXPECT_EQ(fileKind("just text"), FileKind::unknown);
}

}  // namespace
}  // namespace varno
