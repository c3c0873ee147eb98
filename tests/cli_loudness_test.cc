// End-to-end: the destination's loudness (--loudness), its delivery targets (--target, with
// --strict keeping the old file) and the task's `loudness` line, on tones and speech-like audio
// whose loudness is known, and against FFmpeg's ebur128 filter where FFmpeg is installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kRate = 48000;
const WavFormat kStereo{2, kRate, 16, 1};

// A 16-bit stereo file of seconds of value(n) (a fraction of full scale) on both channels.
template <typename Value>
void WriteStereo(const std::string& path, double seconds, Value value) {
  std::vector<int32_t> values;
  for (int64_t n = 0; n < static_cast<int64_t>(seconds * kRate); ++n) {
    const int32_t sample = static_cast<int32_t>(std::lround(value(n) * 32767.0));
    values.insert(values.end(), {sample, sample});
  }
  WriteFile(path, CanonicalWav(kStereo, values));
}

// A 1 kHz sine whose peak is at dbfs: as loud in LUFS as its peak in dBFS.
void WriteTone(const std::string& path, double seconds, double dbfs) {
  const double amplitude = std::pow(10.0, dbfs / 20.0);
  WriteStereo(path, seconds,
              [=](int64_t n) { return amplitude * std::sin(2 * kPi * 1000.0 * n / kRate); });
}

// The value printed on the block's line that starts with label.
double Printed(const std::string& out, const std::string& label) {
  const std::string::size_type at = out.find("\n\t" + label + " ");
  if (at == std::string::npos) return NAN;
  return std::strtod(out.c_str() + at + label.size() + 3, nullptr);
}

const char kOneTake[] = "src\tprogramme.wav\ndest\tout.wav\n";

TEST(CliLoudness, TargetMissedUnderStrictKeepsTheOldFile) {
  TempDir dir;
  WriteTone(dir / "programme.wav", 5, -20.0);
  WriteTextFile(dir / "task.txt", kOneTake);
  WriteTextFile(dir / "out.wav", "the old destination");

  const CliResult strict = RunCli(dir.path(), {"--target", "podcast", "--strict", "task.txt"});
  EXPECT_EQ(strict.exitCode, 1);
  const std::string verdict =
      "Loudness\tout.wav\n\tIntegrated -20.0 LUFS\n\tRange 0.0 LU\n\tTrue peak -20.0 dBTP\n"
      "\tSample peak -20.0 dBFS\n\tTarget podcast missed: integrated loudness -20.0 LUFS, limits "
      "-17.0 to -15.0 LUFS, needs +4.0 dB\n\n";
  EXPECT_NE(
      strict.out.find("\tDone\n\n" + verdict + "Target podcast missed: out.wav left as it was\n"),
      std::string::npos)
      << strict.out;
  EXPECT_EQ(strict.out.find("Built"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "out.wav"), Bytes({'t', 'h', 'e', ' ', 'o', 'l', 'd', ' ', 'd', 'e', 's',
                                              't', 'i', 'n', 'a', 't', 'i', 'o', 'n'}));
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});

  // Without --strict the destination is written and the run succeeds.
  const CliResult run = RunCli(dir.path(), {"--target", "podcast", "task.txt"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("\tSample rate 48000\n\n" + verdict), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(dir / "out.wav"), ReadFile(dir / "programme.wav"));

  // Met: the tone at -16 dBFS is a podcast's loudness with room for its peak.
  WriteTone(dir / "programme.wav", 5, -16.0);
  const CliResult met = RunCli(dir.path(), {"--target", "podcast", "--strict", "task.txt"});
  EXPECT_EQ(met.exitCode, 0);
  EXPECT_NE(met.out.find("\tSample peak -16.0 dBFS\n\tTarget podcast met\n\n"), std::string::npos)
      << met.out;
}

// --loudness adds the block after the report and the same values to the JSON report; a run without
// it prints nothing of loudness.
TEST(CliLoudness, BlockAndJsonReport) {
  TempDir dir;
  WriteTone(dir / "programme.wav", 3, -23.0);
  WriteTextFile(dir / "task.txt", kOneTake);
  const CliResult plain = RunCli(dir.path(), {"--json", "plain.json", "task.txt"});
  EXPECT_EQ(plain.out.find("Loudness"), std::string::npos);
  EXPECT_FALSE(nlohmann::json::parse(ReadFile(dir / "plain.json")).contains("loudness"));

  const CliResult run = RunCli(dir.path(), {"--loudness", "--json", "report.json", "task.txt"});
  EXPECT_EQ(run.exitCode, 0);
  const std::string::size_type built = run.out.find("Built\tout.wav\n");
  ASSERT_NE(built, std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(run.out.find("\n\n", built) + 2),
            "Loudness\tout.wav\n\tIntegrated -23.0 LUFS\n\tRange 0.0 LU\n\tTrue peak -23.0 dBTP\n"
            "\tSample peak -23.0 dBFS\n\n");
  const nlohmann::json loudness = nlohmann::json::parse(ReadFile(dir / "report.json"))["loudness"];
  EXPECT_NEAR(loudness["integrated_lufs"].get<double>(), -23.0, 0.05);
  EXPECT_NEAR(loudness["range_lu"].get<double>(), 0.0, 0.05);
  EXPECT_NEAR(loudness["true_peak_dbtp"].get<double>(), -23.0, 0.05);
  EXPECT_NEAR(loudness["sample_peak_dbfs"].get<double>(), -23.0, 0.05);
}

// Four takes recorded 12 dB apart, matched by the task's `loudness` line, make a programme at its
// loudness; the check shows the matched levels and warns of a span too quiet to measure and of a
// peak the level pushes past full scale.
TEST(CliLoudness, LoudnessLineMatchesTakes) {
  TempDir dir;
  std::string task = "loudness\t-16\n";
  for (int take = 0; take < 4; ++take) {
    const std::string name = "take" + std::to_string(take + 1) + ".wav";
    WriteTone(dir / name, 3, -3.0 - 12.0 * take);
    task += "src\t" + name + "\n";
  }
  WriteTextFile(dir / "task.txt", task + "dest\tout.wav\n");
  const CliResult run = RunCli(dir.path(), {"--loudness", "task.txt"});
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NEAR(Printed(run.out, "Integrated"), -16.0, 0.5) << run.out;
  // Each take's level brings its 1 kHz tone (-0.01 LUFS from its peak) to -16.
  std::string::size_type at = 0;
  for (const double level : {-13.01, -1.01, 10.99, 22.99}) {
    at = run.out.find("\tLevel ", at);
    ASSERT_NE(at, std::string::npos) << run.out;
    at += 7;
    EXPECT_NEAR(std::strtod(run.out.c_str() + at, nullptr), level, 0.015) << run.out;
  }

  // A silent take keeps 0 dB; a quiet take with one loud click is raised past full scale; a take
  // with its own level keeps it.
  WriteStereo(dir / "silence.wav", 1, [](int64_t) { return 0.0; });
  WriteStereo(dir / "click.wav", 3, [](int64_t n) {
    return n == 1000 ? 0.9 : 0.03 * std::sin(2 * kPi * 1000.0 * n / kRate);
  });
  WriteTextFile(dir / "check.txt",
                "loudness\t-16\nsrc\tsilence.wav\nsrc\tclick.wav\nsrc\ttake1.wav\nlvl\t-2\n"
                "dest\tout.wav\n");
  const CliResult check = RunCli(dir.path(), {"--check", "check.txt"});
  EXPECT_EQ(check.exitCode, 0);
  EXPECT_NE(check.out.find("check.txt:2: warning: Task 1 is too quiet to measure its loudness: "
                           "its level stays 0 dB\n"
                           "check.txt:3: warning: Task 2's level of +14.42 dB takes its peak of "
                           "-0.92 dBFS past full scale, to +13.50 dBFS\n2 warnings, 0 notes\n"),
            std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find("\tLevel 14.420 dB\n"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("\tLevel -2.000 dB\n"), std::string::npos) << check.out;
  const CliResult render = RunCli(dir.path(), {"check.txt"});
  EXPECT_EQ(render.exitCode, 0);
  EXPECT_EQ(render.out.find("\nRead 3 entries in task file\n\nTask 1 is too quiet to measure its "
                            "loudness: its level stays 0 dB\n"),
            0u)
      << render.out;
}

// A minute of speech-like audio: syllables of a voiced buzz and noise at four or five a second,
// phrases with pauses, and the integrated loudness agrees with FFmpeg's ebur128 filter.
TEST(CliLoudness, SpeechAgreesWithFfmpeg) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  std::mt19937 random(25);
  std::normal_distribution<double> noise(0.0, 1.0);
  WriteStereo(dir / "programme.wav", 60, [&](int64_t n) {
    const double t = static_cast<double>(n) / kRate;
    const double phrase = std::fmod(t, 6.0) < 4.5 ? 1.0 : 0.02;
    const double syllable = 0.5 - 0.5 * std::cos(2 * kPi * 4.3 * t);
    const double pitch = 140.0 + 30.0 * std::sin(2 * kPi * 0.7 * t);
    double voice = 0;
    for (int harmonic = 1; harmonic <= 8; ++harmonic) {
      voice += std::sin(2 * kPi * pitch * harmonic * t) / harmonic;
    }
    return phrase * syllable * (0.15 * voice + 0.03 * noise(random));
  });
  WriteTextFile(dir / "task.txt", kOneTake);
  const CliResult run = RunCli(dir.path(), {"--loudness", "--json", "report.json", "task.txt"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  const double ours =
      nlohmann::json::parse(ReadFile(dir / "report.json"))["loudness"]["integrated_lufs"];

  const std::string command = "ffmpeg -hide_banner -nostats -i '" + (dir / "out.wav") +
                              "' -af ebur128 -f null - 2>&1 | sed -n 's/^ *I: *//p' | tail -1 > '" +
                              (dir / "ffmpeg.txt") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const Bytes text = ReadFile(dir / "ffmpeg.txt");
  const double theirs = std::strtod(std::string(text.begin(), text.end()).c_str(), nullptr);
  ASSERT_LT(theirs, -5.0) << "FFmpeg printed: " << std::string(text.begin(), text.end());
  EXPECT_NEAR(ours, theirs, 0.1);
}

}  // namespace
}  // namespace wavsplice::testing
