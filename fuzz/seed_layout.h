// How an input of the whole-run fuzzer is laid out: the task text, then up to two source files
// (named "a.wav" and "b.wav"), each part after a separator line.
#pragma once

namespace wavsplice::fuzz {

constexpr const char* kPartSeparator = "\n%%wav%%\n";

}  // namespace wavsplice::fuzz
