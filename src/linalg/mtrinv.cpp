#include "linalg/mtrinv.hpp"

#include <array>
#include <cmath>
#include <utility>

namespace tarnvex::linalg {

int mtrinv(Mat20& a, int n, textio::RecordWriter& console) {
    if (n <= 0) return 0;
    // pivcol(i): column of the pivot taken in row i; pivrow(j): row of the pivot taken
    // in column j; 0 while unused.
    std::array<int, MMAX + 1> pivcol{};
    std::array<int, MMAX + 1> pivrow{};

    for (int step = 1; step <= n; ++step) {
        double p = 0.0;
        int r = 0;
        int s = 0;
        for (int i = 1; i <= n; ++i) {
            if (pivcol[i] != 0) continue;
            for (int j = 1; j <= n; ++j) {
                if (pivrow[j] != 0) continue;
                if (std::fabs(p) < std::fabs(a(i, j))) {
                    p = a(i, j);
                    r = i;
                    s = j;
                }
            }
        }
        if (std::fabs(p) <= 0.0) {
            console.write_free({"mtrinv: matrix singular"});
            return 1;
        }
        pivcol[r] = s;
        pivrow[s] = r;

        // Exchange step: the product, then the division by p, then the subtraction; the
        // pivot row and column still hold their old values while the rest is updated.
        a(r, s) = 1.0 / p;
        for (int j = 1; j <= n; ++j) {
            if (j == s) continue;
            const double arj = a(r, j);
            for (int i = 1; i <= n; ++i) {
                if (i == r) continue;
                a(i, j) = a(i, j) - (a(i, s) * arj) / p;
            }
        }
        for (int i = 1; i <= n; ++i) {
            if (i != r) a(i, s) = a(i, s) / p;
        }
        for (int j = 1; j <= n; ++j) {
            if (j != s) a(r, j) = -(a(r, j) / p);
        }
    }

    // The value in row i, column j belongs in row pivcol(i), column pivrow(j).
    for (int i = 1; i < n; ++i) {
        if (pivcol[i] != i) {
            int l = i + 1;
            while (pivcol[l] != i)
                ++l;
            for (int j = 1; j <= n; ++j)
                std::swap(a(i, j), a(l, j));
            pivcol[l] = pivcol[i];
        }
        pivcol[i] = i;
    }
    for (int i = 1; i < n; ++i) {
        if (pivrow[i] != i) {
            int l = i + 1;
            while (pivrow[l] != i)
                ++l;
            for (int k = 1; k <= n; ++k)
                std::swap(a(k, i), a(k, l));
            pivrow[l] = pivrow[i];
        }
        pivrow[i] = i;
    }
    return 0;
}

}  // namespace tarnvex::linalg
