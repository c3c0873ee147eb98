#include "render/portable_trig.h"

namespace wavsplice {

namespace {

// Minimax polynomials for sin and cos on [-pi/4, pi/4], the classic kernels of freely distributed
// mathematics libraries.
constexpr double kS1 = -1.66666666666666324348e-01;
constexpr double kS2 = 8.33333333332248946124e-03;
constexpr double kS3 = -1.98412698298579493134e-04;
constexpr double kS4 = 2.75573137070700676789e-06;
constexpr double kS5 = -2.50507602534068634195e-08;
constexpr double kS6 = 1.58969099521155010221e-10;

constexpr double kC1 = 4.16666666666666019037e-02;
constexpr double kC2 = -1.38888888888741095749e-03;
constexpr double kC3 = 2.48015872894767294178e-05;
constexpr double kC4 = -2.75573143513906633035e-07;
constexpr double kC5 = 2.08757232129817482790e-09;
constexpr double kC6 = -1.13596475577881948265e-11;

// pi/2 as a sum of two doubles, so that pi/2 - x loses nothing.
constexpr double kHalfPiHigh = 1.57079632679489655800e+00;
constexpr double kHalfPiLow = 6.12323399573676603587e-17;
constexpr double kQuarterPi = 7.85398163397448278999e-01;

// sin(x + tail) for |x| <= pi/4, tail a small correction below x's last bit.
double KernelSine(double x, double tail) {
  const double z = x * x;
  const double v = z * x;
  const double r = kS2 + z * (kS3 + z * (kS4 + z * (kS5 + z * kS6)));
  return x - ((z * (0.5 * tail - v * r) - tail) - v * kS1);
}

// cos(x + tail) for |x| <= pi/4.
double KernelCosine(double x, double tail) {
  const double z = x * x;
  const double r = z * (kC1 + z * (kC2 + z * (kC3 + z * (kC4 + z * (kC5 + z * kC6)))));
  const double halfZ = 0.5 * z;
  const double w = 1.0 - halfZ;
  return w + (((1.0 - w) - halfZ) + (z * r - x * tail));
}

// Above pi/4 the other kernel is used at pi/2 - angle, kept as a head and a tail so that the
// subtraction loses nothing.
double ReducedAngle(double angle, double& tail) {
  const double head = kHalfPiHigh - angle;
  const double reduced = head + kHalfPiLow;
  tail = kHalfPiLow - (reduced - head);
  return reduced;
}

}  // namespace

double PortableSine(double angle) {
  if (angle <= kQuarterPi) return KernelSine(angle, 0.0);
  double tail = 0.0;
  const double reduced = ReducedAngle(angle, tail);
  return KernelCosine(reduced, tail);
}

double PortableCosine(double angle) {
  if (angle <= kQuarterPi) return KernelCosine(angle, 0.0);
  double tail = 0.0;
  const double reduced = ReducedAngle(angle, tail);
  return KernelSine(reduced, tail);
}

}  // namespace wavsplice
