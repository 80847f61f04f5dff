// Slant troposphere delay: zenith delays from surface met values, each scaled to the elevation by a
// continued-fraction mapping function whose coefficients depend on latitude, height and temperature.
//
// The run keeps the model switched off unless asked: gettdl and gettdh then return 0 without looking at their
// arguments.

#include <cmath>

#include "models/models.h"
#include "textio/textio.h"

namespace varno {

namespace {

constexpr double kDefaultPressure = 1013.0;       // hPa
constexpr double kDefaultRelativeHumidity = 0.5;  // fraction
constexpr double kDefaultTemperature = 20.0;      // °C

constexpr double kZeroCelsius = 273.15;                           // K
constexpr double kInverseZeroCelsius = 0.0036609921288669233;      // 1 / 273.15
constexpr double kRefractivityScale = 0.0022768;                   // m / hPa

// Inclusive bounds of the inputs accepted by tropo, with the stop for a value outside (or not a number).
constexpr double kMinPressure = 900.0;
constexpr double kMaxPressure = 1100.0;
constexpr double kMinHumidity = 0.0;
constexpr double kMaxHumidity = 1.0;
constexpr double kMinTemperature = -50.0;
constexpr double kMaxTemperature = 50.0;
constexpr double kMaxAbsLatitude = 1.572;   // rad
constexpr double kMinHeight = -150.0;       // m
constexpr double kMaxHeight = 5000.0;       // m
constexpr double kMinElevation = -0.5;      // rad
constexpr double kMaxElevation = 1.572;     // rad

constexpr int kStopPressure = 80001;
constexpr int kStopHumidity = 80002;
constexpr int kStopTemperature = 80003;
constexpr int kStopLatitude = 80004;
constexpr int kStopHeight = 80005;
constexpr int kStopElevation = 80006;

// Standard atmosphere: the met values at a height, from those at sea level.
constexpr double kPressureLapse = 2.2557e-5;   // 1/m
constexpr double kPressureExponent = 5.2568;
constexpr double kTemperatureLapse = 0.0065;   // K/m
constexpr double kHumidityDecay = 0.0006396;   // 1/m

bool within(double value, double low, double high) { return value >= low && value <= high; }

// Continued-fraction mapping; exactly 1 at the zenith.
double mapping(double s, double alpha, double beta, double gamma) {
    return (1.0 + alpha / (1.0 + beta / (1.0 + gamma))) / (s + alpha / (s + beta / (s + gamma)));
}

}  // namespace

MetParams inimet(bool troposphereOn) {
    MetParams met;
    met.pressure = kDefaultPressure;
    met.relativeHumidity = kDefaultRelativeHumidity;
    met.temperature = kDefaultTemperature;
    met.troposphereOn = troposphereOn;
    return met;
}

void gettdl(const MetParams& met, double latitude, double height, double elevation, double& delay) {
    if (!met.troposphereOn) {
        delay = 0.0;
        return;
    }
    tropo(met.pressure, met.relativeHumidity, met.temperature, latitude, height, elevation, delay);
}

void saast(double pressure, double relativeHumidity, double temperature, double latitude, double height,
           double& dryDelay, double& wetDelay) {
    const double f = 1.0 - (0.00266 * std::cos(2.0 * latitude) + 2.8e-07 * height);
    const double tk = temperature + kZeroCelsius;
    const double vapour = relativeHumidity * 6.11 * std::pow(tk * kInverseZeroCelsius, -5.3) *
                          std::exp(25.2 * temperature / tk);
    dryDelay = pressure * (1.0 / f) * kRefractivityScale;
    wetDelay = (1255.0 / tk * kRefractivityScale + 0.00011384) * vapour * (1.0 / f);
}

namespace {

// Latitude, height and elevation bounds of the model (stops 80004-80006).
void checkGeometry(double latitude, double height, double elevation) {
    if (!within(latitude, -kMaxAbsLatitude, kMaxAbsLatitude)) stopRun(kStopLatitude);
    if (!within(height, kMinHeight, kMaxHeight)) stopRun(kStopHeight);
    if (!within(elevation, kMinElevation, kMaxElevation)) {
        writeConsole(freeLine("v=", elevation));
        stopRun(kStopElevation);
    }
}

// The slant delay of checked inputs: both zenith delays, each mapped to the elevation.
double slantDelay(double pressure, double relativeHumidity, double temperature, double latitude, double height,
                  double elevation) {
    double dry = 0.0, wet = 0.0;
    saast(pressure, relativeHumidity, temperature, latitude, height, dry, wet);

    const double h = 0.001 * height;  // km
    const double t = temperature - 10.0;
    const double k = std::cos(latitude);
    const double dryAlpha = 0.001233 + 0.001 * (0.00215 * t + 0.0139 * k - 0.0209 * h);
    const double dryBeta = 0.0031612 + 0.001 * (0.00206 * t - 0.16 * k - 0.0331 * h);
    const double dryGamma = 0.071244 - 0.001 * (0.0021 * t + 4.293 * k + 0.149 * h);
    const double wetAlpha = 0.000583 + 0.001 * (0.0014 * t - 0.011 * k - 0.052 * h);
    const double wetBeta = 0.001402 + 0.001 * (0.002 * t - 0.102 * k - 0.101 * h);
    const double wetGamma = 0.04585 + 0.001 * (0.015 * t - 1.91 * k - 1.29 * h);

    const double s = std::sin(elevation);
    const double dryMapping = mapping(s, dryAlpha, dryBeta, dryGamma);
    const double wetMapping = mapping(s, wetAlpha, wetBeta, wetGamma);
    return dryMapping * dry + wetMapping * wet;
}

}  // namespace

void tropo(double pressure, double relativeHumidity, double temperature, double latitude, double height,
           double elevation, double& delay) {
    if (!within(pressure, kMinPressure, kMaxPressure)) stopRun(kStopPressure);
    if (!within(relativeHumidity, kMinHumidity, kMaxHumidity)) stopRun(kStopHumidity);
    if (!within(temperature, kMinTemperature, kMaxTemperature)) stopRun(kStopTemperature);
    checkGeometry(latitude, height, elevation);
    delay = slantDelay(pressure, relativeHumidity, temperature, latitude, height, elevation);
}

void gettdh(const MetParams& met, double latitude, double height, double elevation, double& delay) {
    if (!met.troposphereOn) {
        delay = 0.0;
        return;
    }
    checkGeometry(latitude, height, elevation);
    const double pressure = met.pressure * std::pow(1.0 - kPressureLapse * height, kPressureExponent);
    const double temperature = met.temperature - kTemperatureLapse * height;
    const double humidity = met.relativeHumidity * std::exp(-kHumidityDecay * height);
    delay = slantDelay(pressure, humidity, temperature, latitude, height, elevation);
}

}  // namespace varno
