// Sine and cosine of a crossfade's angle computed the same, bit for bit, on every platform: the C
// library's sin and cos may differ in the last bit between platforms (some use fused multiply-add,
// some cannot), and a 64-bit float destination keeps that bit.
#pragma once

namespace wavsplice {

// sin(angle) and cos(angle) to within about one unit in the last place, for an angle from -pi/4 to
// 3pi/4 (a crossfade's angle runs from 0 to about pi/2). Only additions and multiplications in
// 64-bit floating point, in a fixed order: the build keeps them from being fused.
double PortableSine(double angle);
double PortableCosine(double angle);

}  // namespace wavsplice
