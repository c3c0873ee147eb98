// Writes the generated jobs of the byte-identity check (ci/byte_identity.sh): for each format
// listed in a formats file (ci/identity_formats.txt), one folder per job holding two sources in
// that format and a task.txt that splices them with level changes (quieter, louder with clipping)
// and crossfades, in seconds and in samples. The same folders are rendered on every platform.
// Usage: make_identity_jobs FORMATS_FILE OUT_DIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct NamedFormat {
  std::string name;
  WavFormat format;
};

std::vector<NamedFormat> ReadFormats(const std::string& path) {
  std::ifstream in(path);
  std::vector<NamedFormat> formats;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    NamedFormat entry;
    words >> entry.name >> entry.format.audioFormat >> entry.format.bits >> entry.format.channels >>
        entry.format.sampleRate;
    if (words.fail()) {
      std::printf("make_identity_jobs: cannot read format line \"%s\"\n", line.c_str());
      std::exit(1);
    }
    formats.push_back(entry);
  }
  return formats;
}

// Tones and noise near full scale as fractions of it, with full scale itself at the start, so that
// level changes clip and crossfades blend unlike signals.
std::vector<double> Signal(const WavFormat& format, double seconds, double hz, uint32_t seed) {
  const int frames = static_cast<int>(seconds * format.sampleRate);
  std::vector<double> values;
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < format.channels; ++c) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
      const double t = static_cast<double>(i) / format.sampleRate;
      values.push_back(0.6 * std::sin(2 * kPi * hz * (c % 8 + 1) * t) + 0.7 * noise);
    }
  }
  values.at(0) = 1.0;
  values.at(1) = -1.0;
  return values;
}

// The signal as a WAV file of the format: integer samples scaled to the width and limited to its
// range (8-bit ones unsigned), float samples as they are; more than two channels in an extensible
// header.
Bytes SourceFile(const WavFormat& format, const std::vector<double>& signal) {
  Bytes audio;
  if (format.audioFormat == 3) {
    audio = EncodeFloatSamples(signal, format.bits);
  } else {
    const double high = std::ldexp(1.0, format.bits - 1);
    std::vector<int32_t> values;
    for (double value : signal) {
      const double scaled = std::min(std::max(std::round(value * high), -high), high - 1);
      values.push_back(static_cast<int32_t>(scaled) + (format.bits == 8 ? 128 : 0));
    }
    audio = EncodeSamples(values, format.bits);
  }
  WavBuilder wav;
  if (format.channels > 2) {
    const uint32_t mask = format.channels < 18 ? (1u << format.channels) - 1 : 0;
    wav.FmtExtensible(format, static_cast<uint16_t>(format.audioFormat), format.bits, mask);
  } else {
    wav.Fmt(format);
  }
  return wav.Data(audio).Build();
}

// A time in the task's unit: seconds, or samples (shifted off round numbers) when samples is set.
std::string At(double seconds, const WavFormat& format, bool samples) {
  if (!samples) return std::to_string(seconds).substr(0, 5);
  return std::to_string(static_cast<int64_t>(seconds * format.sampleRate) + 7);
}

std::string Task(const WavFormat& format, bool samples, int xfType) {
  const auto at = [&](double seconds) { return At(seconds, format, samples); };
  const std::string xf = std::to_string(xfType);
  std::string task = samples ? "using_samples\n" : "";
  task += "src\ta.wav\nlvl\t-0.5\n";
  task += "src\tb.wav\nxin\t" + at(0.2) + "\nxout\t" + at(0.7) + "\nins\t" + at(0.5) +
          "\nlvl\t-3.5\nxf\t40\t" + xf + "\n";
  task += "src\ta.wav\nxin\t" + at(0.3) + "\ntrim\t-" + at(0.1) + "\nins\t" + at(0.9) +
          "\nlvl\t6\nxf\t25\t" + xf + "\n";
  // From the start of its source: no audio before the splice, so the crossfade is refused and
  // reported.
  task += "src\tb.wav\nins\tapp\nlvl\t-60\nxf\t10\t" + xf + "\n";
  return task + "dest\tout.wav\n";
}

void WriteJobs(const NamedFormat& entry, const std::filesystem::path& out) {
  const Bytes a = SourceFile(entry.format, Signal(entry.format, 1.0, 440, 1));
  const Bytes b = SourceFile(entry.format, Signal(entry.format, 0.8, 97, 2));
  for (const bool samples : {false, true}) {
    for (int xfType = 0; xfType <= 4; ++xfType) {
      const std::filesystem::path job =
          out / (entry.name + (samples ? "-samples" : "-seconds") + "-xf" + std::to_string(xfType));
      std::filesystem::create_directories(job);
      WriteFile((job / "a.wav").string(), a);
      WriteFile((job / "b.wav").string(), b);
      WriteTextFile((job / "task.txt").string(), Task(entry.format, samples, xfType));
    }
  }
}

}  // namespace
}  // namespace wavsplice::testing

int main(int argc, char** argv) {
  if (argc != 3) {
    std::puts("usage: make_identity_jobs FORMATS_FILE OUT_DIR");
    return 2;
  }
  const auto formats = wavsplice::testing::ReadFormats(argv[1]);
  for (const auto& entry : formats) wavsplice::testing::WriteJobs(entry, argv[2]);
  std::printf("make_identity_jobs: %zu formats, %zu jobs\n", formats.size(), formats.size() * 10);
  return formats.empty() ? 1 : 0;
}
