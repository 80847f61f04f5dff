// Control stations from files: varno's position file, and a SINEX file's SOLUTION/ESTIMATE block.
#include <cmath>
#include <map>
#include <sstream>

#include "campaign/campaign.h"
#include "station/station.h"
#include "textio/textio.h"

namespace varno::campaign {

namespace {

constexpr int kPosWidth = 80;
constexpr double kRadiansPerDegree = 0.017453292519943295;

std::string idOf(const Record& line) {
    std::string id(line.columns(1, 4));
    while (!id.empty() && id.back() == ' ') id.pop_back();
    return id;
}

// DD(D)MMSS.SSSSS with 5 implied decimals of seconds, then the hemisphere letter.
double angleField(const Record& line, int first, int degreeDigits, char negative, const char* what) {
    const int d = line.intField(first, first + degreeDigits - 1, what);
    const int m = line.intField(first + degreeDigits, first + degreeDigits + 1, what);
    const double s = line.realField(first + degreeDigits + 2, first + degreeDigits + 8, 5, what);
    const char hemisphere = line.column(first + degreeDigits + 9);
    const double value = d + m / 60.0 + s / 3600.0;
    return hemisphere == negative ? -value : value;
}

}  // namespace

std::vector<ControlStation> readControlPos(const std::string& path, const Vec3& sigma) {
    struct Partial {
        double latitude = 0, longitude = 0, height = 0;
        bool has80 = false, has86 = false;
    };
    std::map<std::string, Partial> found;
    std::vector<std::string> order;
    try {
        TextFile file(path);
        Record line;
        while (file.next(line, kPosWidth)) {
            if (line.blank(1, kPosWidth)) continue;
            const std::string id = idOf(line);
            if (line.startsWith(7, "*80*")) {
                if (!found.count(id)) order.push_back(id);
                Partial& p = found[id];
                p.latitude = angleField(line, 45, 2, 'S', "latitude (columns 45-56)");
                p.longitude = angleField(line, 57, 3, 'W', "longitude (columns 57-69)");
                p.has80 = true;
            } else if (line.startsWith(7, "*86*")) {
                if (!found.count(id)) order.push_back(id);
                found[id].height = line.realField(46, 52, 3, "height (columns 46-52)");
                found[id].has86 = true;
            }
        }
    } catch (const InputError& e) {
        throw CampaignError(e.what());
    }
    std::vector<ControlStation> out;
    for (const auto& id : order) {
        const Partial& p = found[id];
        if (!p.has80 || !p.has86)
            throw CampaignError(path + ": station " + id + " lacks its " + (p.has80 ? "*86*" : "*80*") + " record");
        ControlStation s{id, {}, sigma};
        geoxyz(p.latitude * kRadiansPerDegree, p.longitude * kRadiansPerDegree, p.height, s.xyz[0], s.xyz[1],
               s.xyz[2]);
        out.push_back(s);
    }
    return out;
}

std::vector<ControlStation> readControlSinex(const std::string& path) {
    std::map<std::string, ControlStation> found;
    std::vector<std::string> order;
    try {
        TextFile file(path);
        Record line;
        bool inBlock = false;
        while (file.next(line, kPosWidth)) {
            if (line.startsWith(1, "+SOLUTION/ESTIMATE")) inBlock = true;
            else if (line.startsWith(1, "-SOLUTION/ESTIMATE")) inBlock = false;
            if (!inBlock || line.column(1) != ' ') continue;
            std::istringstream fields(line.text());
            std::string index, type, code, point, solution, epoch, unit, constraint, value, deviation;
            fields >> index >> type >> code >> point >> solution >> epoch >> unit >> constraint >> value >> deviation;
            if (type != "STAX" && type != "STAY" && type != "STAZ") continue;
            const int axis = type[3] - 'X';
            double v = 0, sd = 0;
            if (!parseRealText(value, 0, v) || !parseRealText(deviation, 0, sd) || !(sd > 0))
                line.fail("expected the estimate and a positive standard deviation of " + type + " " + code);
            if (unit != "m") line.fail("unit of " + type + " " + code + " is \"" + unit + "\", expected m");
            if (!found.count(code)) order.push_back(code);
            ControlStation& s = found[code];
            s.id = code.substr(0, 4);
            s.xyz[axis] = v;
            s.sigma[axis] = sd;
        }
    } catch (const InputError& e) {
        throw CampaignError(e.what());
    }
    std::vector<ControlStation> out;
    for (const auto& code : order) {
        const ControlStation& s = found[code];
        if (!(s.sigma[0] > 0 && s.sigma[1] > 0 && s.sigma[2] > 0))
            throw CampaignError(path + ": station " + code + " lacks one of STAX, STAY, STAZ in SOLUTION/ESTIMATE");
        out.push_back(s);
    }
    return out;
}

}  // namespace varno::campaign
