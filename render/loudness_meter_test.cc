#include "render/loudness_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using testing::TempDir;

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kRate = 48000;

// Value of a channel at frame n, as a fraction of full scale.
using Signal = std::function<double(int32_t channel, int64_t n)>;

Signal Sine(double hz, double dbfs, double phase = 0) {
  const double amplitude = std::pow(10.0, dbfs / 20.0);
  return [=](int32_t, int64_t n) { return amplitude * std::sin(2 * kPi * hz * n / kRate + phase); };
}

// Raw audio bytes (no header) of the signal in the format.
Bytes AudioBytes(const PcmFormat& format, int64_t frames, const Signal& signal) {
  std::vector<double> fractions;
  for (int64_t n = 0; n < frames; ++n) {
    for (int32_t channel = 0; channel < format.channels; ++channel) {
      fractions.push_back(signal(channel, n));
    }
  }
  if (format.IsFloat()) return testing::EncodeFloatSamples(fractions, format.Bits());
  const double fullScale = std::ldexp(1.0, format.Bits() - 1);
  std::vector<int32_t> values;
  for (double fraction : fractions) {
    const double value = std::round(fraction * fullScale) + (format.Bits() == 8 ? 128 : 0);
    values.push_back(static_cast<int32_t>(static_cast<int64_t>(value)));
  }
  return testing::EncodeSamples(values, format.Bits());
}

LoudnessMeasure Measure(const PcmFormat& format, double seconds, const Signal& signal) {
  TempDir dir;
  const int64_t frames = static_cast<int64_t>(seconds * kRate);
  testing::WriteFile(dir / "audio.raw", AudioBytes(format, frames, signal));
  LoudnessMeasure measure;
  EXPECT_EQ(MeasureLoudness({dir / "audio.raw", 0, 0, frames}, format, LoudnessScope::kProgramme,
                            measure),
            MeterOutcome::kMeasured);
  return measure;
}

PcmFormat Format(int32_t bytes, SampleEncoding encoding, int32_t channels, uint32_t mask = 0) {
  PcmFormat format = IntegerFormat(bytes, channels, kRate);
  format.encoding = encoding;
  format.channelMask = mask;
  return format;
}

// The 1 kHz stereo sine of EBU Tech 3341's first cases reads its level in LUFS in every format, and
// its peaks at the sine's amplitude; 8-bit PCM is too coarse for -33 dBFS, so it plays a louder
// sine.
TEST(LoudnessMeter, KnownSinesReadTheirLevelInEveryFormat) {
  struct Case {
    PcmFormat format;
    std::vector<double> levels;
  };
  const Case cases[] = {
      {Format(1, SampleEncoding::kInteger, 2), {-6.0}},
      {Format(2, SampleEncoding::kInteger, 2), {-23.0, -33.0}},
      {Format(3, SampleEncoding::kInteger, 2), {-23.0, -33.0}},
      {Format(4, SampleEncoding::kInteger, 2), {-23.0, -33.0}},
      {Format(4, SampleEncoding::kFloat, 2), {-23.0, -33.0}},
      {Format(8, SampleEncoding::kFloat, 2), {-23.0, -33.0}},
  };
  for (const Case& c : cases) {
    for (const double level : c.levels) {
      SCOPED_TRACE(::testing::Message() << c.format.Bits() << " bits, float " << c.format.IsFloat()
                                        << ", " << level << " dBFS");
      const LoudnessMeasure measure = Measure(c.format, 5, Sine(1000, level));
      EXPECT_NEAR(measure.integratedLufs, level, 0.1);
      EXPECT_NEAR(measure.samplePeakDbfs, level, 0.1);
      EXPECT_NEAR(measure.truePeakDbtp, level, 0.1);
      EXPECT_NEAR(measure.rangeLu, 0.0, 0.1);
      EXPECT_NEAR(measure.rmsDbfs, level - 3.01, 0.1);
    }
  }
}

// A tone at a quarter of the rate, 45 degrees off, is sampled at 0.707 of its crest: the true peak
// lies 3 dB above the sample peak.
TEST(LoudnessMeter, TruePeakFindsTheCrestBetweenSamples) {
  const LoudnessMeasure measure =
      Measure(Format(3, SampleEncoding::kInteger, 2), 4, Sine(kRate / 4.0, -6.0, kPi / 4));
  EXPECT_NEAR(measure.samplePeakDbfs, -9.0, 0.1);
  EXPECT_GT(measure.truePeakDbtp, measure.samplePeakDbfs + 2.5);
  EXPECT_NEAR(measure.truePeakDbtp, -6.0, 0.6);
}

// The channel mask weights the channels as BS.1770 does (LFE unused, surrounds +1.5 dB); without
// one every channel weighs 0 dB.
TEST(LoudnessMeter, ChannelMaskSetsTheChannelWeights) {
  const Signal tone = Sine(1000, -30.0);
  const double stereo = Measure(Format(2, SampleEncoding::kInteger, 2), 5, tone).integratedLufs;
  struct Case {
    PcmFormat format;
    double weightSum;  // over channels, 2 for the stereo reference
  };
  const Case cases[] = {
      {Format(2, SampleEncoding::kInteger, 6, 0x3F), 3 + 2 * 1.41},
      {Format(2, SampleEncoding::kInteger, 6), 6},
      {Format(2, SampleEncoding::kInteger, 1), 1},
      {Format(2, SampleEncoding::kInteger, 1, 0x4), 1},
      {Format(4, SampleEncoding::kFloat, 8, 0x63F), 3 + 4 * 1.41},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.format.channels << " channels, mask " << c.format.channelMask);
    const LoudnessMeasure measure = Measure(c.format, 5, tone);
    EXPECT_NEAR(measure.integratedLufs - stereo, 10 * std::log10(c.weightSum / 2), 0.02);
  }
}

// The noise floor is the quietest half second; silence has no loudness.
TEST(LoudnessMeter, NoiseFloorAndSilence) {
  const Signal loudThenQuiet = [](int32_t channel, int64_t n) {
    return n < 2 * kRate ? Sine(1000, -20)(channel, n) : Sine(1000, -65)(channel, n);
  };
  const LoudnessMeasure measure = Measure(Format(2, SampleEncoding::kInteger, 1), 3, loudThenQuiet);
  EXPECT_NEAR(measure.noiseFloorDbfs, -68.0, 0.1);
  // Two seconds of a -20 dBFS sine (mean square 0.005) in three.
  EXPECT_NEAR(measure.rmsDbfs, 10 * std::log10(2 * 0.005 / 3), 0.1);

  const double minusInfinity = -std::numeric_limits<double>::infinity();
  const LoudnessMeasure silence =
      Measure(Format(1, SampleEncoding::kInteger, 2), 2, [](int32_t, int64_t) { return 0.0; });
  EXPECT_EQ(silence.integratedLufs, minusInfinity);
  EXPECT_EQ(silence.samplePeakDbfs, minusInfinity);
  EXPECT_EQ(silence.noiseFloorDbfs, minusInfinity);
}

// A file that cannot be opened, or ends before the stretch, is unreadable.
TEST(LoudnessMeter, UnreadableStretches) {
  TempDir dir;
  const PcmFormat format = Format(2, SampleEncoding::kInteger, 2);
  testing::WriteFile(dir / "short.raw", Bytes(400, 0));
  LoudnessMeasure measure;
  EXPECT_EQ(MeasureLoudness({dir / "missing.raw", 0, 0, 10}, format, LoudnessScope::kSpan, measure),
            MeterOutcome::kUnreadable);
  EXPECT_EQ(MeasureLoudness({dir / "short.raw", 0, 90, 11}, format, LoudnessScope::kSpan, measure),
            MeterOutcome::kUnreadable);
  EXPECT_EQ(MeasureLoudness({dir / "short.raw", 0, 90, 10}, format, LoudnessScope::kSpan, measure),
            MeterOutcome::kMeasured);
}

}  // namespace
}  // namespace wavsplice
