// End-to-end: crossfades with handles. A task with `handles` renders byte for
// byte as the task without it that it stands for: the outgoing edit's span
// extended to the end of the crossfade, the incoming edit's read start and
// insert point moved together, the crossfade shrunk or left out where the
// sources run short. Also the default crossfade before the first src, fades
// in and out, and what the report and the check say of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// A source of `frames` frames at 1000 per second (so that a width in ms is
// a count of frames), its values a pattern of its own (seed).
Bytes Source(const AudioFormat& f, int frames, int seed) {
  const WavFormat header{f.channels, 1000, f.bits, f.isFloat ? 3 : 1};
  const double top = f.isFloat ? 0.9 : (f.bits == 16 ? 30000.0 : 8000000.0);
  std::vector<double> values;
  for (int i = 0; i < frames * f.channels; ++i) {
    values.push_back(top * (((i * seed + 17 * seed) % 199) - 99) / 99.0);
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

// The outgoing edit from a.wav (at +2 dB, so its handle is heard at its
// level), the incoming one from b.wav with a crossfade (at -3 dB); both
// sources hold 200 frames.
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
      {"outgoing runs past the splice", {0, 150, -1}, {50, 150, 100}, 41, 2, {0, 150, 0},
       {50, 150, 100}, 41},
  };
  for (const AudioFormat& format : formats) {
    for (const ZoneCase& c : cases) {
      SCOPED_TRACE(std::string(format.name) + ", " + c.name);
      TempDir dir;
      WriteFile(dir / "a.wav", Source(format, 200, 7));
      WriteFile(dir / "b.wav", Source(format, 200, 13));
      WriteTextFile(dir / "handles.txt", Task(true, c.outgoing, c.incoming, c.width, c.type));
      WriteTextFile(dir / "plain.txt", Task(false, c.plainOutgoing, c.plainIncoming,
                                            c.plainWidth, c.plainWidth == 0 ? 0 : c.type));
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

}  // namespace
}  // namespace wavsplice::testing
