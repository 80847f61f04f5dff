// The station, antenna and span of an observation file: its header and its first and last epoch lines.
#include <cctype>
#include <cmath>
#include <string>

#include "campaign/campaign.h"
#include "textio/textio.h"

namespace varno::campaign {

namespace {

constexpr int kWidth = 100;          // wide enough for every header label and epoch line
constexpr int kLabelColumn = 61;
constexpr double kSecondsPerDay = 86400;

long daysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yoe = year - era * 400;
    const long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
}

double secondsOf(int year, int month, int day, int hour, int minute, double second) {
    static const long gpsEpochDay = daysFromCivil(1980, 1, 6);
    return static_cast<double>(daysFromCivil(year, month, day) - gpsEpochDay) * kSecondsPerDay + hour * 3600.0 +
           minute * 60.0 + second;
}

std::string trimmed(std::string_view text) {
    size_t first = 0, last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
    return std::string(text.substr(first, last - first));
}

// A RINEX 2 epoch line of flag 0 or 1: " YY MM DD HH MM SS.SSSSSSS  F", seconds point in column 19.
bool isRinex2Epoch(const Record& line) {
    const std::string& t = line.text();
    return t.size() >= 29 && t[0] == ' ' && t[3] == ' ' && t[6] == ' ' && t[9] == ' ' && t[12] == ' ' &&
           t[18] == '.' && (t[28] == '0' || t[28] == '1') && std::isdigit(static_cast<unsigned char>(t[2]));
}

// A RINEX 3/4 epoch line of flag 0 or 1: "> YYYY MM DD HH MM SS.SSSSSSS  F".
bool isRinex3Epoch(const Record& line) {
    const std::string& t = line.text();
    return t.size() >= 32 && t[0] == '>' && (t[31] == '0' || t[31] == '1');
}

double epochTime(const Record& line, bool rinex3) {
    if (rinex3) {
        return secondsOf(line.intField(3, 6, "epoch year"), line.intField(8, 9, "epoch month"),
                         line.intField(11, 12, "epoch day"), line.intField(14, 15, "epoch hour"),
                         line.intField(17, 18, "epoch minute"), line.realField(19, 29, 7, "epoch second"));
    }
    int year = line.intField(2, 3, "epoch year");
    year += year < 80 ? 2000 : 1900;
    return secondsOf(year, line.intField(5, 6, "epoch month"), line.intField(8, 9, "epoch day"),
                     line.intField(11, 12, "epoch hour"), line.intField(14, 15, "epoch minute"),
                     line.realField(16, 26, 7, "epoch second"));
}

}  // namespace

Occupation readOccupation(const std::string& path) {
    Occupation occupation;
    occupation.path = path;
    try {
        TextFile file(path);
        Record line;
        bool rinex3 = false, marker = false;
        do {
            file.require(line, kWidth, "the END OF HEADER line");
            if (line.startsWith(kLabelColumn, "RINEX VERSION / TYPE")) {
                rinex3 = line.realField(1, 9, 0, "format version") >= 3.0;
            } else if (line.startsWith(kLabelColumn, "MARKER NAME")) {
                occupation.station = trimmed(line.columns(1, 4));
                marker = !occupation.station.empty();
            } else if (line.startsWith(kLabelColumn, "APPROX POSITION XYZ")) {
                for (int k = 0; k < 3; ++k)
                    occupation.approx[k] = line.realField(1 + 14 * k, 14 + 14 * k, 0, "approximate position");
            } else if (line.startsWith(kLabelColumn, "ANTENNA: DELTA H/E/N")) {
                occupation.antenna.up = line.realField(1, 14, 0, "antenna height");
                occupation.antenna.east = line.realField(15, 28, 0, "antenna east offset");
                occupation.antenna.north = line.realField(29, 42, 0, "antenna north offset");
            }
        } while (!line.startsWith(kLabelColumn, "END OF HEADER"));
        if (!marker) throw CampaignError(path + ": no MARKER NAME in the header (the station is named there)");
        bool any = false;
        while (file.next(line, kWidth)) {
            if (!(rinex3 ? isRinex3Epoch(line) : isRinex2Epoch(line))) continue;
            const double t = epochTime(line, rinex3);
            if (!any) occupation.start = t;
            occupation.end = t;
            any = true;
        }
        if (!any) throw CampaignError(path + ": no epoch with observations");
    } catch (const InputError& e) {
        throw CampaignError(e.what());
    }
    return occupation;
}

}  // namespace varno::campaign
