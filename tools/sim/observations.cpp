// varno-sim: what each receiver observes, epoch by epoch: the epoch plan (interval, gaps, delays,
// events), the visible satellites, the receiver clock and every observation value. The file writers
// only format the stream made here.

#include <string_view>

#include "sim.h"

namespace sim {

namespace {

constexpr double kF5 = 1176450000.0;
constexpr double kLambda5 = kC / kF5;
constexpr double kIonoL5 = 1.339;  // L5 minus L1 group delay in units of the L2 minus L1 one

struct EpochPlan {
    int64_t tagUnits;  // since 0h of start day
    double nominal;    // seconds after start
    int flag;
};

double rxClock(const Scenario& sc, const Geometry& geo, int i, double tRx) {
    const Receiver& r = sc.rx[i];
    double dt = r.tagOffset + r.clockBias + r.clockDrift * (tRx - geo.tStart);
    return dt;
}

// Carrier wavelengths of a satellite's band-1 and band-2 signals (GLONASS by its channel; BeiDou B1I).
void wavelengths(const Sat& s, double& l1, double& l2) {
    l1 = kLambda1, l2 = kLambda2;
    if (s.sys == 'R') {
        l1 = kC / (1602.0e6 + 0.5625e6 * s.channel);
        l2 = kC / (1246.0e6 + 0.4375e6 * s.channel);
    } else if (s.sys == 'C') {
        l1 = kC / 1561.098e6;
    }
}

// Whether a simulated system other than GPS transmits on a band (its types' second character).
bool transmits(char sys, char band) {
    if (band == '1') return true;
    if (band == '2') return sys == 'R' || sys == 'J';
    if (band == '5') return sys != 'R';
    return false;
}

int systemRank(char sys) { return static_cast<int>(std::string_view("GRECJ").find(sys)); }

bool inGap(const Receiver& r, double nominal) {
    for (auto& g : r.gaps)
        if (nominal >= g.first - 1e-9 && nominal <= g.second + 1e-9) return true;
    return false;
}

std::vector<EpochPlan> planEpochs(const Scenario& sc, const Geometry& geo, int i) {
    const Receiver& r = sc.rx[i];
    std::vector<EpochPlan> plan;
    const double last = sc.duration - r.stopEarly + 1e-9;
    for (long long k = 0;; ++k) {
        const double nominal = r.startDelay + static_cast<double>(k) * r.interval;
        if (nominal > last) break;
        if (inGap(r, nominal)) continue;
        EpochPlan e{};
        e.nominal = nominal;
        e.tagUnits = std::llround((geo.tStart + nominal + r.tagOffset) * static_cast<double>(kUnitsPerSec));
        e.flag = 0;
        plan.push_back(e);
    }
    return plan;
}

// Entries of other systems (GLONASS, Galileo, SBAS): plausible values, not used by the program.
ObsRecord otherRecord(const Receiver& r, char system, int slot, double t, double dt) {
    const double f1 = system == 'R' ? 1602.0e6 + 0.5625e6 * static_cast<double>(slot % 14 - 7) : kF1;
    const double phase = system == 'R' ? slot : slot + (system == 'E' ? 40 : 80);
    const double p = 2.05e7 + 1.5e6 * std::sin(t / 7000.0 + phase) + kC * dt;
    ObsRecord rec{system, slot, {}};
    for (auto& ty : r.types) {
        double val = p;
        if (ty == "L1") val = p / (kC / f1);
        if (ty == "L2") val = p / (kC / (f1 * 7.0 / 9.0));
        if (ty == "P2" || ty == "C2") val = p + 1.7;
        if (ty[0] == 'D') val = -1.5e6 * std::cos(t / 7000.0 + phase) / 7000.0 / (kC / f1);
        if (ty[0] == 'S') val = 40.0;
        rec.values.push_back({val, 6, false});
    }
    return rec;
}

// The non-GPS entries of every epoch line of receiver r, in the order written.
std::vector<std::pair<char, int>> otherEntries(const Receiver& r) {
    std::vector<std::pair<char, int>> out;
    for (int n : r.glonass) out.emplace_back('R', n);
    for (int n : r.galileo) out.emplace_back('E', n);
    for (int n : r.sbas) out.emplace_back('S', n);
    return out;
}

// Entries ordered by number, GPS, GLONASS, Galileo, SBAS for the same number.
void interleave(std::vector<ObsRecord>& records) {
    auto rank = [](char system) { return std::string_view("GRES").find(system); };
    std::stable_sort(records.begin(), records.end(), [&](const ObsRecord& a, const ObsRecord& b) {
        return a.prn != b.prn ? a.prn < b.prn : rank(a.system) < rank(b.system);
    });
}

}  // namespace

ObsStream simulateObservations(const Scenario& sc, const std::vector<Sat>& sats, const Geometry& geo, int i) {
    const Receiver& r = sc.rx[i];
    Rng noise(streamSeed(sc.seed, 10 + static_cast<uint64_t>(i)));
    Rng glitch(streamSeed(sc.seed, 20 + static_cast<uint64_t>(i)));
    Rng amb(streamSeed(sc.seed, 30 + static_cast<uint64_t>(i)));
    Rng nans(streamSeed(sc.seed, 40 + static_cast<uint64_t>(i)));
    CorrelatedCodeError correlated(sc, i);
    SeparationDelay separation(sc, geo, i);
    const std::vector<std::pair<char, int>> others = otherEntries(r);
    double n1[100], n2[100];
    for (int p = 0; p < 100; ++p) {
        n1[p] = std::floor(amb.uniform() * 2.0e7) - 1.0e7;
        n2[p] = std::floor(amb.uniform() * 1.6e7) - 0.8e7;
    }
    std::vector<EpochPlan> plan = planEpochs(sc, geo, i);
    ObsStream out;
    for (const Sat& s : sats)
        if (s.sys == 'R') out.channels[s.prn] = s.channel;
    // This receiver's own troposphere: an exponential atmosphere with dry and wet scale heights, independent of
    // the program's model.
    const double height = i == 0 ? sc.h1 : geo.h2;
    const double zenith =
        r.zenithAuto ? 2.3 * std::exp(-height / 8400.0) + 0.15 * std::exp(-height / 2000.0) : r.zenithDelay;
    // Event records and flag-1 epochs: the first epoch at or after each time.
    std::vector<int> eventsAt(plan.size() + 1, 0);
    for (double t : r.events) {
        size_t k = 0;
        while (k < plan.size() && plan[k].nominal < t - 1e-9) ++k;
        eventsAt[k]++;
    }
    for (double t : r.flag1) {
        size_t k = 0;
        while (k < plan.size() && plan[k].nominal < t - 1e-9) ++k;
        if (k < plan.size()) plan[k].flag = 1;
    }

    auto eventRecord = [&](int64_t tagUnits) {
        ObsEpoch ev{tagUnits, 4, 0.0, {}, {}};
        for (int l = 0; l < r.eventLines; ++l)
            ev.comments.push_back(l == 0 ? std::string("SIMULATED EVENT: HEADER INFORMATION FOLLOWS")
                                         : fmt("SIMULATED EVENT COMMENT LINE %d", l + 1));
        out.epochs.push_back(std::move(ev));
    };

    for (size_t k = 0; k < plan.size(); ++k) {
        const EpochPlan& e = plan[k];
        const double tag = static_cast<double>(e.tagUnits) / static_cast<double>(kUnitsPerSec);
        // True reception time: tag = t + dt(t).
        double t = tag - rxClock(sc, geo, i, tag);
        for (int it = 0; it < 5; ++it) t = tag - rxClock(sc, geo, i, t);
        double dt = rxClock(sc, geo, i, t);
        if (r.hasJump && e.nominal >= r.jumpTime - 1e-9) {
            t -= r.jumpSize;
            dt += r.jumpSize;
        }
        // Visible satellites, highest first.
        struct Vis {
            const Sat* sat;
            Signal sig;
        };
        std::vector<Vis> vis;
        const Station at = stationAt(sc, geo, i, t);  // where the antenna is at the reception
        for (const Sat& s : sats) {
            if (s.sys == 'G' && std::find(r.dropSats.begin(), r.dropSats.end(), s.prn) != r.dropSats.end()) continue;
            Signal g = propagate(s, at.l1, at.lat, at.lon, t);
            if (g.elev >= r.mask) vis.push_back({&s, g});
        }
        std::stable_sort(vis.begin(), vis.end(), [](const Vis& a, const Vis& b) { return a.sig.elev > b.sig.elev; });
        // The highest of each system: GPS shares its room with the added entries of other systems.
        const int room = std::max(0, sc.maxSats - static_cast<int>(others.size()));
        std::map<char, int> taken;
        std::vector<Vis> kept;
        for (const Vis& v : vis)
            if (taken[v.sat->sys]++ < (v.sat->sys == 'G' ? room : sc.maxSats)) kept.push_back(v);
        vis = std::move(kept);
        std::sort(vis.begin(), vis.end(), [](const Vis& a, const Vis& b) {
            const int ra = systemRank(a.sat->sys), rb = systemRank(b.sat->sys);
            return ra != rb ? ra < rb : a.sat->prn < b.sat->prn;
        });
        const int glo = std::min(static_cast<int>(others.size()), sc.maxSats);
        const int count = static_cast<int>(vis.size()) + glo;
        if (eventsAt[k] > 0)
            for (int q = 0; q < eventsAt[k]; ++q) eventRecord(e.tagUnits);
        if (count == 0 || vis.empty()) continue;  // nothing to observe: no epoch written

        ObsEpoch ep{e.tagUnits, e.flag, dt, {}, {}};
        if (out.firstTag < 0) out.firstTag = e.tagUnits;
        out.minTag = std::min(out.minTag, e.tagUnits);
        out.maxTag = std::max(out.maxTag, e.tagUnits);
        ++out.epochCount;

        for (auto& v : vis) {
            const Sat& s = *v.sat;
            const Signal& g = v.sig;
            const double clean =
                kC * (g.tau + dt - satClock(s, g.tx)) + sc.tropo * mapping(g.elev) + zenith * mapping(g.elev);
            // The code values share the satellite's time-correlated error; the phases do not.
            double code = correlated.on() ? clean + correlated.at(s.sys, s.prn, e.nominal, g.elev) : clean;
            if (separation.on()) code += separation.at(s.sys, s.prn, e.nominal, g.elev);
            const double iono = 1.2 * mapping(g.elev);  // L2 minus L1 group delay, for P2/C2/L2 only
            // Fixed draw pattern per record, so that rates do not change the noise.
            const double uOut = glitch.uniform(), uSign = glitch.uniform(), uMag = glitch.uniform();
            const double uBlank = glitch.uniform(), uZeroP1 = glitch.uniform(), uZero = glitch.uniform();
            double outlier = 0;
            if (uOut < r.outlierRate) outlier = (uSign < 0.5 ? -1.0 : 1.0) * r.outlierSize * (1.0 + uMag);
            const bool blankP1 = uBlank < r.blankP1;
            const bool zeroP1 = uZeroP1 < r.zeroP1;
            const bool zeroCode = uZero < r.zeroCode;
            double lambda1, lambda2;
            wavelengths(s, lambda1, lambda2);
            double doppler1 = 0, doppler2 = 0;
            bool needDoppler = false;
            for (auto& ty : r.types)
                if (ty[0] == 'D') needDoppler = true;
            if (needDoppler) {
                const Station atA = stationAt(sc, geo, i, t - 0.5), atB = stationAt(sc, geo, i, t + 0.5);
                const Signal a = propagate(s, atA.l1, atA.lat, atA.lon, t - 0.5);
                const Signal b = propagate(s, atB.l1, atB.lat, atB.lon, t + 0.5);
                const double pa = kC * (a.tau - satClock(s, a.tx)) + kC * r.clockDrift * -0.5;
                const double pb = kC * (b.tau - satClock(s, b.tx)) + kC * r.clockDrift * 0.5;
                doppler1 = -(pb - pa) / lambda1;
                doppler2 = -(pb - pa) / lambda2;
            }
            // Code noise growing towards the horizon when asked; the plain figure otherwise, to the bit.
            const auto own = r.systemNoise.find(s.sys);
            const double base = own == r.systemNoise.end() ? r.noise : own->second;
            double codeNoise = base;
            if (r.noiseElevation != 0) {
                const double grow = r.noiseElevation / std::sin(g.elev / kDegPerRad);
                codeNoise = std::sqrt(base * base + grow * grow);
            }
            const int ss = std::clamp(static_cast<int>(g.elev / 11.0) + 1, 1, 9);
            ObsRecord rec{s.sys, s.prn, {}};
            for (auto& ty : r.types) {
                double val = 0;
                bool blank = false, zero = false;
                if (s.sys != 'G' && !transmits(s.sys, ty[1])) {
                    blank = true;
                } else if (ty == "C1") {
                    val = code + codeNoise * noise.gauss() + outlier;
                    zero = zeroCode;
                } else if (ty == "P1") {
                    val = code + codeNoise * noise.gauss() + outlier;
                    zero = zeroCode || zeroP1;
                    blank = blankP1 && !zero;
                } else if (ty == "P2" || ty == "C2") {
                    val = code + iono + codeNoise * noise.gauss() + outlier;
                    zero = zeroCode;
                } else if (ty == "L1") {
                    val = (clean + r.phaseNoise * noise.gauss()) / lambda1 + n1[s.prn];
                } else if (ty == "L2") {
                    val = (clean - iono + r.phaseNoise * noise.gauss()) / lambda2 + n2[s.prn];
                } else if (ty == "D1") {
                    val = doppler1;
                } else if (ty == "D2") {
                    val = doppler2;
                } else if (ty == "S1") {
                    val = 32.0 + 18.0 * std::sin(g.elev / kDegPerRad);
                } else if (ty == "S2") {
                    val = 26.0 + 18.0 * std::sin(g.elev / kDegPerRad);
                } else if (ty == "C5") {
                    val = code + kIonoL5 * iono;
                } else if (ty == "L5") {
                    val = (clean - kIonoL5 * iono) / kLambda5 + n2[s.prn];
                } else if (ty == "D5") {
                    val = s.sys == 'G' ? doppler1 * kF5 / kF1 : doppler1 * lambda1 / kLambda5;
                } else if (ty == "S5") {
                    val = 30.0 + 18.0 * std::sin(g.elev / kDegPerRad);
                } else {
                    blank = true;  // a band GPS does not transmit
                }
                if (blank) {
                    rec.values.push_back({0.0, 0, true});
                } else if (zero) {
                    rec.values.push_back({0.0, ss, false});
                } else {
                    rec.values.push_back({val, ss, false});
                }
                if (r.nanRate > 0 && nans.uniform() < r.nanRate) rec.values.back() = {0.0, 0, false, true};
            }
            ep.records.push_back(std::move(rec));
        }
        for (int q = 0; q < glo; ++q) {
            const auto& [system, number] = others[static_cast<size_t>(q)];
            ep.records.push_back(otherRecord(r, system, number, t, dt));
        }
        if (r.interleave) interleave(ep.records);
        out.epochs.push_back(std::move(ep));
    }
    if (eventsAt[plan.size()] > 0 && !plan.empty())
        for (int q = 0; q < eventsAt[plan.size()]; ++q) eventRecord(plan.back().tagUnits);
    return out;
}

}  // namespace sim
