// A satellite's position and clock from one ephemeris record, by the user algorithm of its system.
#include <cmath>

#include "broadcast/broadcast.h"

namespace varno {

namespace {

constexpr int kKeplerSteps = 30;
constexpr double kKeplerTolerance = 1e-14;  // rad
// The inclination of the frame in which BeiDou's geostationary satellites are computed (B1I ICD): −5°.
constexpr double kGeoTilt = -5.0 * 3.141592653589793 / 180.0;
// GLONASS (ICD, PZ-90): the earth's equatorial radius and the second zonal harmonic; the longest integration step.
constexpr double kGlonassRadius = 6378136.0;
constexpr double kGlonassJ2 = 1.08262575e-3;
constexpr double kGlonassMaxStep = 60.0;

using Vector6 = std::array<double, 6>;

// Time derivative of a GLONASS state (position, velocity) in the rotating frame.
Vector6 glonassDerivative(const Vector6& s, const std::array<double, 3>& lunisolar, double mu, double rate) {
    const double x = s[0], y = s[1], z = s[2];
    const double r2 = x * x + y * y + z * z;
    const double r = std::sqrt(r2);
    const double mur3 = mu / (r2 * r);
    const double j2 = 1.5 * kGlonassJ2 * mu * kGlonassRadius * kGlonassRadius / (r2 * r2 * r);
    const double z2r2 = 5.0 * z * z / r2;
    const double w2 = rate * rate;
    return Vector6{s[3],
                   s[4],
                   s[5],
                   -mur3 * x - j2 * x * (1.0 - z2r2) + w2 * x + 2.0 * rate * s[4] + lunisolar[0],
                   -mur3 * y - j2 * y * (1.0 - z2r2) + w2 * y - 2.0 * rate * s[3] + lunisolar[1],
                   -mur3 * z - j2 * z * (3.0 - z2r2) + lunisolar[2]};
}

Vector6 plus(const Vector6& a, const Vector6& d, double h) {
    Vector6 out{};
    for (std::size_t k = 0; k < 6; ++k) out[k] = a[k] + d[k] * h;
    return out;
}

std::array<double, 3> glonassPosition(const Ephemeris& r, double dt) {
    const SystemInfo& info = systemInfo(GnssSystem::glonass);
    Vector6 s{r.position[0], r.position[1], r.position[2], r.velocity[0], r.velocity[1], r.velocity[2]};
    const int steps = static_cast<int>(std::ceil(std::fabs(dt) / kGlonassMaxStep));
    if (steps > 0) {
        const double h = dt / steps;
        for (int k = 0; k < steps; ++k) {
            const Vector6 k1 = glonassDerivative(s, r.acceleration, info.gravitationalConstant, info.earthRotationRate);
            const Vector6 k2 = glonassDerivative(plus(s, k1, h / 2), r.acceleration, info.gravitationalConstant,
                                                 info.earthRotationRate);
            const Vector6 k3 = glonassDerivative(plus(s, k2, h / 2), r.acceleration, info.gravitationalConstant,
                                                 info.earthRotationRate);
            const Vector6 k4 = glonassDerivative(plus(s, k3, h), r.acceleration, info.gravitationalConstant,
                                                 info.earthRotationRate);
            for (std::size_t j = 0; j < 6; ++j) s[j] += h / 6.0 * (k1[j] + 2.0 * k2[j] + 2.0 * k3[j] + k4[j]);
        }
    }
    return {s[0], s[1], s[2]};
}

std::array<double, 3> keplerPosition(const Ephemeris& r, double tk) {
    const SystemInfo& info = systemInfo(r.sat.system);
    const double mu = info.gravitationalConstant;
    const double rate = info.earthRotationRate;
    const double a = r.sqrtA * r.sqrtA;
    const double n = std::sqrt(mu / (a * a * a)) + r.deltaN;
    const double bigE = eccentricAnomaly(r.m0 + n * tk, r.e);
    const double sinE = std::sin(bigE), cosE = std::cos(bigE);
    const double nu = std::atan2(std::sqrt(1.0 - r.e * r.e) * sinE, cosE - r.e);
    const double phi = nu + r.omega;
    const double s2 = std::sin(2.0 * phi), c2 = std::cos(2.0 * phi);
    const double u = phi + r.cus * s2 + r.cuc * c2;
    const double radius = a * (1.0 - r.e * cosE) + r.crs * s2 + r.crc * c2;
    const double inc = r.i0 + r.idot * tk + r.cis * s2 + r.cic * c2;
    const double xp = radius * std::cos(u), yp = radius * std::sin(u);
    const bool geo = r.sat.system == GnssSystem::beidou && (r.sat.number <= 5 || r.sat.number >= 59);
    // A geostationary BeiDou satellite: its node in inertial terms, then the tilted frame turned with the earth.
    const double node = geo ? r.omega0 + r.omegaDot * tk - rate * r.toeSeconds
                            : r.omega0 + (r.omegaDot - rate) * tk - rate * r.toeSeconds;
    const double sinO = std::sin(node), cosO = std::cos(node), sinI = std::sin(inc), cosI = std::cos(inc);
    const double x = xp * cosO - yp * cosI * sinO;
    const double y = xp * sinO + yp * cosI * cosO;
    const double z = yp * sinI;
    if (!geo) return {x, y, z};
    const double ct = std::cos(kGeoTilt), st = std::sin(kGeoTilt);
    const double y1 = ct * y + st * z;
    const double z1 = -st * y + ct * z;
    const double turn = rate * tk;
    const double cz = std::cos(turn), sz = std::sin(turn);
    return {cz * x + sz * y1, -sz * x + cz * y1, z1};
}

}  // namespace

double eccentricAnomaly(double meanAnomaly, double eccentricity) {
    double bigE = meanAnomaly;
    for (int k = 0; k < kKeplerSteps; ++k) {
        const double step = (bigE - eccentricity * std::sin(bigE) - meanAnomaly) / (1.0 - eccentricity * std::cos(bigE));
        bigE -= step;
        if (std::fabs(step) < kKeplerTolerance) break;
    }
    return bigE;
}

SatelliteState ephemerisState(const Ephemeris& record, const GpsTime& t) {
    SatelliteState state;
    const double tk = t - record.toe;
    state.position = record.sat.system == GnssSystem::glonass ? glonassPosition(record, tk) : keplerPosition(record, tk);
    const double dt = t - record.toc;
    state.clock = record.af0 + record.af1 * dt + record.af2 * dt * dt;
    return state;
}

}  // namespace varno
