// End-to-end: finished destinations. Each test renders a task file with the real binary and
// compares the report, the status and the destination byte for byte with what the edits should make
// of the sources: spans laid in write order over silence, level changes, crossfades through scratch
// files of their own, and the limiting of values beyond full scale.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

// A count of frames as the report prints it in seconds: the quotient of the two as 32-bit floats.
std::string Seconds(int32_t frames, int sampleRate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f",
                static_cast<double>(static_cast<float>(frames) / static_cast<float>(sampleRate)));
  return text;
}

std::string Level(double levelDb) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", levelDb);
  return text;
}

struct Format {
  int bits;
  int channels;
  int sampleRate;
  bool sampleMode;
};

std::string FormatName(const Format& format) {
  return std::to_string(format.bits) + (format.channels == 1 ? "-bit mono, " : "-bit stereo, ") +
         (format.sampleMode ? "samples" : "seconds");
}

std::string Built(const Format& format, int32_t length) {
  if (format.sampleMode) {
    return SampleBuilt("out.wav", length, format.bits, format.channels, format.sampleRate);
  }
  return "Built\tout.wav\n\tLength " + Seconds(length, format.sampleRate) + " sec\n\tBits " +
         std::to_string(format.bits) + "\n\tChannels " + std::to_string(format.channels) +
         "\n\tSample rate " + std::to_string(format.sampleRate) + "\n\n";
}

struct Source {
  std::string name;
  std::vector<int32_t> values;  // interleaved
};

// What should become of an edit's crossfade.
enum class Fade {
  kNone,
  kPlaced,        // generated and laid over the splice
  kNotPlaced,     // generated, but its start would be sample 0
  kSourceFails,   // readStart below half
  kDestFails,     // insertPoint below half
  kNotGenerated,  // failed before any start was tested
};

struct Edit {
  int task;  // 1-based position in the task file
  const Source* source;
  int32_t insertPoint;
  int32_t readStart;
  int32_t readLength;
  double levelDb = 0;  // as stored: a 32-bit float widened
  Fade fade = Fade::kNone;
  int xfType = 0;
  int32_t xfSamples = 0;
};

std::string Block(const Format& format, const Edit& edit, const std::string& extra) {
  if (format.sampleMode) {
    return SampleBlock(edit.task, edit.insertPoint, edit.source->name, edit.readStart,
                       edit.readLength, Level(edit.levelDb), extra);
  }
  const int rate = format.sampleRate;
  return "Task " + std::to_string(edit.task) + "\tInsert point " + Seconds(edit.insertPoint, rate) +
         " sec\n\tFile " + edit.source->name + "\n\tRead start " + Seconds(edit.readStart, rate) +
         " sec\n\tRead length " + Seconds(edit.readLength, rate) + " sec\n\tLevel " +
         Level(edit.levelDb) + " dB\n" + extra + "\tDone\n\n";
}

// Lays the edits, given in write order, onto the canvas as the program should and returns their
// report blocks. A crossfade blends what the canvas holds before the edit's span is copied.
std::string Render(const Format& format, const std::vector<Edit>& order, Canvas& canvas) {
  const int bits = format.bits;
  const int channels = format.channels;
  std::string report;
  for (const Edit& edit : order) {
    const int32_t half = edit.xfSamples / 2;
    std::string extra;
    std::vector<int32_t> fade;
    int fadeClipped = 0;
    switch (edit.fade) {
      case Fade::kPlaced:
      case Fade::kNotPlaced:
        fade =
            Crossfaded(canvas.Get(edit.insertPoint - half, edit.xfSamples),
                       Span(edit.source->values, channels, edit.readStart - half, edit.xfSamples),
                       channels, edit.xfSamples, edit.xfType, edit.levelDb, bits, &fadeClipped);
        break;
      case Fade::kSourceFails:
        extra = "Invalid crossfade for source file\nCould not generate crossfade\n";
        break;
      case Fade::kDestFails:
        extra = "Invalid crossfade for destination file\nCould not generate crossfade\n";
        break;
      case Fade::kNotGenerated:
        extra = "Could not generate crossfade\n";
        break;
      case Fade::kNone:
        break;
    }
    int clipped = 0;
    canvas.Put(edit.insertPoint,
               Levelled(Span(edit.source->values, channels, edit.readStart, edit.readLength),
                        edit.levelDb, bits, &clipped));
    if (edit.fade == Fade::kPlaced) {
      canvas.Put(edit.insertPoint - half, fade);
      clipped += fadeClipped;
    }
    if (clipped > 0) extra += "\tClipped " + std::to_string(clipped) + " samples\n";
    report += Block(format, edit, extra);
  }
  return report;
}

// Interleaved values of `frames` frames: left from one rule, right from another.
template <typename Left, typename Right>
std::vector<int32_t> Frames(int channels, int32_t frames, Left left, Right right) {
  std::vector<int32_t> values;
  for (int32_t i = 0; i < frames; ++i) {
    values.push_back(left(i));
    if (channels == 2) values.push_back(right(i));
  }
  return values;
}

// Several sources, ins and appended entries, a stop past the source's end, trim, overlapping edits;
// the destination is every span in write order over silence.
TEST(CliRender, SourcesLaidInWriteOrderOverSilence) {
  const WavFormat format{1, 1000, 16, 1};
  const std::vector<int32_t> a{1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                               11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  std::vector<int32_t> b;
  for (int i = 101; i <= 110; ++i) b.push_back(i);
  std::vector<int32_t> c;
  for (int i = 201; i <= 230; ++i) c.push_back(-i);

  // The same task in samples and in seconds (at 1000 per second).
  const std::string samples =
      "using_samples\n"
      "src\ta.wav\nxin\t2\nxout\t12\n"
      "src\tb.wav\nxout\t15\n"
      "src\ta.wav\nxout\t3\n"
      "src\tc.wav\nins\t40.7\nxin\t5\ntrim\t-5\n"
      "src\tb.wav\nxin\t8\n"
      "src\tc.wav\nins\t5\nxout\t3\n"
      "dest\tout.wav\n";
  const std::string seconds =
      "src\ta.wav\nxin\t0.002\nxout\t0.012\n"
      "src\tb.wav\nxout\t0.015\n"
      "src\ta.wav\nxout\t0.003\n"
      "src\tc.wav\nins\t0.0407\nxin\t0.005\ntrim\t-0.005\n"
      "src\tb.wav\nxin\t0.008\n"
      "src\tc.wav\nins\t0.005\nxout\t0.003\n"
      "dest\tout.wav\n";
  // Written: 1, 2, 3 (the leading appended run), then by ins: 6, then 4 with 5 appended to it.
  // Entry 2's stop lies past its source's end, so entry 3 starts after the whole stop asked for and
  // 20..24 stay silent.
  const std::string sampleReport =
      kSampleMode + ReadEntries(6) + SampleBlock(1, 0, "a.wav", 2, 10) +
      SampleBlock(2, 10, "b.wav", 0, 10) + SampleBlock(3, 25, "a.wav", 0, 3) +
      SampleBlock(6, 5, "c.wav", 0, 3) + SampleBlock(4, 40, "c.wav", 5, 20) +
      SampleBlock(5, 60, "b.wav", 8, 2) + SampleBuilt("out.wav", 62, 16, 1, 1000);
  const std::string secondsReport =
      ReadEntries(6) +
      "Task 1\tInsert point 0.000 sec\n\tFile a.wav\n\tRead start 0.002 sec\n"
      "\tRead length 0.010 sec\n\tLevel 0.000 dB\n\tDone\n\n"
      "Task 2\tInsert point 0.010 sec\n\tFile b.wav\n\tRead start 0.000 sec\n"
      "\tRead length 0.010 sec\n\tLevel 0.000 dB\n\tDone\n\n"
      "Task 3\tInsert point 0.025 sec\n\tFile a.wav\n\tRead start 0.000 sec\n"
      "\tRead length 0.003 sec\n\tLevel 0.000 dB\n\tDone\n\n"
      "Task 6\tInsert point 0.005 sec\n\tFile c.wav\n\tRead start 0.000 sec\n"
      "\tRead length 0.003 sec\n\tLevel 0.000 dB\n\tDone\n\n"
      "Task 4\tInsert point 0.040 sec\n\tFile c.wav\n\tRead start 0.005 sec\n"
      "\tRead length 0.020 sec\n\tLevel 0.000 dB\n\tDone\n\n"
      "Task 5\tInsert point 0.060 sec\n\tFile b.wav\n\tRead start 0.008 sec\n"
      "\tRead length 0.002 sec\n\tLevel 0.000 dB\n\tDone\n\n"
      "Built\tout.wav\n\tLength 0.062 sec\n\tBits 16\n\tChannels 1\n\tSample rate 1000\n\n";

  std::vector<int32_t> expected{3, 4, 5, 6, 7, -201, -202, -203, 11, 12};
  for (int v = 101; v <= 110; ++v) expected.push_back(v);
  for (int v : {0, 0, 0, 0, 0, 1, 2, 3}) expected.push_back(v);
  expected.resize(40, 0);
  for (int v = 206; v <= 225; ++v) expected.push_back(-v);
  expected.push_back(109);
  expected.push_back(110);
  ASSERT_EQ(expected.size(), 62u);

  for (const bool sampleMode : {true, false}) {
    SCOPED_TRACE(sampleMode ? "samples" : "seconds");
    TempDir dir;
    WriteFile(dir / "a.wav", CanonicalWav(format, a));
    WriteFile(dir / "b.wav", CanonicalWav(format, b));
    WriteFile(dir / "c.wav", CanonicalWav(format, c));
    WriteFile(dir / "out.wav", Bytes(5000, 0xEE));  // replaced whole
    WriteTextFile(dir / "task.txt", sampleMode ? samples : seconds);
    ExpectOutcome(RunCli(dir.path(), {}), sampleMode ? sampleReport : secondsReport, 0);
    const Bytes out = ReadFile(dir / "out.wav");
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 44), ExpectedHeader(1000, 16, 1, 62));
    EXPECT_EQ(out, CanonicalWav(format, expected));
    EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
  }
}

// Positions in seconds at 44100 are truncated products: 0.7 s is sample 30869, 3.3 s is 145530, and
// the appended entry's start, worked out from (3.3 - 0.7) + 0.1 seconds, lands two samples before
// its predecessor's end, which it overwrites.
TEST(CliRender, SecondsAreTruncatedProducts) {
  TempDir dir;
  const WavFormat format{2, 44100, 16, 1};
  const std::vector<int32_t> a = Frames(
      2, 145600, [](int32_t i) { return i % 30011 - 15000; }, [](int32_t i) { return -(i % 977); });
  const std::vector<int32_t> b{1, -1, 2, -2, 3, -3};
  WriteFile(dir / "a.wav", CanonicalWav(format, a));
  WriteFile(dir / "b.wav", CanonicalWav(format, b));
  WriteTextFile(dir / "task.txt",
                "src\ta.wav\nins\t0.1\nxin\t0.7\nxout\t3.3\nsrc\tb.wav\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                ReadEntries(2) +
                    "Task 1\tInsert point 0.100 sec\n\tFile a.wav\n\tRead start 0.700 sec\n"
                    "\tRead length 2.600 sec\n\tLevel 0.000 dB\n\tDone\n\n"
                    "Task 2\tInsert point 2.700 sec\n\tFile b.wav\n\tRead start 0.000 sec\n"
                    "\tRead length 0.000 sec\n\tLevel 0.000 dB\n\tDone\n\n"
                    "Built\tout.wav\n\tLength 2.700 sec\n\tBits 16\n\tChannels 2\n"
                    "\tSample rate 44100\n\n",
                0);
  Canvas canvas(2, 119072);
  canvas.Put(4410, Span(a, 2, 30869, 114661));
  canvas.Put(119069, b);
  EXPECT_EQ(ReadFile(dir / "out.wav"), ExpectedWav(44100, 16, canvas, 119072));
}

// The worked crossfade of four samples between a destination of 1000s and a source of -1000s, every
// curve, 16 and 24 bits, mono and stereo (the right channel carries the negated values and gets the
// negated results).
TEST(CliRender, CrossfadeCurvesGiveTheWorkedValues) {
  const int32_t worked[4][4] = {
      {1000, 541, 0, -541},
      {1000, 500, 0, -500},
      {1000, 847, 414, -234},
      {1000, 234, -414, -847},
  };
  for (const int bits : {16, 24}) {
    for (const int channels : {1, 2}) {
      for (int type = 1; type <= 4; ++type) {
        SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(channels) +
                     " channels, type " + std::to_string(type));
        TempDir dir;
        const WavFormat format{channels, 8000, bits, 1};
        const auto plus = [](int32_t) { return 1000; };
        const auto minus = [](int32_t) { return -1000; };
        WriteFile(dir / "a.wav", CanonicalWav(format, Frames(channels, 16, plus, minus)));
        WriteFile(dir / "b.wav", CanonicalWav(format, Frames(channels, 16, minus, plus)));
        // 0.5 ms at 8000 per second: 4 samples, half 2. The splice is at destination sample 8 and
        // source sample 4.
        WriteTextFile(dir / "task.txt",
                      "using_samples\nsrc\ta.wav\nins\t0\nsrc\tb.wav\nxin\t4\n"
                      "ins\t8\nxf\t0.5\t" +
                          std::to_string(type) + "\ndest\tout.wav\n");
        ExpectOutcome(RunCli(dir.path(), {}),
                      kSampleMode + ReadEntries(2) + SampleBlock(1, 0, "a.wav", 0, 16) +
                          SampleBlock(2, 8, "b.wav", 4, 12) +
                          SampleBuilt("out.wav", 20, bits, channels, 8000),
                      0);
        Canvas canvas(channels, 20);
        canvas.Put(0, Frames(channels, 6, plus, minus));
        const int32_t* row = worked[type - 1];
        canvas.Put(6, Frames(
                          channels, 4, [row](int32_t i) { return row[i]; },
                          [row](int32_t i) { return -row[i]; }));
        canvas.Put(10, Frames(channels, 10, minus, plus));
        EXPECT_EQ(ReadFile(dir / "out.wav"), ExpectedWav(8000, bits, canvas, 20));
        EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
      }
    }
  }

  // +6 dB weighs only the source side: type 2 gives 1000, 251, -497, -1246, and the span itself is
  // -1995.
  TempDir dir;
  const WavFormat format{1, 8000, 24, 1};
  WriteFile(dir / "a.wav", CanonicalWav(format, std::vector<int32_t>(16, 1000)));
  WriteFile(dir / "b.wav", CanonicalWav(format, std::vector<int32_t>(16, -1000)));
  WriteTextFile(dir / "task.txt",
                "using_samples\nsrc\ta.wav\nsrc\tb.wav\nxin\t4\nins\t8\nxf\t0.5\t2\nlvl\t6\n"
                "dest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}),
                kSampleMode + ReadEntries(2) + SampleBlock(1, 0, "a.wav", 0, 16) +
                    SampleBlock(2, 8, "b.wav", 4, 12, "6.000") +
                    SampleBuilt("out.wav", 20, 24, 1, 8000),
                0);
  std::vector<int32_t> expected(6, 1000);
  for (int32_t v : {1000, 251, -497, -1246}) expected.push_back(v);
  expected.resize(20, -1995);
  EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(format, expected));
}

// Values beyond full scale are held at full scale and counted, span and crossfade together; a value
// that truncates to full scale is not counted.
TEST(CliRender, LevelsAndCrossfadesLimitValuesAndCountThem) {
  {
    TempDir dir;
    const WavFormat format{1, 8000, 16, 1};
    WriteFile(dir / "a.wav", CanonicalWav(format, std::vector<int32_t>(16, 30000)));
    WriteFile(dir / "b.wav", CanonicalWav(format, {30000, -30000, 1000, 29204, -29205, 100}));
    WriteFile(dir / "c.wav", CanonicalWav(format, std::vector<int32_t>(16, 30000)));
    WriteFile(dir / "d.wav", CanonicalWav(format, {29204, -29205, 1000}));
    // Task 2: +6 dB clips four of its six values. Task 3: 29204 and -29205 at +1 dB come to
    // 32767.43 and -32768.55, which truncate to full scale: nothing is limited. Task 4: a type 1
    // crossfade of two full 30000s sums past full scale at its samples 1, 2 and 3. Task 5: the same
    // at +1 dB, whose 12 span values clip as well.
    WriteTextFile(dir / "task.txt",
                  "using_samples\nsrc\ta.wav\nins\t40\n"
                  "src\tb.wav\nlvl\t6\nins\t0\n"
                  "src\td.wav\nlvl\t1\nins\t10\n"
                  "src\tc.wav\nins\t44\nxin\t4\nxout\t8\nxf\t0.5\t1\n"
                  "src\tc.wav\nins\t52\nxin\t4\nxf\t0.5\t1\nlvl\t1\n"
                  "dest\tout.wav\n");
    ExpectOutcome(RunCli(dir.path(), {}),
                  kSampleMode + ReadEntries(5) +
                      SampleBlock(2, 0, "b.wav", 0, 6, "6.000", "\tClipped 4 samples\n") +
                      SampleBlock(3, 10, "d.wav", 0, 3, "1.000") +
                      SampleBlock(1, 40, "a.wav", 0, 16) +
                      SampleBlock(4, 44, "c.wav", 4, 4, "0.000", "\tClipped 3 samples\n") +
                      SampleBlock(5, 52, "c.wav", 4, 12, "1.000", "\tClipped 15 samples\n") +
                      SampleBuilt("out.wav", 64, 16, 1, 8000),
                  0);
    std::vector<int32_t> expected{32767, -32768, 1995, 32767, -32768, 199, 0,
                                  0,     0,      0,    32767, -32768, 1122};
    expected.resize(40, 0);
    // a.wav from 40; task 4's crossfade from 42 over it, then the rest of its span at 46 and 47;
    // a.wav again to task 5's crossfade at 50.
    for (int32_t v : {30000, 30000, 30000, 32767, 32767, 32767, 30000, 30000, 30000, 30000}) {
      expected.push_back(v);
    }
    // Task 5's crossfade: at its sample 1, 30000 x cos + 30000 x sin x 1.122 is past full scale;
    // then its span, all clipped.
    expected.push_back(30000);
    expected.resize(64, 32767);
    EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(format, expected));
  }
  {
    // 24-bit stereo: both channels count. 7476354 and -7476355 at +1 dB truncate to full scale
    // without being limited.
    TempDir dir;
    const WavFormat format{2, 8000, 24, 1};
    const std::vector<int32_t> edge{7476354, -7476355, 8000000, -8000000, 7476355, 5};
    WriteFile(dir / "a.wav", CanonicalWav(format, edge));
    WriteTextFile(dir / "task.txt", "using_samples\nsrc\ta.wav\nlvl\t1\ndest\tout.wav\n");
    ExpectOutcome(RunCli(dir.path(), {}),
                  kSampleMode + ReadEntries(1) +
                      SampleBlock(1, 0, "a.wav", 0, 3, "1.000", "\tClipped 3 samples\n") +
                      SampleBuilt("out.wav", 3, 24, 2, 8000),
                  0);
    EXPECT_EQ(ReadFile(dir / "out.wav"),
              CanonicalWav(format, {8388607, -8388608, 8388607, -8388608, 8388607, 5}));
  }
}

// Several overlapping edits with levels and crossfades of every type, placed, unplaced and failed,
// in every format and both modes. Positions are whole samples in both modes: at 8192 per second
// every k / 8192 seconds is exact.
TEST(CliRender, OverlappingEditsWithLevelsAndCrossfades) {
  const std::vector<Format> formats = {
      {16, 1, 8000, true},  {16, 2, 8192, false}, {24, 1, 8192, false}, {24, 2, 8000, true},
      {16, 1, 8192, false}, {16, 2, 8000, true},  {24, 1, 8000, true},  {24, 2, 8192, false},
  };
  for (const Format& format : formats) {
    SCOPED_TRACE(FormatName(format));
    const int ch = format.channels;
    const int32_t full = format.bits == 16 ? 30000 : 8000000;
    const Source bed{"bed.wav",
                     Frames(
                         ch, 160, [full](int32_t i) { return i * 104729 % full - full / 2; },
                         [](int32_t i) { return i * 31 % 1000 - 500; })};
    const Source loud{"loud.wav",
                      Frames(
                          ch, 100, [full](int32_t i) { return (i % 2 ? -1 : 1) * (full - 37 * i); },
                          [full](int32_t i) { return full / 3 - 101 * i; })};
    const Source soft{"soft.wav",
                      Frames(
                          ch, 80, [full](int32_t i) { return i * 7919 % full - full / 2; },
                          [full](int32_t i) { return full / 2 - i * 7919 % full + 13; })};
    const auto time = [&format](int32_t samples) {
      if (format.sampleMode) return std::to_string(samples);
      char text[64];
      std::snprintf(text, sizeof text, "%.13f", samples / 8192.0);
      return std::string(text);
    };
    const std::string task = std::string(format.sampleMode ? "using_samples\n" : "") +
                             "src\tbed.wav\nlvl\t-6\n"  // 1
                             "src\tloud.wav\nins\t" +
                             time(20) + "\nxin\t" + time(30) + "\nxout\t" + time(70) +
                             "\nlvl\t3\nxf\t1\t1\n"  // 2
                             "src\tsoft.wav\nins\t" +
                             time(50) + "\nxin\t" + time(10) + "\nxout\t" + time(40) +
                             "\nlvl\t-3\nxf\t2\t2\n"  // 3
                             "src\tloud.wav\nins\t" +
                             time(100) + "\nxin\t" + time(2) + "\nxout\t" + time(30) +
                             "\nxf\t1\t3\n"  // 4
                             "src\tsoft.wav\nxin\t" +
                             time(40) +
                             "\nlvl\t6\nxf\t1\t4\n"  // 5
                             "src\tsoft.wav\nins\t" +
                             time(3) + "\nxin\t" + time(20) + "\nxout\t" + time(30) +
                             "\nxf\t1\t1\n"  // 6
                             "src\tloud.wav\nins\t" +
                             time(4) + "\nxin\t" + time(50) + "\nxout\t" + time(52) +
                             "\nxf\t1\t2\n"  // 7
                             "src\tsoft.wav\nins\t" +
                             time(165) + "\nxin\t" + time(78) +
                             "\nxf\t2\t1\n"  // 8
                             "dest\tout.wav\n";
    // Written: 1 (leading appended), then by ins 6, 7, 2, 3, 4 with 5 appended at (30 - 2) + 100,
    // then 8. Crossfades of 1 ms are 8 samples (half 4) and of 2 ms 16 (half 8) at both rates.
    const std::vector<Edit> order = {
        {1, &bed, 0, 0, 160, -6.0},
        {6, &soft, 3, 20, 10, 0.0, Fade::kDestFails, 1, 8},
        {7, &loud, 4, 50, 2, 0.0, Fade::kNotPlaced, 2, 8},
        {2, &loud, 20, 30, 40, 3.0, Fade::kPlaced, 1, 8},
        {3, &soft, 50, 10, 30, -3.0, Fade::kPlaced, 2, 16},
        {4, &loud, 100, 2, 28, 0.0, Fade::kSourceFails, 3, 8},
        {5, &soft, 128, 40, 40, 6.0, Fade::kPlaced, 4, 8},
        // Its crossfade runs 5 samples past the destination's end and 6 past the source's: silence
        // is read there, and the part past the destination's end is not written.
        {8, &soft, 165, 78, 2, 0.0, Fade::kPlaced, 1, 16},
    };
    Canvas canvas(ch, 168);
    const std::string report = Render(format, order, canvas);
    ASSERT_EQ(canvas.values.size(), static_cast<size_t>(173 * ch));

    TempDir dir;
    for (const Source* source : {&bed, &loud, &soft}) {
      WriteFile(dir / source->name,
                CanonicalWav({ch, static_cast<uint32_t>(format.sampleRate), format.bits, 1},
                             source->values));
    }
    WriteTextFile(dir / "task.txt", task);
    const CliResult result = RunCli(dir.path(), {});
    ExpectOutcome(
        result,
        (format.sampleMode ? kSampleMode : "") + ReadEntries(8) + report + Built(format, 168), 0);
    // Task 2's +3 dB span clips on every left value.
    EXPECT_NE(report.find("\tClipped "), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "out.wav"),
              ExpectedWav(static_cast<uint32_t>(format.sampleRate), format.bits, canvas, 168));
    // No scratch file stays behind, after a failed crossfade or a placed one.
    EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
  }
}

// The scratch file: removed after a failed crossfade and after one that was generated (placed or
// not), never made for an edit without a crossfade. "xfade_temp.wav" is a name like any other.
TEST(CliRender, CrossfadeScratchFileLife) {
  const WavFormat format{2, 8000, 16, 1};
  const auto ramp = [](int32_t i) { return 100 * i; };
  const auto fall = [](int32_t i) { return -7 * i; };
  const std::vector<int32_t> a = Frames(2, 40, ramp, fall);
  const std::vector<int32_t> b = Frames(2, 40, fall, ramp);
  struct Case {
    std::string lines;  // entry 2 of the task, after "src\tb.wav\n"
    std::string extra;  // its report lines between level and Done
    int32_t insertPoint;
    int32_t readStart;
    int32_t readLength;
  };
  const Case cases[] = {
      // xin 0: below half of 8 samples.
      {"ins\t20\nxf\t1\t1\n", "Invalid crossfade for source file\nCould not generate crossfade\n",
       20, 0, 40},
      {"ins\t3\nxin\t10\nxf\t1\t3\n",
       "Invalid crossfade for destination file\nCould not generate crossfade\n", 3, 10, 30},
      // insertPoint equal to half: generated, not placed, removed.
      {"ins\t4\nxin\t10\nxf\t1\t4\n", "", 4, 10, 30},
      // A width whose samples pass the 64-bit range.
      {"ins\t20\nxin\t10\nxf\t1e30\t2\n", "Could not generate crossfade\n", 20, 10, 30},
      // A width of 0.1 ms is 0 samples: nothing to lay, nothing fails.
      {"ins\t20\nxin\t10\nxf\t0.1\t1\n", "", 20, 10, 30},
      // Type 0 is no crossfade.
      {"ins\t20\nxin\t10\nxf\t1\t0\n", "", 20, 10, 30},
  };
  const Bytes stale{'s', 't', 'a', 'l', 'e'};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    TempDir dir;
    WriteFile(dir / "a.wav", CanonicalWav(format, a));
    WriteFile(dir / "b.wav", CanonicalWav(format, b));
    WriteFile(dir / "xfade_temp.wav", stale);
    WriteTextFile(dir / "task.txt",
                  "using_samples\nsrc\ta.wav\nins\t0\nsrc\tb.wav\n" + c.lines + "dest\tout.wav\n");
    const int32_t length = std::max(40, c.insertPoint + c.readLength);
    ExpectOutcome(
        RunCli(dir.path(), {}),
        kSampleMode + ReadEntries(2) + SampleBlock(1, 0, "a.wav", 0, 40) +
            SampleBlock(2, c.insertPoint, "b.wav", c.readStart, c.readLength, "0.000", c.extra) +
            SampleBuilt("out.wav", length, 16, 2, 8000),
        0);
    // No crossfade reached the destination: the spans alone.
    Canvas canvas(2, length);
    canvas.Put(0, a);
    canvas.Put(c.insertPoint, Span(b, 2, c.readStart, c.readLength));
    EXPECT_EQ(ReadFile(dir / "out.wav"), ExpectedWav(8000, 16, canvas, length));
    EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(dir / "xfade_temp.wav"), stale);
  }
}

// A crossfade whose scratch file cannot be written fails the run: status 2, the destination named,
// the old destination kept, nothing left behind. (The full disk during a render and during a
// crossfade on a real file system, and signals, are in cli_interrupt_test.cc.)
TEST(CliRender, CrossfadeScratchFileThatCannotBeWritten) {
  const WavFormat format{1, 8000, 16, 1};
  const auto none = [](int32_t) { return 0; };
  const std::vector<int32_t> a = Frames(
      1, 230, [](int32_t i) { return i; }, none);
  const std::vector<int32_t> b = Frames(
      1, 230, [](int32_t i) { return -i; }, none);
  // Files limited to 512 bytes: the destination (504) fits, a crossfade of 240 samples (524) does
  // not.
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(format, a));
  WriteFile(dir / "b.wav", CanonicalWav(format, b));
  const Bytes old{'o', 'l', 'd'};
  WriteFile(dir / "out.wav", old);
  WriteTextFile(dir / "task.txt",
                "using_samples\nsrc\ta.wav\nsrc\tb.wav\nins\t125\nxin\t125\nxout\t126\n"
                "xf\t30\t1\ndest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}, 60, "ulimit -f 1;"),
                kSampleMode + ReadEntries(2) + SampleBlock(1, 0, "a.wav", 0, 230) +
                    "Task 2\tInsert point 125 samples\n\tFile b.wav\n\tRead start 125 samples\n"
                    "\tRead length 1 samples\n\tLevel 0.000 dB\n"
                    "Cannot write to file out.wav\n",
                2);
  EXPECT_EQ(ReadFile(dir / "out.wav"), old);
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
}

// The audio copied from a source is where the chunk scan finds it, and ends where its data chunk's
// size says when that size is believable.
TEST(CliRender, SourceAudioIsWhereTheDataChunkSays) {
  const WavFormat format{2, 8000, 16, 1};
  const Bytes audio = EncodeSamples({1, -1, 2, -2, 3, -3, 4, -4, 5, -5}, 16);  // 5 frames
  const Bytes list = WavBuilder().Chunk("LIST", Bytes(6, 'x')).Build();
  const Bytes trailer(list.begin() + 12, list.end());  // "LIST", size 6, six 'x'
  const auto withTrailer = [&audio, &trailer](size_t frames) {
    Bytes out(audio.begin(), audio.end());
    out.insert(out.end(), trailer.begin(), trailer.begin() + static_cast<long>(frames * 4 - 20));
    return out;
  };
  struct Case {
    std::string label;
    Bytes source;
    Bytes expectedAudio;
  };
  Bytes inner = {'d', 'a', 't', 'a', 8, 0, 0, 0, 9, 0, 8, 0, 7, 0, 6, 0};
  const Case cases[] = {
      {"chunks before and after the audio",
       WavBuilder().Fmt(format).Chunk("junk", Bytes(10, 'j')).Data(audio).Raw(trailer).Build(),
       audio},
      {"data size smaller than the audio", WavBuilder().Fmt(format).DataWithSize(8, audio).Build(),
       Bytes(audio.begin(), audio.begin() + 8)},
      // Sizes that cannot be believed: everything to the end of the file, the trailing chunk too
      // (14 bytes: 3 whole frames).
      {"data size 0", WavBuilder().Fmt(format).DataWithSize(0, audio).Raw(trailer).Build(),
       withTrailer(8)},
      {"data size 0xFFFFFFFF",
       WavBuilder().Fmt(format).DataWithSize(0xFFFFFFFF, audio).Raw(trailer).Build(),
       withTrailer(8)},
      {"data size past the end",
       WavBuilder().Fmt(format).DataWithSize(35, audio).Raw(trailer).Build(), withTrailer(8)},
      // "data" at an even position inside an earlier chunk is the data chunk.
      {"data tag inside another chunk",
       WavBuilder().Fmt(format).Chunk("junk", inner).Data(audio).Build(),
       Bytes(inner.begin() + 8, inner.end())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    WriteFile(dir / "src.wav", c.source);
    WriteTextFile(dir / "task.txt", "using_samples\nsrc\tsrc.wav\ndest\tout.wav\n");
    const int32_t frames = static_cast<int32_t>(c.expectedAudio.size() / 4);
    ExpectOutcome(RunCli(dir.path(), {}),
                  kSampleMode + ReadEntries(1) + SampleBlock(1, 0, "src.wav", 0, frames) +
                      SampleBuilt("out.wav", frames, 16, 2, 8000),
                  0);
    Bytes expected = ExpectedHeader(8000, 16, 2, frames);
    expected.insert(expected.end(), c.expectedAudio.begin(), c.expectedAudio.end());
    EXPECT_EQ(ReadFile(dir / "out.wav"), expected);
  }
}

// A crossfade that would run past the destination's end stops there: under a size limit of the
// destination's own size (512 bytes, 234 samples) the run succeeds, and the file ends where its
// header says.
TEST(CliRender, CrossfadePastTheEndStaysWithinTheDestination) {
  TempDir dir;
  const WavFormat format{1, 8000, 16, 1};
  // The crossfade placed at 222 would run to 238.
  WriteFile(dir / "a.wav", CanonicalWav(format, std::vector<int32_t>(234, 5)));
  WriteFile(dir / "b.wav", CanonicalWav(format, std::vector<int32_t>(20, 9)));
  WriteTextFile(dir / "task.txt",
                "using_samples\nsrc\ta.wav\nsrc\tb.wav\nins\t230\nxin\t10\nxout\t14\nxf\t2\t2\n"
                "dest\tout.wav\n");
  ExpectOutcome(RunCli(dir.path(), {}, 60, "ulimit -f 1;"),
                kSampleMode + ReadEntries(2) + SampleBlock(1, 0, "a.wav", 0, 234) +
                    SampleBlock(2, 230, "b.wav", 10, 4) + SampleBuilt("out.wav", 234, 16, 1, 8000),
                0);
  // Type 2 from 5 toward 9 over 16 samples, of which the first 12 are laid.
  std::vector<int32_t> expected(222, 5);
  for (const int32_t v : {5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7}) expected.push_back(v);
  EXPECT_EQ(ReadFile(dir / "out.wav"), CanonicalWav(format, expected));
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace wavsplice::testing

namespace wavsplice::testing {
namespace {

// A 5.1 float source in an extensible header: the destination keeps the mask and the sample type,
// its header's sizes count its own length, and a gap and a 0 dB copy are the format's silence and
// the source's bytes.
TEST(CliRender, MultichannelFloatKeepsItsMaskAndSamples) {
  TempDir dir;
  Bytes audio;
  for (int i = 0; i < 6 * 4; ++i) {
    // Floats by their bit patterns: 1.5, -2.0, 0.25 and a NaN.
    const uint32_t patterns[] = {0x3fc00000, 0xc0000000, 0x3e800000, 0x7fc00001};
    for (int k = 0; k < 4; ++k) {
      audio.push_back(static_cast<unsigned char>(patterns[i % 4] >> (8 * k)));
    }
  }
  WriteFile(dir / "surround.wav",
            WavBuilder().FmtExtensible({6, 48000, 32, 1}, 3, 32, 0x3f).Data(audio).Build());
  WriteTextFile(dir / "task.txt", "using_samples\nsrc\tsurround.wav\nins\t2\ndest\tout.wav\n");
  const CliResult result = RunCli(dir.path(), {});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  Bytes expected = ExpectedExtensibleHeader(48000, 32, 6, 6, 0x3f, true);
  expected.insert(expected.end(), 2 * 6 * 4, 0);
  expected.insert(expected.end(), audio.begin(), audio.end());
  EXPECT_EQ(ReadFile(dir / "out.wav"), expected);
}

}  // namespace
}  // namespace wavsplice::testing
