#pragma once
// Integer and floating-point helpers of the Base64 coder.
#include <cmath>
#include <cstdint>

namespace qiwa {

// 0 for a divisor of 0 rather than NaN.
inline double float_remainder(double a, double b) {
  return b == 0 ? 0 : std::fmod(a, b);
}
inline int bit_and(int a, int b) {
  return a & b;
}
inline int shift_left(int value, int bits) {
  return static_cast<int>(static_cast<std::uint32_t>(value) << (bits & 31));
}
// Arithmetic: the sign bit is copied in.
inline int shift_right(int value, int bits) {
  return value >> (bits & 31);
}

}  // namespace qiwa
