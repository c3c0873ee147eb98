#include "task/edit_plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice {
namespace {

using testing::WavFormat;

struct Source {
  std::string path;
  testing::Bytes wav;
};

WavFormat Format(int channels, uint32_t rate, int bits, int audioFormat = 1) {
  WavFormat format;
  format.channels = channels;
  format.sampleRate = rate;
  format.bits = bits;
  format.audioFormat = audioFormat;
  return format;
}

// Writes the sources, one entry each, and resolves the plan.
testing::Outcome Resolve(RunState& run, const std::vector<Source>& sources) {
  run.entryCount = static_cast<int32_t>(sources.size());
  run.entries.resize(sources.size());
  for (size_t i = 0; i < sources.size(); ++i) {
    testing::WriteFile(sources[i].path, sources[i].wav);
    run.entries[i].sourcePath = sources[i].path;
  }
  return testing::RunCaptured([&run] { ResolveEditPlan(run); });
}

testing::Bytes Frames(const WavFormat& format, int frames) {
  return testing::CanonicalWav(
      format, std::vector<int32_t>(static_cast<size_t>(frames * format.channels), 0));
}

TEST(ResolveEditPlan, ReadsEverySourceAndSetsTheRunFormat) {
  testing::TempDir dir;
  RunState run;
  run.entries.resize(2);
  run.entries[1].xin = 0.001;
  const testing::Outcome outcome = Resolve(run, {{"a.wav", Frames(Format(2, 48000, 24), 100)},
                                                 {"b.wav", Frames(Format(2, 48000, 24), 90)}});
  EXPECT_FALSE(outcome.failed);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(run.format.sampleRate, 48000);
  EXPECT_EQ(run.format.channels, 2);
  EXPECT_EQ(run.format.Bits(), 24);
  EXPECT_EQ(run.format.containerBytes, 3);
  EXPECT_EQ(run.entries[0].readLength, 100);
  EXPECT_EQ(run.entries[1].readStart, 48);
  EXPECT_EQ(run.entries[1].readEnd, 90);
  EXPECT_EQ(run.entries[1].attributes.dataOffset, 44);

  // The first source that cannot be read ends the run, before any check.
  RunState missing;
  missing.entryCount = 3;
  missing.entries.resize(3);
  missing.entries[0].sourcePath = "a.wav";
  missing.entries[1].sourcePath = "gone.wav";
  missing.entries[2].sourcePath = "also-gone.wav";
  const testing::Outcome failure = testing::RunCaptured([&missing] { ResolveEditPlan(missing); });
  EXPECT_EQ(failure.exitCode, 2);
  EXPECT_EQ(failure.message, "Cannot find file in track list called gone.wav!!\n");
}

TEST(ResolveEditPlan, FormatComparisonListsEverySource) {
  testing::TempDir dir;
  const std::string rateBlock =
      "Sample rates do not match for source tracks:\n"
      "a.wav\t44100 Hz\nb.wav\t48000 Hz\nc.wav\t48000 Hz\n";
  RunState rates;
  testing::Outcome outcome = Resolve(rates, {{"a.wav", Frames(Format(1, 44100, 16), 10)},
                                             {"b.wav", Frames(Format(1, 48000, 16), 10)},
                                             {"c.wav", Frames(Format(1, 48000, 16), 10)}});
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.message, "");
  EXPECT_EQ(outcome.out, rateBlock + rateBlock);

  // Rate before bits for one entry; the matching entry prints nothing.
  RunState mixed;
  outcome = Resolve(mixed, {{"a.wav", Frames(Format(1, 44100, 16), 10)},
                            {"b.wav", Frames(Format(1, 48000, 24), 10)},
                            {"c.wav", Frames(Format(1, 44100, 16), 10)}});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.out,
            "Sample rates do not match for source tracks:\n"
            "a.wav\t44100 Hz\nb.wav\t48000 Hz\nc.wav\t44100 Hz\n"
            "Number of bits do not match for source tracks:\n"
            "a.wav\t16\nb.wav\t24\nc.wav\t16\n");

  RunState channels;
  outcome = Resolve(channels, {{"a.wav", Frames(Format(1, 44100, 16), 10)},
                               {"b.wav", Frames(Format(2, 44100, 16), 10)}});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.out,
            "Number of channels do not match for source tracks:\n"
            "a.wav\t1 channels\nb.wav\t2 channels\n");

  // The comparison comes before the format check and the spans.
  RunState beforeFormat;
  beforeFormat.entries.resize(2);
  beforeFormat.entries[1].xin = 99;
  outcome = Resolve(beforeFormat, {{"a.wav", Frames(Format(1, 44100, 16), 10)},
                                   {"b.wav", Frames(Format(1, 48000, 16, 3), 10)}});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.message, "");
  EXPECT_EQ(outcome.out,
            "Sample rates do not match for source tracks:\na.wav\t44100 Hz\nb.wav\t48000 Hz\n"
            "Sample types do not match for source tracks:\na.wav\tinteger\nb.wav\tfloat\n");

  // One source: nothing to compare, even in an odd format.
  RunState single;
  outcome = Resolve(single, {{"a.wav", Frames(Format(1, 22050, 16), 10)}});
  EXPECT_FALSE(outcome.failed);
  EXPECT_EQ(outcome.out, "");
}

// Resolves a plan of sources in one format per entry, returning the failure.
std::string Refusal(const std::vector<Source>& sources, double level = 0, int xfType = 0,
                    size_t entryWithEffect = 0) {
  RunState run;
  run.entries.resize(sources.size());
  run.entries[entryWithEffect].lvl = level;
  run.entries[entryWithEffect].xfType = xfType;
  const testing::Outcome outcome = Resolve(run, sources);
  if (!outcome.failed) return "no failure";
  return std::to_string(outcome.exitCode) + " " + outcome.out + outcome.message;
}

TEST(ResolveEditPlan, UnsupportedFormatsAreRefused) {
  testing::TempDir dir;
  const testing::Bytes pcm = Frames(Format(1, 44100, 16), 10);
  // (Same sample type as a.wav, so that the comparison lets them through.)
  const testing::Bytes muLaw = Frames(Format(1, 44100, 16, 7), 10);
  EXPECT_EQ(Refusal({{"a.wav", pcm}, {"b.wav", muLaw}, {"c.wav", muLaw}}),
            "1 Unsupported audio format in b.wav\n");
  EXPECT_EQ(Refusal({{"a.wav", Frames(Format(1, 44100, 16, 7), 10)}}),
            "1 Unsupported audio format in a.wav\n");
  const auto extensible = [](uint16_t subFormat) {
    return testing::WavBuilder()
        .FmtExtensible(Format(2, 44100, 24), subFormat)
        .Data(testing::Bytes(60, 0))
        .Build();
  };
  EXPECT_EQ(Refusal({{"a.wav", extensible(1)}}), "no failure");
  EXPECT_EQ(Refusal({{"a.wav", extensible(3)}}), "1 Unsupported audio format in a.wav\n");
  // Frame size 0 or rate 0.
  EXPECT_EQ(Refusal({{"a.wav", Frames(Format(0, 44100, 16), 0)}}),
            "1 Unsupported audio format in a.wav\n");
  EXPECT_EQ(
      Refusal(
          {{"a.wav",
            testing::WavBuilder().Fmt(Format(1, 44100, 4)).Data(testing::Bytes(8, 0)).Build()}}),
      "1 Unsupported audio format in a.wav\n");
  EXPECT_EQ(Refusal({{"a.wav", Frames(Format(1, 0, 16), 10)}}),
            "1 Unsupported audio format in a.wav\n");
  // No fmt chunk: the fields read as 0.
  EXPECT_EQ(Refusal({{"a.wav", testing::WavBuilder().Data(testing::Bytes(8, 0)).Build()}}),
            "1 Can't find format chunk in wave file!\nUnsupported audio format in a.wav\n");
  // A source named twice says so twice, as if read for each entry.
  const testing::Bytes noFmt = testing::WavBuilder().Data(testing::Bytes(8, 0)).Build();
  EXPECT_EQ(Refusal({{"a.wav", noFmt}, {"a.wav", noFmt}}),
            "1 Can't find format chunk in wave file!\nCan't find format chunk in wave "
            "file!\nUnsupported audio format in a.wav\n");
  // Other integer PCM formats are accepted.
  EXPECT_EQ(Refusal({{"a.wav", Frames(Format(1, 44100, 8), 10)}}), "no failure");
  EXPECT_EQ(Refusal({{"a.wav", Frames(Format(6, 44100, 32), 10)}}), "no failure");
}

TEST(ResolveEditPlan, EveryAcceptedFormatTakesLevelAndCrossfade) {
  testing::TempDir dir;
  struct Case {
    WavFormat format;
    bool extensible;
    bool accepted;
  };
  const Case cases[] = {
      {Format(1, 44100, 8), false, true},      {Format(2, 44100, 16), false, true},
      {Format(6, 44100, 24), false, true},     {Format(128, 8000, 32), false, true},
      {Format(1, 44100, 32, 3), false, true},  {Format(2, 44100, 64, 3), false, true},
      {Format(6, 48000, 32, 3), true, true},   {Format(8, 48000, 24, 1), true, true},
      {Format(129, 8000, 16), false, false},   {Format(1, 44100, 40), false, false},
      {Format(1, 44100, 24, 3), false, false}, {Format(1, 44100, 64, 1), false, false},
      {Format(2, 44100, 16, 3), true, false},  {Format(1, 44100, 12), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.format.channels) + " channels, " + std::to_string(c.format.bits) +
                 " bits, tag " + std::to_string(c.format.audioFormat) +
                 (c.extensible ? " extensible" : ""));
    const testing::Bytes wav =
        c.extensible
            ? testing::WavBuilder()
                  .FmtExtensible(Format(c.format.channels, c.format.sampleRate, c.format.bits),
                                 static_cast<uint16_t>(c.format.audioFormat))
                  .Data(testing::Bytes(static_cast<size_t>(c.format.channels) * 40, 0))
                  .Build()
            : testing::WavBuilder()
                  .Fmt(c.format)
                  .Data(testing::Bytes(static_cast<size_t>(c.format.channels) * 40, 0))
                  .Build();
    EXPECT_EQ(Refusal({{"a.wav", wav}}, -3, 1),
              c.accepted ? "no failure" : "1 Unsupported audio format in a.wav\n");
  }
}

// One entry on a source of length samples at rate, resolved alone.
struct Span {
  testing::Outcome outcome;
  EditEntry entry;
};

Span ResolveOne(int32_t sampleMode, int64_t length, double xin, double xout, double trim,
                int32_t rate = 44100) {
  RunState run;
  run.sampleMode = sampleMode;
  run.format.sampleRate = rate;
  run.entryCount = 1;
  run.entries.resize(1);
  EditEntry& entry = run.entries[0];
  entry.sourcePath = "a.wav";
  entry.attributes.lengthSamples = length;
  entry.xin = xin;
  entry.xout = xout;
  entry.trim = trim;
  Span span;
  span.outcome = testing::RunCaptured([&run] { ResolveSpans(run); });
  span.entry = run.entries[0];
  return span;
}

std::string Triple(const Span& span) {
  if (span.outcome.failed)
    return std::to_string(span.outcome.exitCode) + " " + span.outcome.message;
  return std::to_string(span.entry.readStart) + " " + std::to_string(span.entry.readEnd) + " " +
         std::to_string(span.entry.readLength);
}

TEST(ResolveSpans, SecondsMode) {
  const int32_t tenSeconds = 441000;
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 1, 2, 0)), "44100 88200 44100");
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 0.00001, 2, 0)), "0 88200 88200");
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 0.7, 3.3, 0)), "30869 145530 114661");

  Span span = ResolveOne(0, tenSeconds, 0, 0, 0);
  EXPECT_EQ(Triple(span), "0 441000 441000");
  EXPECT_EQ(span.entry.xout, 10.0);
  span = ResolveOne(0, tenSeconds, 0, 2, 0.5);
  EXPECT_EQ(span.entry.readEnd, 110250);
  EXPECT_EQ(span.entry.xout, 2.5);
  span = ResolveOne(0, tenSeconds, 0, 0, -2);
  EXPECT_EQ(span.entry.readEnd, 352800);
  EXPECT_EQ(span.entry.xout, 8.0);
  // A stop beyond the end is limited; xout stays as asked.
  span = ResolveOne(0, tenSeconds, 5, 12, 0);
  EXPECT_EQ(Triple(span), "220500 441000 220500");
  EXPECT_EQ(span.entry.xout, 12.0);
  // Rates other than 44100.
  EXPECT_EQ(Triple(ResolveOne(0, 96000, 0.5, 0, 0, 48000)), "24000 96000 72000");
}

TEST(ResolveSpans, SampleModeTruncatesTowardZero) {
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 100.7, 500, 0)), "100 500 400");
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 0, 500, -50.9)), "0 450 450");
  EXPECT_EQ(Triple(ResolveOne(1, 1000, -0.9, 10, 0)), "0 10 10");
  const Span span = ResolveOne(1, 1000, 0, 0, 0);
  EXPECT_EQ(Triple(span), "0 1000 1000");
  EXPECT_EQ(span.entry.xout, 1000.0);
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 999, 0, 0)), "999 1000 1");
}

TEST(ResolveSpans, SpansOutsideTheSourceAreRefused) {
  const std::string refused = "1 Edit start/stop set incorrectly for a.wav\n";
  const int32_t tenSeconds = 441000;
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 1, 1, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 10, 0, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 11, 12, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, -1, 2, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 1, 2, -1)), refused);
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 0, -1, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 1000, 0, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(1, 0, 0, 0, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(1, -2, 0, 0, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(1, -2, -5, 0, 0)), refused);
  // Not finite.
  for (double bad : {nan, inf, -inf}) {
    EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, bad, 2, 0)), refused) << bad;
    EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 0, bad, 0)), refused) << bad;
    EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 0, 0, bad)), refused) << bad;
    EXPECT_EQ(Triple(ResolveOne(1, 1000, 0, 500, bad)), refused) << bad;
  }
  // Starts past the source are refused; far stops are limited while their sample count is a signed
  // 64-bit number, refused beyond.
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 1e6, 0, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 3e9, 0, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, -1e12, 2, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(1, 1000, -2147483649.0, 500, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(0, tenSeconds, 9, 1e6, 0)), "396900 441000 44100");
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 0, 3e9, 0)), "0 1000 1000");
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 0, 9.2e18, 0)), "0 1000 1000");
  EXPECT_EQ(Triple(ResolveOne(0, 1000, 0, 2e14, 0)), "0 1000 1000");
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 0, 0, 9.2e18)), "0 1000 1000");
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 0, 1e300, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 0, 0, 1e300)), refused);
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 0, 9.3e18, 0)), refused);
  EXPECT_EQ(Triple(ResolveOne(0, 1000, 0, 2.1e14, 0)), refused);  // 9.26e18 samples
  // Each fits, their sum does not.
  EXPECT_EQ(Triple(ResolveOne(1, 1000, 0, 9.2e18, 9.2e18)), refused);
}

TEST(ResolveSpans, PositionsBeyondThe32BitRange) {
  // 5e9 frames: 29 hours at 48 kHz.
  const int64_t length = 5000000000;
  EXPECT_EQ(Triple(ResolveOne(1, length, 3e9, 4e9, 0)), "3000000000 4000000000 1000000000");
  EXPECT_EQ(Triple(ResolveOne(0, length, 50000, 0, 0, 48000)), "2400000000 5000000000 2600000000");
  EXPECT_EQ(Triple(ResolveOne(0, length, 36000, 39600.5, -0.5, 48000)),
            "1728000000 1900800000 172800000");
  EXPECT_EQ(Triple(ResolveOne(1, length, 4999999999, 0, 0)), "4999999999 5000000000 1");
  const Span whole = ResolveOne(0, length, 0, 0, -1, 48000);
  EXPECT_EQ(whole.entry.xout, 5000000000.0 / 48000 - 1);
  EXPECT_EQ(Triple(whole), "0 4999952000 4999952000");
}

TEST(ResolveSpans, FirstFaultyEntryEndsTheRun) {
  RunState run;
  run.sampleMode = 1;
  run.format.sampleRate = 44100;
  run.entryCount = 3;
  run.entries.resize(3);
  const char* names[] = {"a.wav", "b.wav", "c.wav"};
  for (size_t i = 0; i < 3; ++i) {
    run.entries[i].sourcePath = names[i];
    run.entries[i].attributes.lengthSamples = 100;
  }
  run.entries[1].xin = 100;
  run.entries[2].xin = -5;
  const testing::Outcome outcome = testing::RunCaptured([&run] { ResolveSpans(run); });
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.message, "Edit start/stop set incorrectly for b.wav\n");
  EXPECT_EQ(outcome.out, "");
}

}  // namespace
}  // namespace wavsplice
