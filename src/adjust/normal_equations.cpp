// Normal equations of the point 2 solution and the small dense-matrix utilities they need.
#include <cmath>
#include <cstddef>

#include "adjust/adjust.h"
#include "textio/textio.h"

namespace varno {

namespace {

// Element (i, j), 1-based, of a column-major matrix with leading dimension ld.
inline double& at(double* m, int i, int j, int ld) {
    return m[static_cast<std::ptrdiff_t>(j - 1) * ld + (i - 1)];
}
inline double at(const double* m, int i, int j, int ld) {
    return m[static_cast<std::ptrdiff_t>(j - 1) * ld + (i - 1)];
}

constexpr int kWritevWidth = 30;
constexpr int kWritevDecimals = 20;
constexpr int kWritemWidth = 18;
constexpr int kWritemDecimals = 10;
constexpr int kWritemPerLine = 4;

}  // namespace

void nrmclr(double* matrix, double* rhs, double& sumSquares, int n) {
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= j; ++i) at(matrix, i, j, n) = 0.0;
        rhs[j - 1] = 0.0;
    }
    sumSquares = 0.0;
}

void nrmal2(double* matrix, double* rhs, const double* a, double l, double w, double& sumSquares, const int* k,
            int m, int ld) {
    sumSquares = sumSquares + (w * l) * l;
    for (int i = 0; i < m; ++i) {
        for (int j = i; j < m; ++j) at(matrix, k[i], k[j], ld) = at(matrix, k[i], k[j], ld) + a[i] * a[j] * w;
    }
    for (int i = 0; i < m; ++i) rhs[k[i] - 1] = rhs[k[i] - 1] + (w * l) * a[i];
}

void nrmsym(double* matrix, int n) {
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i < j; ++i) at(matrix, j, i, n) = at(matrix, i, j, n);
    }
}

bool invert(double* matrix, int n) {
    for (int k = 1; k <= n; ++k) {
        // No exchanges are made, so a zero on the diagonal ends the inversion instead of spreading infinities.
        if (at(matrix, k, k, n) == 0.0) return false;
        const double p = 1.0 / at(matrix, k, k, n);
        at(matrix, k, k, n) = p;
        for (int i = 1; i <= n; ++i) {
            if (i == k) continue;
            const double t = p * at(matrix, i, k, n);
            at(matrix, i, k, n) = t;
            for (int j = 1; j <= n; ++j) {
                if (j == k) continue;
                at(matrix, i, j, n) = at(matrix, i, j, n) - t * at(matrix, k, j, n);
                // Row k is scaled only once every other row has used it unscaled: during the last row's pass.
                if (i == n) at(matrix, k, j, n) = -p * at(matrix, k, j, n);
            }
        }
    }
    // The last pivot's row is never visited by the loop above.
    for (int j = 1; j <= n - 1; ++j) at(matrix, n, j, n) = -at(matrix, n, n, n) * at(matrix, n, j, n);
    return true;
}

void ab(const double* a, const double* b, double* d, int nr, int nk, int nc) {
    if (nr <= 0 || nc <= 0) return;
    for (int l = 1; l <= nc; ++l) {
        for (int i = 1; i <= nr; ++i) at(d, i, l, nr) = 0.0;
    }
    for (int i = 1; i <= nr; ++i) {
        for (int j = 1; j <= nk; ++j) {
            for (int l = 1; l <= nc; ++l) at(d, i, l, nr) = at(d, i, l, nr) + at(a, i, j, nr) * at(b, j, l, nk);
        }
    }
}

void innerp(const double* v, int n, double& r) {
    r = 0.0;
    for (int i = 0; i < n; ++i) r = r + v[i] * v[i];
}

void writev(const double* v, int n) {
    for (int i = 0; i < n; ++i) writeListing(" " + fmtE(v[i], kWritevWidth, kWritevDecimals));
}

void writem(const double* matrix, int rows, int columns) {
    for (int i = 1; i <= rows; ++i) {
        std::string line = " ";
        int onLine = 0;
        for (int j = 1; j <= columns; ++j) {
            line += fmtE(at(matrix, i, j, rows), kWritemWidth, kWritemDecimals);
            if (++onLine == kWritemPerLine && j < columns) {
                writeListing(line);
                line = " ";
                onLine = 0;
            }
        }
        writeListing(line);
    }
}

}  // namespace varno
