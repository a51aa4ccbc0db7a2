#pragma once
// Part 3.2: angle routines. Degrees unless the name says radians.

namespace astro {

inline constexpr long double kPi = 3.141592653589793238462643383279502884L;

// Nearest integer, halves to even (the design's Round).
long double RoundHalfEven(long double x);

// The same angle in [0, 360).
long double Normalize360(long double degrees);

// Sine and cosine of an angle in degrees, reduced by Normalize360 first.
long double SinDeg(long double degrees);
long double CosDeg(long double degrees);

// Arc cosine in radians, [0, pi], as arctan2(sqrt(1 - x^2), x).
long double ArcCosRad(long double x);

} // namespace astro
