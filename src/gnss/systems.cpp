// The systems a run may use and the code signal taken of each.
#include "gnss/gnss.h"

namespace varno {

namespace {

// The systems a run may be asked for; the others (SBAS, NavIC) carry no orbit in the products the run reads.
constexpr std::string_view kSelectable = "GRECJ";

}  // namespace

std::optional<SystemSet> parseSystems(std::string_view text) {
    if (text == "all") text = "G,E,C,J";
    SystemSet set{};
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        if (item.size() != 1 || kSelectable.find(item.front()) == std::string_view::npos) return std::nullopt;
        set[static_cast<std::size_t>(*systemOfLetter(item.front()))] = true;
        if (comma == std::string_view::npos) return set;
        text.remove_prefix(comma + 1);
    }
}

std::string systemsText(const SystemSet& systems) {
    std::string text;
    for (GnssSystem system : allSystems()) {
        if (!systems[static_cast<std::size_t>(system)]) continue;
        if (!text.empty()) text += ',';
        text += systemInfo(system).letter;
    }
    return text;
}

int systemCount(const SystemSet& systems) {
    int n = 0;
    for (bool used : systems) n += used ? 1 : 0;
    return n;
}

const std::vector<std::string>& codePreference(GnssSystem system) {
    // GPS: P1 (C1W, C1P, C1Y); Galileo E1 (C, X, B); BeiDou B1I (C2I; C1I in RINEX 3.02), B1C pilot and combined;
    // QZSS L1 C/A then L1C; GLONASS G1 C/A then P.
    static const std::array<std::vector<std::string>, kSystemCount> kCodes{{
        {"C1W", "C1P", "C1Y"},
        {"C1C", "C1P"},
        {"C1C", "C1X", "C1B"},
        {"C2I", "C1I", "C1P", "C1X"},
        {"C1C", "C1X"},
        {},
        {},
    }};
    return kCodes[static_cast<std::size_t>(system)];
}

}  // namespace varno
