// Reading SP3 files of every system for varno-orbit, and interpolation in them.
#include "precise_orbit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "timebase/timebase.h"

namespace varno::orbittool {

namespace {

constexpr int kWidth = 80;
constexpr int kNodes = 9;
constexpr double kBadClock = 999999.0;  // µs

double epochOf(const Record& line, const GpsTime& reference) {
    const int year = line.intField(4, 7, "year");
    const int month = line.intField(9, 10, "month");
    const int day = line.intField(12, 13, "day");
    const int hour = line.intField(15, 16, "hour");
    const int minute = line.intField(18, 19, "minute");
    const double second = line.realField(21, 31, 0, "second");
    if (year < 1980 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31) line.fail("epoch out of range");
    return gpsTimeOfMjd(dayNumber(year, month, day, 0), hour * 3600.0 + minute * 60.0 + second) - reference;
}

}  // namespace

PreciseOrbit::PreciseOrbit(const std::vector<std::string>& paths, int referenceMjd)
    : reference_(gpsTimeOfMjd(referenceMjd, 0.0)) {
    std::map<double, std::map<SatId, Sample>> table;
    for (const std::string& path : paths) {
        TextFile file(path);
        Record line;
        file.require(line, kWidth, "the first line of an SP3 file");
        refuseOtherKind(line, {FileKind::sp3Orbit}, "an SP3 orbit file");
        if (line.column(1) != '#') line.fail("not an SP3 orbit file");
        double epoch = std::numeric_limits<double>::quiet_NaN();
        while (file.next(line, kWidth)) {
            if (line.column(1) == '*') {
                epoch = epochOf(line, reference_);
            } else if (line.column(1) == 'P' && !std::isnan(epoch)) {
                const std::optional<SatId> sat = SatId::parse(line.columns(2, 4), true);
                if (!sat) line.fail("expected a satellite in columns 2-4");
                Sample s;
                s.x = line.realField(5, 18, 0, "x") * 1000.0;
                s.y = line.realField(19, 32, 0, "y") * 1000.0;
                s.z = line.realField(33, 46, 0, "z") * 1000.0;
                const double clock = line.blank(47, 60) ? kBadClock : line.realField(47, 60, 0, "clock");
                s.clock = clock >= kBadClock ? std::numeric_limits<double>::quiet_NaN() : clock * 1e-6;
                s.present = !(s.x == 0.0 && s.y == 0.0 && s.z == 0.0);
                auto& at = table[epoch];
                // An epoch that an earlier file gave keeps that file's good record.
                if (!at.count(*sat) || !at[*sat].present) at[*sat] = s;
            }
        }
    }
    for (const auto& [time, sats] : table) {
        const std::size_t row = times_.size();
        times_.push_back(time);
        for (const auto& [sat, sample] : sats) {
            std::vector<Sample>& column = samples_[sat];
            column.resize(row + 1);
            column[row] = sample;
        }
    }
    for (auto& [sat, column] : samples_) column.resize(times_.size());
}

std::vector<SatId> PreciseOrbit::satellites() const {
    std::vector<SatId> out;
    for (const auto& entry : samples_) out.push_back(entry.first);
    return out;
}

bool PreciseOrbit::state(SatId sat, double t, double, SatelliteState& state, OrbitMiss& miss) const {
    const auto found = samples_.find(sat);
    if (found == samples_.end()) {
        miss = OrbitMiss::notCarried;
        return false;
    }
    const std::vector<Sample>& column = found->second;
    const int n = static_cast<int>(times_.size());
    if (n < kNodes || !(t >= times_.front() && t <= times_.back())) {
        miss = OrbitMiss::outsideSpan;
        return false;
    }
    const int after = static_cast<int>(std::upper_bound(times_.begin(), times_.end(), t) - times_.begin());
    const int start = std::clamp(after - kNodes / 2 - 1, 0, n - kNodes);
    std::array<double, 3> position{};
    for (int j = start; j < start + kNodes; ++j) {
        const Sample& s = column[static_cast<std::size_t>(j)];
        if (!s.present) {
            miss = OrbitMiss::noOrbit;
            return false;
        }
        double weight = 1.0;
        for (int k = start; k < start + kNodes; ++k) {
            if (k != j) weight *= (t - times_[static_cast<std::size_t>(k)]) /
                                  (times_[static_cast<std::size_t>(j)] - times_[static_cast<std::size_t>(k)]);
        }
        position[0] += weight * s.x;
        position[1] += weight * s.y;
        position[2] += weight * s.z;
    }
    const int left = std::clamp(after - 1, 0, n - 2);
    const Sample& a = column[static_cast<std::size_t>(left)];
    const Sample& b = column[static_cast<std::size_t>(left + 1)];
    const double f = (t - times_[static_cast<std::size_t>(left)]) /
                     (times_[static_cast<std::size_t>(left + 1)] - times_[static_cast<std::size_t>(left)]);
    state.position = position;
    state.clock = a.clock + (b.clock - a.clock) * f;
    return true;
}

}  // namespace varno::orbittool
