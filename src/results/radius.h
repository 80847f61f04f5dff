// The radius that holds a given share of a Gaussian error in two or three dimensions (private to results).
#pragma once

#include <array>

namespace varno {

// The σ of the isotropic Gaussian whose 95 % radius is that of the Gaussian with the given covariance (m², 3 × 3
// column-major, north/east/up), in the horizontal plane (`dimensions` 2: north and east) or in space (3). Equal to
// the common σ when the variances are equal and uncorrelated; larger than √(mean variance) otherwise, because the
// larger axes hold more of the tail. A covariance that is not positive definite gives √(mean variance).
double equivalentSigma(const std::array<double, 9>& covariance, int dimensions);

}  // namespace varno
