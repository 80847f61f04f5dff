// varno-sim: the satellite systems' constants and time scales, and the leap seconds.

#include "sim.h"

namespace sim {

const SystemInfo& systemInfo(char letter) {
    // GPS week 0 starts on MJD 44244 (1980-01-06), BeiDou week 0 on MJD 53736 (2006-01-01); Galileo and QZSS
    // records count GPS weeks.
    static const SystemInfo table[] = {
        {'G', 3.986005e14, 7.2921151467e-5, 0.0, 44244, 7200.0},
        {'E', 3.986004418e14, 7.2921151467e-5, 0.0, 44244, 3600.0},
        {'C', 3.986004418e14, 7.2921150e-5, 14.0, 53736, 3600.0},
        {'J', 3.986005e14, 7.2921151467e-5, 0.0, 44244, 7200.0},
        {'R', 3.986004418e14, 7.292115e-5, 0.0, 44244, 1800.0},
    };
    for (const SystemInfo& s : table)
        if (s.letter == letter) return s;
    throw Error(std::string("unknown satellite system '") + letter + "'");
}

int leapSeconds(int64_t mjd) {
    // Days from which GPS - UTC grew by one second.
    static const int64_t steps[] = {44786, 45151, 45516, 46247, 47161, 47892, 48257, 48804,
                                    49169, 49534, 50083, 50630, 51179, 53736, 54832, 56109, 57204, 57754};
    int n = 0;
    for (int64_t d : steps)
        if (mjd >= d) ++n;
    return n;
}

}  // namespace sim
