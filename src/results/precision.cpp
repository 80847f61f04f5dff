// Formal precision of the adjusted point 2 from the last iteration's normal equations and the post-fit residuals.
#include <cmath>
#include <limits>

#include "results/radius.h"
#include "results/results.h"
#include "station/station.h"

namespace varno {

namespace {

constexpr int kUnknowns = 3;

double element(const std::array<double, 9>& m, int row, int column) { return m[column * 3 + row]; }

// The rotated covariance and every sigma from covarianceXyz.
void derive(FormalPrecision& p, double latitude, double longitude, const std::array<double, 3>& baseline);

}  // namespace

std::string precisionAssumption(bool weighted, bool correlatedWeights) {
    if (correlatedWeights) {
        return "double differences correlated within an epoch through their shared reference satellite as the "
               "adjustment's correlated weights have them, uncorrelated in time; optimistic when they follow each "
               "other at short intervals (1 s)";
    }
    return std::string(weighted ? "uncorrelated double differences with the adjustment's elevation weights"
                                : "equally weighted, uncorrelated double differences") +
           "; optimistic when double differences share a reference satellite or follow each other at short "
           "intervals (1 s)";
}

std::string correlatedAssumption(bool weighted, bool correlatedWeights) {
    return std::string(correlatedWeights ? "double differences with the adjustment's correlated weights"
                       : weighted        ? "double differences with the adjustment's elevation weights"
                                         : "double differences") +
           " whose errors are correlated through their shared reference satellite and in time (two Gauss-Markov "
           "processes, correlation times and fractions estimated from the post-fit residuals)";
}

FormalPrecision formalPrecision(const std::array<double, 9>& inverseNormal, double sumSquares, int count,
                                double latitude, double longitude, const std::array<double, 3>& baseline) {
    FormalPrecision p;
    const bool solved = inverseNormal != std::array<double, 9>{};
    if (count <= kUnknowns || !solved) return p;
    p.available = true;
    p.observations = count;
    p.degreesOfFreedom = count - kUnknowns;
    p.sumSquares = sumSquares;
    const double variance = sumSquares / p.degreesOfFreedom;
    p.sigma0 = std::sqrt(variance);

    // The inverse of a symmetric matrix, symmetric up to rounding: both triangles are averaged.
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double q = 0.5 * (element(inverseNormal, i, j) + element(inverseNormal, j, i));
            p.covarianceXyz[j * 3 + i] = variance * q;
        }
    }
    derive(p, latitude, longitude, baseline);
    return p;
}

FormalPrecision withCovariance(const FormalPrecision& white, const std::array<double, 9>& covarianceXyz,
                               double latitude, double longitude, const std::array<double, 3>& baseline) {
    FormalPrecision p = white;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            p.covarianceXyz[j * 3 + i] = 0.5 * (element(covarianceXyz, i, j) + element(covarianceXyz, j, i));
        }
    }
    derive(p, latitude, longitude, baseline);
    return p;
}

namespace {

void derive(FormalPrecision& p, double latitude, double longitude, const std::array<double, 3>& baseline) {

    // Columns of the rotation to north, east, up are the images of the three axes.
    std::array<double, 9> r{};
    for (int c = 0; c < 3; ++c) {
        std::array<double, 3> axis{};
        axis[c] = 1.0;
        rge(latitude, longitude, r[c * 3 + 0], r[c * 3 + 1], r[c * 3 + 2], axis[0], axis[1], axis[2]);
    }
    // R · C · Rᵀ
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) {
                for (int l = 0; l < 3; ++l) sum += element(r, i, k) * element(p.covarianceXyz, k, l) * element(r, j, l);
            }
            p.covarianceNeu[j * 3 + i] = sum;
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = i + 1; j < 3; ++j) {
            const double mean = 0.5 * (p.covarianceNeu[j * 3 + i] + p.covarianceNeu[i * 3 + j]);
            p.covarianceNeu[j * 3 + i] = p.covarianceNeu[i * 3 + j] = mean;
        }
    }
    for (int c = 0; c < 3; ++c) {
        p.sigmaXyz[c] = std::sqrt(element(p.covarianceXyz, c, c));
        p.sigmaNeu[c] = std::sqrt(element(p.covarianceNeu, c, c));
    }
    p.sigmaHorizontal = equivalentSigma(p.covarianceNeu, 2);
    p.sigmaThreeD = equivalentSigma(p.covarianceNeu, 3);

    const double length = std::sqrt(baseline[0] * baseline[0] + baseline[1] * baseline[1] + baseline[2] * baseline[2]);
    if (length > 0.0) {
        double lengthVariance = 0.0;
        for (int k = 0; k < 3; ++k) {
            for (int l = 0; l < 3; ++l) lengthVariance += baseline[k] * element(p.covarianceXyz, k, l) * baseline[l];
        }
        p.sigmaLength = std::sqrt(lengthVariance) / length;
    } else {
        p.sigmaLength = std::numeric_limits<double>::quiet_NaN();
    }
}

}  // namespace

}  // namespace varno
