// Small observation files for the campaign tests: a RINEX 2.11 header and epoch lines.
#pragma once

#include <cstdio>
#include <string>

#include "campaign/campaign.h"
#include "test_support.h"

namespace varno::test {

inline std::string rinexHeader(const std::string& marker, const campaign::Vec3& approx, double antennaUp) {
    auto line = [](std::string content, const std::string& label) {
        content.resize(60, ' ');
        return content + label + "\n";
    };
    char text[2][128];
    std::snprintf(text[0], sizeof text[0], "%14.4f%14.4f%14.4f", approx[0], approx[1], approx[2]);
    std::snprintf(text[1], sizeof text[1], "%14.4f%14.4f%14.4f", antennaUp, 0.0, 0.0);
    return line("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE") +
           line(marker, "MARKER NAME") + line(text[0], "APPROX POSITION XYZ") + line(text[1], "ANTENNA: DELTA H/E/N") +
           line("     1    C1", "# / TYPES OF OBSERV") + line("", "END OF HEADER");
}

// An epoch line of 2010-03-18 at `hour`:`minute` with one satellite and its C1 line.
inline std::string rinexEpoch(int hour, int minute) {
    char text[128];
    std::snprintf(text, sizeof text, " 10  3 18 %2d %2d  0.0000000  0  1G03\n  23619095.227\n", hour, minute);
    return text;
}

}  // namespace varno::test
