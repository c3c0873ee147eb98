// End-to-end: crossfades with handles. A task with `handles` renders byte for byte as the task
// without it that it stands for: the outgoing edit's span extended to the end of the crossfade, the
// incoming edit's read start and insert point moved together, the crossfade shrunk or left out
// where the sources run short. Also the default crossfade before the first src, fades in and out,
// and what the report and the check say of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

struct AudioFormat {
  const char* name;
  int bits;
  int channels;
  bool isFloat;
};

// A source of `frames` frames at 1000 per second (so that a width in ms is a count of frames), its
// values a pattern of its own (seed; 0: silence).
Bytes Source(const AudioFormat& f, int frames, int seed) {
  const WavFormat header{f.channels, 1000, f.bits, f.isFloat ? 3 : 1};
  const double top = f.isFloat ? 0.9 : (f.bits == 16 ? 30000.0 : 8000000.0);
  std::vector<double> values;
  for (int i = 0; i < frames * f.channels; ++i) {
    values.push_back(seed == 0 ? 0.0 : top * (((i * seed + 17 * seed) % 199) - 99) / 99.0);
  }
  if (f.isFloat) {
    return WavBuilder().Fmt(header).Data(EncodeFloatSamples(values, f.bits)).Build();
  }
  std::vector<int32_t> integers;
  for (double v : values) integers.push_back(static_cast<int32_t>(v));
  return CanonicalWav(header, integers);
}

struct Edit {
  int xin;
  int xout;
  int ins;  // -1: appended
};

std::string EditLines(const char* source, const Edit& edit, const std::string& extra) {
  std::string text = std::string("src\t") + source + "\nxin\t" + std::to_string(edit.xin) +
                     "\nxout\t" + std::to_string(edit.xout) + "\n";
  if (edit.ins >= 0) text += "ins\t" + std::to_string(edit.ins) + "\n";
  return text + extra;
}

// The outgoing edit from a.wav (at +2 dB, so its handle is heard at its level), the incoming one
// from b.wav with a crossfade (at -3 dB); both sources hold 200 frames.
struct ZoneCase {
  const char* name;
  Edit outgoing;
  Edit incoming;
  int width;
  int type;
  // The task without handles that the task stands for.
  Edit plainOutgoing;
  Edit plainIncoming;
  int plainWidth;  // 0: no crossfade
};

std::string Task(bool handles, const Edit& outgoing, const Edit& incoming, int width, int type) {
  return std::string("using_samples\n") + (handles ? "handles\n" : "") +
         EditLines("a.wav", outgoing, "lvl\t2\n") +
         EditLines("b.wav", incoming,
                   "xf\t" + std::to_string(width) + "\t" + std::to_string(type) + "\nlvl\t-3\n") +
         "dest\tout.wav\n";
}

TEST(CliHandles, RendersAsThePlainTaskItStandsFor) {
  const AudioFormat formats[] = {{"16-bit mono", 16, 1, false},
                                 {"16-bit stereo", 16, 2, false},
                                 {"24-bit mono", 24, 1, false},
                                 {"24-bit stereo", 24, 2, false},
                                 {"float stereo", 32, 2, true}};
  const ZoneCase cases[] = {
      {"centred", {0, 100, -1}, {50, 150, -1}, 40, 1, {0, 120, 0}, {50, 150, 100}, 40},
      {"no pre-roll", {0, 100, -1}, {0, 100, -1}, 40, 2, {0, 140, 0}, {20, 100, 120}, 40},
      {"no post-roll", {0, 200, -1}, {50, 150, -1}, 40, 3, {0, 200, 0}, {30, 150, 180}, 40},
      {"both short, shrunk", {0, 190, -1}, {15, 115, -1}, 40, 4, {0, 200, 0}, {12, 115, 187}, 25},
      {"shrunk below 2 frames", {0, 200, -1}, {1, 101, -1}, 40, 1, {0, 200, 0}, {1, 101, 200}, 0},
      {"outgoing runs past the splice",
       {0, 150, -1},
       {50, 150, 100},
       41,
       2,
       {0, 150, 0},
       {50, 150, 100},
       41},
  };
  for (const AudioFormat& format : formats) {
    for (const ZoneCase& c : cases) {
      SCOPED_TRACE(std::string(format.name) + ", " + c.name);
      TempDir dir;
      WriteFile(dir / "a.wav", Source(format, 200, 7));
      WriteFile(dir / "b.wav", Source(format, 200, 13));
      WriteTextFile(dir / "handles.txt", Task(true, c.outgoing, c.incoming, c.width, c.type));
      WriteTextFile(dir / "plain.txt", Task(false, c.plainOutgoing, c.plainIncoming, c.plainWidth,
                                            c.plainWidth == 0 ? 0 : c.type));
      const CliResult handles = RunCli(dir.path(), {"handles.txt"});
      ASSERT_EQ(handles.exitCode, 0) << handles.out;
      const Bytes withHandles = ReadFile(dir / "out.wav");
      const CliResult plain = RunCli(dir.path(), {"plain.txt"});
      ASSERT_EQ(plain.exitCode, 0) << plain.out;
      EXPECT_EQ(withHandles, ReadFile(dir / "out.wav"));
      EXPECT_EQ(handles.out.find("Could not generate crossfade"), std::string::npos);
    }
  }
}

// A run and a check print one line for each crossfade with handles; the check warns of one that
// shrank or vanished, naming the take that ran out, and of misplaced lines and fades longer than
// their span. The default crossfade goes to every edit after the first without an `xf` of its own.
TEST(CliHandles, ReportAndCheckLines) {
  const AudioFormat mono{"16-bit mono", 16, 1, false};
  TempDir dir;
  WriteFile(dir / "a.wav", Source(mono, 200, 7));
  WriteFile(dir / "b.wav", Source(mono, 200, 13));
  WriteTextFile(dir / "task.txt",
                "using_samples\nhandles\nxf\t40\t1\n"
                "src\ta.wav\nxout\t190\n"
                "src\tb.wav\nxin\t15\nxout\t115\nfin\t300\t2\n"
                "src\ta.wav\nxin\t1\nxout\t101\n"
                "src\tb.wav\nxout\t100\nxf\t40\t0\n"
                "src\ta.wav\nxout\t1\nxf\t40\t3\nfout\t20\nhandles\n"
                "dest\tout.wav\n");
  const std::string blocks =
      SampleBlock(1, 0, "a.wav", 0, 190, "0.000", "") +
      SampleBlock(2, 190, "b.wav", 15, 100, "0.000",
                  "\tCrossfade with handles 40.000 ms, 25 samples, type 1, destination 175 to "
                  "200 samples, 10 samples from task 1 after the splice, 15 from task 2 before "
                  "it, shrunk from 40 samples\n") +
      SampleBlock(3, 290, "a.wav", 1, 100, "0.000",
                  "\tCrossfade with handles 40.000 ms, 40 samples, type 1, destination 289 to "
                  "329 samples, 39 samples from task 2 after the splice, 1 from task 3 before "
                  "it, moved 19 samples later\n") +
      SampleBlock(4, 390, "b.wav", 0, 100, "0.000", "") +
      SampleBlock(5, 490, "a.wav", 0, 1, "0.000",
                  "\tCrossfade with handles 40.000 ms, 40 samples, type 3: none, the sources "
                  "hold 1 samples for it\n");
  const std::string built = SampleBuilt("out.wav", 491, 16, 1, 1000);
  // The check's blocks are the run's without "\tDone".
  std::string checkBlocks = blocks;
  for (size_t at; (at = checkBlocks.find("\tDone\n")) != std::string::npos;) {
    checkBlocks.erase(at, 6);
  }
  ExpectOutcome(
      RunCli(dir.path(), {"--check", "task.txt"}),
      kSampleMode + ReadEntries(5) +
          "task.txt:3: warning: the crossfade of task 2 shrinks from 40 samples to 25 samples; "
          "b.wav (task 2) has 15 samples before its span, 5 samples short of half the width; "
          "a.wav (task 1) has 10 samples from the splice on, 10 samples short of half the width\n"
          "task.txt:9: warning: the fade in of task 2 is longer than its span (100 samples): it "
          "is shortened to the span\n"
          "task.txt:18: warning: the crossfade of task 5 is left out: the sources hold 1 samples "
          "for it, less than 2 samples; a.wav (task 5) has 0 samples before its span, 20 samples "
          "short of half the width; b.wav (task 4) has 1 samples from the splice on, 19 samples "
          "short of half the width\n"
          "task.txt:19: warning: 'fout' has no type on its line: 'handles' is taken from line "
          "20, and that line's 'handles' command is lost\n"
          "4 warnings, 0 notes\n" +
          checkBlocks +
          "Would build\tout.wav\n\tLength 491 samples\n\tBits 16\n\tChannels 1\n\t"
          "Sample rate 1000\n\n",
      0);
  ExpectOutcome(RunCli(dir.path(), {"task.txt"}), kSampleMode + ReadEntries(5) + blocks + built, 0);

  // Misplaced: `handles` after the first src changes nothing and is warned of.
  WriteTextFile(dir / "task.txt", "src\ta.wav\nhandles\ndest\tout.wav\n");
  EXPECT_NE(RunCli(dir.path(), {"--check", "task.txt"})
                .out.find("task.txt:2: warning: 'handles' counts only before the first 'src'"),
            std::string::npos);
}

// The interview written the obvious way: four appended takes, each after the first with a 200 ms
// crossfade, and `handles`: three full crossfades, none blending with silence, the joins where the
// task puts them and the length the spans give.
TEST(CliHandles, InterviewJoinsWithFullCrossfades) {
  const AudioFormat stereo{"16-bit stereo", 16, 2, false};
  TempDir dir;
  for (int take = 1; take <= 3; ++take) {
    WriteFile(dir / ("take" + std::to_string(take) + ".wav"), Source(stereo, 3000, 5 + take));
  }
  WriteTextFile(dir / "task.txt",
                "handles\n"
                "src\ttake1.wav\nxout\t2\n"
                "src\ttake2.wav\nxin\t0.5\nxout\t2.5\nxf\t200\t1\n"
                "src\ttake3.wav\nxin\t0.3\nxout\t2.8\nxf\t200\t1\n"
                "src\ttake1.wav\nxin\t2.2\nxf\t200\t1\n"
                "dest\tinterview.wav\n");
  const CliResult check =
      RunCli(dir.path(), {"--check", "--json", "plan.json", "--timeline", "plan.svg", "task.txt"});
  EXPECT_EQ(check.exitCode, 0);
  EXPECT_NE(check.out.find("0 warnings"), std::string::npos) << check.out;
  const nlohmann::json plan = nlohmann::json::parse(ReadFile(dir / "plan.json"));
  int full = 0;
  for (const auto& edit : plan["edits"]) {
    if (!edit.contains("crossfade")) continue;
    EXPECT_EQ(edit["crossfade"]["outcome"], "made");
    EXPECT_EQ(edit["crossfade"]["handles"]["frames"], 200);
    ++full;
  }
  EXPECT_EQ(full, 3);
  EXPECT_EQ(plan["destination"]["frames"], 2000 + 2000 + 2500 + 800);
  EXPECT_EQ(plan["edits"][1]["insert_point"], 2000);
  // The timeline draws the sources' audio used beyond the spans: each outgoing take's 100 ms after
  // its span, each incoming take's before it.
  const Bytes svgBytes = ReadFile(dir / "plan.svg");
  const std::string svg(svgBytes.begin(), svgBytes.end());
  for (const char* title : {"Task 1 handle: 0.100 s of take1.wav after its span",
                            "Task 2 handle: 0.100 s of take2.wav before its span",
                            "Task 2 handle: 0.100 s of take2.wav after its span",
                            "Task 3 handle: 0.100 s of take3.wav after its span",
                            "Task 4 handle: 0.100 s of take1.wav before its span"}) {
    EXPECT_NE(svg.find(title), std::string::npos) << title;
  }
  EXPECT_EQ(RunCli(dir.path(), {"task.txt"}).exitCode, 0);
  EXPECT_EQ(AudioOf(ReadFile(dir / "interview.wav")).size(), 7300u * 4);
}

// A fade in is the crossfade of an edit laid over silence with its splice half the fade later; a
// fade out is the crossfade into a silent source ending where the span ends.
TEST(CliHandles, FadesAreCrossfadesWithSilence) {
  const AudioFormat formats[] = {{"16-bit mono", 16, 1, false}, {"24-bit stereo", 24, 2, false}};
  for (const AudioFormat& format : formats) {
    for (int type = 1; type <= 4; ++type) {
      SCOPED_TRACE(std::string(format.name) + ", type " + std::to_string(type));
      TempDir dir;
      WriteFile(dir / "a.wav", Source(format, 200, 7));
      WriteFile(dir / "silence.wav", Source(format, 200, 0));
      const std::string t = std::to_string(type);
      WriteTextFile(dir / "fades.txt",
                    "using_samples\nsrc\ta.wav\nins\t50\nxin\t30\nxout\t150\n"
                    "lvl\t4\nfin\t41\t" +
                        t + "\nfout\t30\t" + t + "\ndest\tout.wav\n");
      // Fade in: the span from 50 + 20 with its crossfade over [50, 91); fade out: silence from 170
      // - 15 with its crossfade over [140, 170).
      WriteTextFile(dir / "plain.txt",
                    "using_samples\nsrc\ta.wav\nins\t70\nxin\t50\nxout\t150\n"
                    "lvl\t4\nxf\t41\t" +
                        t +
                        "\nsrc\tsilence.wav\nins\t155\n"
                        "xin\t15\nxout\t30\nxf\t30\t" +
                        t + "\ndest\tout.wav\n");
      ASSERT_EQ(RunCli(dir.path(), {"fades.txt"}).exitCode, 0);
      const Bytes faded = ReadFile(dir / "out.wav");
      ASSERT_EQ(RunCli(dir.path(), {"plain.txt"}).exitCode, 0);
      EXPECT_EQ(faded, ReadFile(dir / "out.wav"));
    }
  }
}

}  // namespace
}  // namespace wavsplice::testing
