// What the end-to-end tests expect of a finished destination, worked out here from the file layout
// and the sample arithmetic the program promises, not by calling the program's own code: the
// canonical header, a canvas of sample values that the edits are laid onto, the level change and
// the crossfade curves.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cli_runner.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {

inline const std::string kSampleMode = "Reading time values as samples.\n";

// The line block that follows reading the task file.
inline std::string ReadEntries(int count) {
  return "\nRead " + std::to_string(count) + " entries in task file\n\n";
}

// The whole standard output and the exit status, with nothing on standard error and no hang.
inline void ExpectOutcome(const CliResult& result, const std::string& out, int exitCode) {
  EXPECT_EQ(result.out, out);
  EXPECT_EQ(result.exitCode, exitCode);
  EXPECT_EQ(result.err, "");
  EXPECT_FALSE(result.timedOut);
}

// The temporary files of runs (".NAME.wavsplice-XXXXXX", crossfade scratch files too) in folder; a
// run that has ended, however, leaves none.
inline std::vector<std::string> TemporaryFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    const std::string name = item.path().filename().string();
    if (name.find(".wavsplice-") != std::string::npos) names.push_back(name);
  }
  return names;
}

// The 44-byte header of a destination of `frames` sample frames. The header of a
// WAVE_FORMAT_EXTENSIBLE file (40-byte fmt chunk), with a fact chunk for float, written out field
// by field.
inline Bytes ExpectedExtensibleHeader(uint32_t sampleRate, int bits, int channels, int32_t frames,
                                      uint32_t mask, bool isFloat = false, int validBits = 0) {
  Bytes out;
  const auto le = [&out](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
  };
  const auto tag = [&out](const char* text) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(text[i]));
  };
  const uint32_t blockAlign = static_cast<uint32_t>(channels * bits / 8);
  const uint32_t dataSize = static_cast<uint32_t>(frames) * blockAlign;
  const uint32_t headerLength = isFloat ? 80 : 68;
  tag("RIFF");
  le(dataSize + headerLength - 8, 4);
  tag("WAVE");
  tag("fmt ");
  le(40, 4);
  le(0xFFFE, 2);
  le(static_cast<uint32_t>(channels), 2);
  le(sampleRate, 4);
  le(sampleRate * blockAlign, 4);
  le(blockAlign, 2);
  le(static_cast<uint32_t>(bits), 2);
  le(22, 2);
  le(static_cast<uint32_t>(validBits == 0 ? bits : validBits), 2);
  le(mask, 4);
  const Bytes guid = {static_cast<unsigned char>(isFloat ? 3 : 1),
                      0,
                      0,
                      0,
                      0,
                      0,
                      0x10,
                      0,
                      0x80,
                      0,
                      0,
                      0xaa,
                      0,
                      0x38,
                      0x9b,
                      0x71};
  out.insert(out.end(), guid.begin(), guid.end());
  if (isFloat) {
    tag("fact");
    le(4, 4);
    le(static_cast<uint32_t>(frames), 4);
  }
  tag("data");
  le(dataSize, 4);
  return out;
}

inline Bytes ExpectedHeader(uint32_t sampleRate, int bits, int channels, int32_t frames) {
  Bytes out;
  const auto le = [&out](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
  };
  const auto tag = [&out](const char* text) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(text[i]));
  };
  const uint32_t bytes = static_cast<uint32_t>(bits / 8);
  const uint32_t dataSize = static_cast<uint32_t>(frames) * bytes * static_cast<uint32_t>(channels);
  tag("RIFF");
  le(dataSize + 36, 4);
  tag("WAVE");
  tag("fmt ");
  le(16, 4);
  le(1, 2);
  le(static_cast<uint32_t>(channels), 2);
  le(sampleRate, 4);
  le(sampleRate * bytes * static_cast<uint32_t>(channels), 4);
  le(static_cast<uint32_t>(channels * bits / 8), 2);
  le(static_cast<uint32_t>(bits), 2);
  tag("data");
  le(dataSize, 4);
  return out;
}

// Interleaved sample values of a destination being built, in the units of its width; starts as
// silence.
struct Canvas {
  Canvas(int channelCount, int32_t frames)
      : channels(channelCount), values(static_cast<size_t>(frames * channelCount), 0) {}

  // Lays interleaved values over the canvas from frame `at`, growing it when they run past its end.
  void Put(int32_t at, const std::vector<int32_t>& interleaved) {
    const size_t first = static_cast<size_t>(at * channels);
    if (values.size() < first + interleaved.size()) values.resize(first + interleaved.size(), 0);
    for (size_t i = 0; i < interleaved.size(); ++i) values[first + i] = interleaved[i];
  }

  // Interleaved values of frames [at, at + count); frames past the end are silence.
  std::vector<int32_t> Get(int32_t at, int32_t count) const {
    std::vector<int32_t> out;
    for (size_t i = static_cast<size_t>(at * channels);
         i < static_cast<size_t>((at + count) * channels); ++i) {
      out.push_back(i < values.size() ? values[i] : 0);
    }
    return out;
  }

  int channels;
  std::vector<int32_t> values;
};

// The whole destination file: header for `frames` frames, then the canvas's values up to that
// length (a crossfade may have laid more on the canvas; the file ends where its header says).
inline Bytes ExpectedWav(uint32_t sampleRate, int bits, const Canvas& canvas, int32_t frames) {
  Bytes out = ExpectedHeader(sampleRate, bits, canvas.channels, frames);
  const size_t values = std::min(
      canvas.values.size(), static_cast<size_t>(frames) * static_cast<size_t>(canvas.channels));
  const Bytes audio =
      EncodeSamples(std::vector<int32_t>(canvas.values.begin(),
                                         canvas.values.begin() + static_cast<long>(values)),
                    bits);
  out.insert(out.end(), audio.begin(), audio.end());
  return out;
}

// Interleaved values of frames [from, from + count) of a source's values; frames past the end are
// silence.
inline std::vector<int32_t> Span(const std::vector<int32_t>& interleaved, int channels,
                                 int32_t from, int32_t count) {
  std::vector<int32_t> out;
  for (int32_t i = from * channels; i < (from + count) * channels; ++i) {
    out.push_back(i >= 0 && static_cast<size_t>(i) < interleaved.size()
                      ? interleaved[static_cast<size_t>(i)]
                      : 0);
  }
  return out;
}

// A value truncated toward zero and held within the range of its width; every value held is counted
// in *clipped.
inline int32_t Limit(double value, int bits, int* clipped) {
  const double high = bits == 16 ? 32767.0 : 8388607.0;
  const double low = bits == 16 ? -32768.0 : -8388608.0;
  const double truncated = std::trunc(value);
  if (truncated > high) {
    ++*clipped;
    return static_cast<int32_t>(high);
  }
  if (truncated < low) {
    ++*clipped;
    return static_cast<int32_t>(low);
  }
  return static_cast<int32_t>(truncated);
}

// The level change: 10^(dB / 20) applied to every value, computed on the 24-bit scale (16-bit
// values are x256 there, and x1/256 after).
inline std::vector<int32_t> Levelled(const std::vector<int32_t>& values, double levelDb, int bits,
                                     int* clipped) {
  if (levelDb == 0.0) return values;
  const double gain = std::pow(10.0, levelDb / 20.0);
  std::vector<int32_t> out;
  for (int32_t v : values) {
    const double scaled = bits == 16 ? static_cast<double>(v) * 256.0 * gain * 0.00390625
                                     : static_cast<double>(v) * gain;
    out.push_back(Limit(scaled, bits, clipped));
  }
  return out;
}

// The crossfade of `count` frames: frame i weighs the destination's values `dest` and the source's
// values `source` (interleaved) by the curve of xfType at r = i / count, the source side also by
// the level.
inline std::vector<int32_t> Crossfaded(const std::vector<int32_t>& dest,
                                       const std::vector<int32_t>& source, int channels,
                                       int32_t count, int xfType, double levelDb, int bits,
                                       int* clipped) {
  const double gain = std::pow(10.0, levelDb / 20.0);
  std::vector<int32_t> out;
  for (int32_t i = 0; i < count; ++i) {
    const double r = static_cast<double>(i) / static_cast<double>(count);
    const double angle = r * 1.570796327;
    double destGain = 0;
    double sourceGain = 0;
    if (xfType == 1) {
      destGain = std::cos(angle);
      sourceGain = std::sin(angle);
    } else if (xfType == 2) {
      destGain = 1 - r;
      sourceGain = 1 - destGain;
    } else if (xfType == 3) {
      destGain = std::cos(angle);
      sourceGain = 1 - destGain;
    } else {
      destGain = 1 - std::sin(angle);
      sourceGain = 1 - destGain;
    }
    if (levelDb != 0.0) sourceGain = sourceGain * gain;
    for (int c = 0; c < channels; ++c) {
      const size_t at = static_cast<size_t>(i * channels + c);
      const double scale = bits == 16 ? 256.0 : 1.0;
      const double s = source[at] * scale;
      const double d = dest[at] * scale;
      const double sourcePart = s * sourceGain;
      const double destPart = d * destGain;
      const double mix = sourcePart + destPart;
      out.push_back(Limit(bits == 16 ? mix * 0.00390625 : mix, bits, clipped));
    }
  }
  return out;
}

// The report block of one edit in sample mode, "\tDone" included; `extra` stands between the level
// line and "\tDone" (crossfade messages, the clipping count).
inline std::string SampleBlock(int task, int64_t insertPoint, const std::string& file,
                               int64_t readStart, int64_t readLength,
                               const std::string& level = "0.000", const std::string& extra = "") {
  return "Task " + std::to_string(task) + "\tInsert point " + std::to_string(insertPoint) +
         " samples\n\tFile " + file + "\n\tRead start " + std::to_string(readStart) +
         " samples\n\tRead length " + std::to_string(readLength) + " samples\n\tLevel " + level +
         " dB\n" + extra + "\tDone\n\n";
}

// The final report of a sample-mode run.
inline std::string SampleBuilt(const std::string& dest, int64_t length, int bits, int channels,
                               int sampleRate) {
  return "Built\t" + dest + "\n\tLength " + std::to_string(length) + " samples\n\tBits " +
         std::to_string(bits) + "\n\tChannels " + std::to_string(channels) + "\n\tSample rate " +
         std::to_string(sampleRate) + "\n\n";
}

}  // namespace wavsplice::testing
