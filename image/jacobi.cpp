// Colour decorrelation: the eigenvectors of the 3x3 colour covariance by the
// classical Jacobi method, ordered by eigenvalue and quantised to steps of
// 0.0001 so that the decoder receives exactly the matrix the encoder used.
#include <cmath>

#include "image/fatal.h"
#include "image/image_3c.h"

namespace quarn {

namespace {

// Rotates the pair (a, b) in place.
inline void rotate(double& a, double& b, double s, double tau) {
  const double x = a;
  const double y = b;
  a = x - s * (y + x * tau);
  b = y + s * (x - y * tau);
}

}  // namespace

void Image_3C::Jacobi(double sum[3], double prod[3][3]) {
  const double inv = 1.0 / (static_cast<double>(rows) * static_cast<double>(cols));
  double m[3];
  for (int r = 0; r < 3; ++r) m[r] = sum[r] * inv;

  double C[3][3];
  for (int k = 0; k < 3; ++k) {
    for (int l = k; l < 3; ++l) {
      C[k][l] = C[l][k] = prod[k][l] * inv - m[l] * m[k];
    }
  }
  for (int r = 0; r < 3; ++r) mean[r] = static_cast<int32_t>(m[r] + 0.5);

  double V[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  double d[3], b[3], z[3];
  for (int k = 0; k < 3; ++k) {
    d[k] = b[k] = C[k][k];
    z[k] = 0.0;
  }

  static constexpr int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  int rotations = 0;
  for (;;) {
    // The largest off-diagonal element; the earlier pair wins a tie and a
    // value that is not a number never wins.
    double largest = 0.0;
    int p = 0, q = 0;
    for (const auto& pair : kPairs) {
      const double a = std::fabs(C[pair[0]][pair[1]]);
      if (a > largest) {
        largest = a;
        p = pair[0];
        q = pair[1];
      }
    }
    if (largest == 0.0) break;
    if (++rotations > 50) {
      FatalError("Too many iterations in function < Image_3C::Jacobi >");
    }

    const double apq = C[p][q];
    const double h = d[q] - d[p];
    const double g = 100.0 * std::fabs(apq);
    double t;
    if (std::fabs(h) + g == std::fabs(h)) {
      t = apq / h;
    } else {
      const double theta = 0.5 * h / apq;
      t = 1.0 / (std::fabs(theta) + std::sqrt(1.0 + theta * theta));
      if (theta < 0.0) t = -t;
    }
    const double c = 1.0 / std::sqrt(1.0 + t * t);
    const double s = t * c;
    const double tau = s / (1.0 + c);
    const double u = t * apq;
    z[p] -= u;
    z[q] += u;
    d[p] -= u;
    d[q] += u;
    C[p][q] = 0.0;

    for (int j = 0; j < p; ++j) rotate(C[j][p], C[j][q], s, tau);
    for (int j = p + 1; j < q; ++j) rotate(C[p][j], C[j][q], s, tau);
    for (int j = q + 1; j < 3; ++j) rotate(C[p][j], C[q][j], s, tau);
    for (int j = 0; j < 3; ++j) rotate(V[j][p], V[j][q], s, tau);

    for (int k = 0; k < 3; ++k) {
      b[k] += z[k];
      d[k] = b[k];
      z[k] = 0.0;
    }
  }

  // Rows of `matrix` are the eigenvectors, largest eigenvalue first.
  for (int e = 0; e < 3; ++e) {
    int best = -1;
    double bestValue = -1.0;
    for (int k = 0; k < 3; ++k) {
      if (d[k] > bestValue) {
        bestValue = d[k];
        best = k;
      }
    }
    if (best < 0) FatalError("Incorrect decomposition");
    d[best] = -2.0;
    for (int r = 0; r < 3; ++r) {
      double n = V[r][best] * 10000.0;
      n += (n >= 0.0) ? 0.5 : -0.5;
      const auto steps = static_cast<int32_t>(n);
      matrix[e][r] = static_cast<float>(static_cast<double>(steps) * 0.0001);
    }
  }
}

}  // namespace quarn
