// End-to-end: the machine's WAVSPLICE_KERNELS setting chooses how the samples are computed, never
// what they are. Every setting, a kernel this processor lacks and a setting the program does not
// know among them, writes the same destination and report as the default.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

// Values over the whole range of the width, frame after frame.
std::vector<int32_t> Sweep(int bits, int channels, int32_t frames, int32_t seed) {
  const int64_t span = int64_t{1} << bits;
  std::vector<int32_t> values;
  for (int32_t i = 0; i < frames * channels; ++i) {
    values.push_back(static_cast<int32_t>((i * int64_t{104729} + seed) % span - span / 2));
  }
  return values;
}

// The same for 32-bit float, as the bit patterns of values within +-1.5.
std::vector<int32_t> FloatSweep(int channels, int32_t frames, int32_t seed) {
  std::vector<int32_t> patterns;
  for (int32_t i = 0; i < frames * channels; ++i) {
    const float value = static_cast<float>((i * 7919 + seed) % 3001) / 1000.0f - 1.5f;
    int32_t pattern;
    std::memcpy(&pattern, &value, sizeof pattern);
    patterns.push_back(pattern);
  }
  return patterns;
}

struct Render {
  std::string report;
  Bytes destination;
};

Render RenderWith(const std::string& setting, const WavFormat& format,
                  const std::vector<int32_t>& first, const std::vector<int32_t>& second) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(format, first));
  WriteFile(dir / "b.wav", CanonicalWav(format, second));
  // Spans louder and softer, limited where they pass full scale, joined by crossfades of each
  // curve, over odd run lengths.
  WriteTextFile(dir / "task.txt",
                "using_samples\n"
                "src\ta.wav\nxout\t2999\nlvl\t4.5\n"
                "src\tb.wav\nins\t2500\nxin\t200\nxout\t2777\nlvl\t-3\nxf\t5\t1\n"
                "src\ta.wav\nins\t4700\nxin\t333\nxf\t5\t2\n"
                "src\tb.wav\nins\t6000\nxin\t601\nxout\t1901\nlvl\t-0.5\nxf\t5\t3\n"
                "src\ta.wav\nins\t6800\nxin\t150\nlvl\t9\nxf\t5\t4\n"
                "dest\tout.wav\n");
  const std::string prefix =
      setting.empty() ? "unset WAVSPLICE_KERNELS;" : "export WAVSPLICE_KERNELS='" + setting + "';";
  const CliResult result = RunCli(dir.path(), {}, 60, prefix);
  EXPECT_EQ(result.exitCode, 0) << setting << "\n" << result.out;
  EXPECT_EQ(result.err, "") << setting;
  return {result.out, ReadFile(dir / "out.wav")};
}

TEST(CliKernels, EverySettingWritesTheSameBytes) {
  struct Case {
    const char* what;
    WavFormat format;
    std::vector<int32_t> first;
    std::vector<int32_t> second;
  };
  const Case cases[] = {
      {"16-bit stereo", {2, 44100, 16, 1}, Sweep(16, 2, 4000, 1), Sweep(16, 2, 3000, 7)},
      {"24-bit stereo", {2, 48000, 24, 1}, Sweep(24, 2, 4000, 3), Sweep(24, 2, 3000, 5)},
      {"24-bit 5 channels", {5, 48000, 24, 1}, Sweep(24, 5, 4000, 9), Sweep(24, 5, 3000, 2)},
      {"32-bit float 6 channels",
       {6, 48000, 32, 3},
       FloatSweep(6, 4000, 4),
       FloatSweep(6, 3000, 8)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Render reference = RenderWith("", c.format, c.first, c.second);
    ASSERT_GT(reference.destination.size(), 44u);
    for (const char* setting : {"portable", "avx2", "avx512", "neon", "AVX2"}) {
      const Render render = RenderWith(setting, c.format, c.first, c.second);
      EXPECT_EQ(render.report, reference.report) << setting;
      EXPECT_TRUE(render.destination == reference.destination) << setting;
    }
  }
}

}  // namespace
}  // namespace wavsplice::testing
