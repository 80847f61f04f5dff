#include "gnss/gnss.h"

#include <algorithm>
#include <cstdio>

namespace varno {

namespace {

// GM and earth rotation rate as each system's user algorithm states them: GPS and QZSS (IS-GPS-200,
// IS-QZSS-PNT), GLONASS (PZ-90, GLONASS ICD), Galileo (OS SIS ICD), BeiDou (B1I ICD, CGCS2000), NavIC (IRNSS ICD,
// WGS 84 values); SBAS satellites carry GPS's.
constexpr std::array<SystemInfo, kSystemCount> kSystems{{
    {GnssSystem::gps, 'G', "GPS", 99, 3.986005e14, 7.2921151467e-5, 0.0},
    {GnssSystem::glonass, 'R', "GLONASS", 99, 3.9860044e14, 7.292115e-5, 0.0},
    {GnssSystem::galileo, 'E', "Galileo", 99, 3.986004418e14, 7.2921151467e-5, 0.0},
    {GnssSystem::beidou, 'C', "BeiDou", 99, 3.986004418e14, 7.292115e-5, 14.0},
    {GnssSystem::qzss, 'J', "QZSS", 99, 3.986005e14, 7.2921151467e-5, 0.0},
    {GnssSystem::sbas, 'S', "SBAS", 99, 3.986005e14, 7.2921151467e-5, 0.0},
    {GnssSystem::navic, 'I', "NavIC", 99, 3.986005e14, 7.2921151467e-5, 0.0},
}};

constexpr std::array<GnssSystem, kSystemCount> kOrder{GnssSystem::gps,    GnssSystem::glonass, GnssSystem::galileo,
                                                      GnssSystem::beidou, GnssSystem::qzss,    GnssSystem::sbas,
                                                      GnssSystem::navic};

}  // namespace

const SystemInfo& systemInfo(GnssSystem system) { return kSystems[static_cast<std::size_t>(system)]; }

std::optional<GnssSystem> systemOfLetter(char letter) {
    for (const SystemInfo& info : kSystems) {
        if (info.letter == letter) return info.system;
    }
    return std::nullopt;
}

const std::array<GnssSystem, kSystemCount>& allSystems() { return kOrder; }

std::string SatId::text() const {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%c%02d", systemInfo(system).letter, number);
    return buffer;
}

std::optional<SatId> SatId::parse(std::string_view text, bool blankIsGps) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    GnssSystem system = GnssSystem::gps;
    if (text.front() == ' ' || (text.front() >= '0' && text.front() <= '9')) {
        if (!blankIsGps) return std::nullopt;
    } else {
        std::optional<GnssSystem> found = systemOfLetter(text.front());
        if (!found) return std::nullopt;
        system = *found;
        text.remove_prefix(1);
    }
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.empty() || text.size() > 3) return std::nullopt;
    int number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number < 1 || number > systemInfo(system).maxNumber) return std::nullopt;
    return SatId{system, number};
}

int SatIndex::add(SatId sat) {
    int& position = keys_[static_cast<std::size_t>(sat.key())];
    if (position < 0) {
        position = size();
        sats_.push_back(sat);
    }
    return position;
}

bool SatIndex::remove(SatId sat) {
    const int position = find(sat);
    if (position < 0) return false;
    sats_.erase(sats_.begin() + position);
    keys_[static_cast<std::size_t>(sat.key())] = -1;
    for (int i = position; i < size(); ++i) keys_[static_cast<std::size_t>(sats_[static_cast<std::size_t>(i)].key())] = i;
    return true;
}

int SatIndex::count(GnssSystem system) const {
    return static_cast<int>(std::count_if(sats_.begin(), sats_.end(), [&](SatId s) { return s.system == system; }));
}

void SatIndex::clear() {
    for (SatId sat : sats_) keys_[static_cast<std::size_t>(sat.key())] = -1;
    sats_.clear();
}

}  // namespace varno
