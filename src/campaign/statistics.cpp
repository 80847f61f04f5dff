// Chi-square quantiles: the regularised incomplete gamma function inverted by bisection.
#include <cmath>

#include "campaign/campaign.h"

namespace varno::campaign {

namespace {

constexpr int kMaxTerms = 10000;
constexpr double kTiny = 1e-300;
constexpr double kEpsilon = 1e-16;

// P(a, x), the regularised lower incomplete gamma function: the series below a + 1, the continued fraction above.
double lowerGamma(double a, double x) {
    if (x <= 0) return 0;
    const double logPrefix = a * std::log(x) - x - std::lgamma(a);
    if (x < a + 1) {
        double term = 1 / a, sum = term;
        for (int n = 1; n < kMaxTerms && std::fabs(term) > std::fabs(sum) * kEpsilon; ++n) {
            term *= x / (a + n);
            sum += term;
        }
        return sum * std::exp(logPrefix);
    }
    // Lentz's method for the continued fraction of Q(a, x).
    double b = x + 1 - a, c = 1 / kTiny, d = 1 / b, h = d;
    for (int n = 1; n < kMaxTerms; ++n) {
        const double an = -n * (n - a);
        b += 2;
        d = an * d + b;
        if (std::fabs(d) < kTiny) d = kTiny;
        c = b + an / c;
        if (std::fabs(c) < kTiny) c = kTiny;
        d = 1 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1) < kEpsilon) break;
    }
    return 1 - std::exp(logPrefix) * h;
}

}  // namespace

double chiSquareQuantile(double probability, int dof) {
    const double a = dof / 2.0;
    double low = 0, high = dof + 10 * std::sqrt(2.0 * dof) + 50;
    while (lowerGamma(a, high / 2) < probability) high *= 2;
    for (int k = 0; k < 200 && high - low > 1e-12 * high; ++k) {
        const double mid = (low + high) / 2;
        (lowerGamma(a, mid / 2) < probability ? low : high) = mid;
    }
    return (low + high) / 2;
}

}  // namespace varno::campaign
