// End-to-end: cut lists. An edit with `cut` lines renders byte for byte as the appended pieces a
// person would write by hand; with a default crossfade, as the handles task of those pieces. Label
// files (`cuts`, `keeps`) read as their regions, with their errors on their own lines; and what the
// check, the JSON and the timeline say of the pieces.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

// A 16-bit stereo source at 1000 frames a second, so that a width in ms is a count of frames, its
// values a pattern of its own.
Bytes Source(int frames, int seed) {
  std::vector<int32_t> values;
  for (int i = 0; i < frames * 2; ++i) values.push_back(((i * seed + 17 * seed) % 199 - 99) * 300);
  return CanonicalWav({2, 1000, 16, 1}, values);
}

using Pieces = std::vector<std::pair<int, int>>;  // xin, xout in samples

// The pieces as edits of b.wav, each with the lines extra.
std::string PieceLines(const Pieces& pieces, const std::string& extra = "") {
  std::string text;
  for (const auto& piece : pieces) {
    text += "src\tb.wav\nxin\t" + std::to_string(piece.first) + "\nxout\t" +
            std::to_string(piece.second) + "\n" + extra;
  }
  return text;
}

struct RegionCase {
  const char* name;
  const char* edit;  // the lines after `src b.wav`
  Pieces pieces;     // what a person writes by hand instead
};

const RegionCase kRegionCases[] = {
    {"one cut", "cut\t50\t80\n", {{0, 50}, {80, 200}}},
    {"overlapping cuts merge", "cut\t50\t80\ncut\t70\t100\n", {{0, 50}, {100, 200}}},
    {"touching cuts merge", "cut\t50\t80\ncut\t80\t95\n", {{0, 50}, {95, 200}}},
    {"cuts in any order", "cut\t120\t135\ncut\t20\t40\n", {{0, 20}, {40, 120}, {135, 200}}},
    {"a cut at the span's start", "xin\t10\nxout\t190\ncut\t0\t40\n", {{40, 190}}},
    {"a cut at the span's end", "xin\t10\nxout\t190\ncut\t150\t250\n", {{10, 150}}},
    {"outside and reversed are ignored", "xout\t190\ncut\t195\t199\ncut\t60\t50\n", {{0, 190}}},
    {"cuts inside a trimmed span",
     "xin\t20\nxout\t180\ntrim\t-20\ncut\t100\t130\n",
     {{20, 100}, {130, 160}}},
};

CliResult Render(const TempDir& dir, const std::string& name, const std::string& task) {
  WriteTextFile(dir / name, task);
  return RunCli(dir.path(), {name});
}

TEST(CliCuts, HardJoinsRenderAsTheHandWrittenPieces) {
  for (const RegionCase& c : kRegionCases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteFile(dir / "a.wav", Source(200, 7));
    WriteFile(dir / "b.wav", Source(200, 13));
    // An edit before (so that the first piece goes where the edit goes) and an appended one after
    // (which moves up by what was cut).
    const std::string before = "using_samples\nsrc\ta.wav\nxout\t40\n";
    const std::string after = "src\ta.wav\nxin\t100\nxout\t150\ndest\tout.wav\n";
    const CliResult cut =
        Render(dir, "cut.txt", before + "src\tb.wav\n" + c.edit + "lvl\t-2\n" + after);
    ASSERT_EQ(cut.exitCode, 0) << cut.out;
    const Bytes withCuts = ReadFile(dir / "out.wav");
    const CliResult hand =
        Render(dir, "hand.txt", before + PieceLines(c.pieces, "lvl\t-2\n") + after);
    ASSERT_EQ(hand.exitCode, 0) << hand.out;
    EXPECT_EQ(withCuts, ReadFile(dir / "out.wav"));
  }
}

TEST(CliCuts, CrossfadedJoinsRenderAsTheHandlesTaskOfThePieces) {
  for (const int width : {10, 21}) {
    for (const RegionCase& c : kRegionCases) {
      SCOPED_TRACE(std::string(c.name) + ", width " + std::to_string(width));
      TempDir dir;
      WriteFile(dir / "b.wav", Source(200, 13));
      const std::string xf = "xf\t" + std::to_string(width) + "\t1\n";
      // No `handles` line: a join takes its material as handles do anyway.
      const CliResult cut = Render(
          dir, "cut.txt", "using_samples\n" + xf + "src\tb.wav\n" + c.edit + "dest\tout.wav\n");
      ASSERT_EQ(cut.exitCode, 0) << cut.out;
      EXPECT_EQ(cut.out.find("Could not generate crossfade"), std::string::npos) << cut.out;
      const Bytes withCuts = ReadFile(dir / "out.wav");
      const CliResult hand =
          Render(dir, "hand.txt",
                 "using_samples\nhandles\n" + xf + PieceLines(c.pieces) + "dest\tout.wav\n");
      ASSERT_EQ(hand.exitCode, 0) << hand.out;
      EXPECT_EQ(withCuts, ReadFile(dir / "out.wav"));
    }
  }
}

// Seconds, as an editor exports them; a frequency line after a label with a frequency range, a
// point label, a blank line and CR LF line ends.
constexpr char kLabels[] =
    "0.500000\t0.750000\tum\r\n"
    "\\\t120.000000\t800.000000\r\n"
    "1.200000\t1.200000\tlevel?\r\n"
    "\r\n"
    "2.000000\t2.100000\t\r\n";

TEST(CliCuts, LabelFilesReadAsTheirRegions) {
  TempDir dir;
  WriteFile(dir / "b.wav", Source(3000, 13));
  WriteTextFile(dir / "ums.labels", kLabels);
  const struct {
    const char* name;
    const char* fromLabels;
    const char* byHand;
  } cases[] = {
      {"cuts", "src\tb.wav\ncuts\tums.labels\n", "src\tb.wav\ncut\t0.5\t0.75\ncut\t2\t2.1\n"},
      {"keeps", "src\tb.wav\nkeeps\tums.labels\n",
       "src\tb.wav\nxin\t0.5\nxout\t0.75\nsrc\tb.wav\nxin\t2\nxout\t2.1\n"},
      {"keeps with a cut inside one",
       "using_samples\nsrc\tb.wav\nkeeps\tums.labels\ncut\t600\t650\n",
       "using_samples\nsrc\tb.wav\nxin\t500\nxout\t600\n"
       "src\tb.wav\nxin\t650\nxout\t750\n"
       "src\tb.wav\nxin\t2000\nxout\t2100\n"},
      {"cuts in sample mode", "using_samples\nsrc\tb.wav\ncuts\tums.labels\n",
       "using_samples\nsrc\tb.wav\ncut\t500\t750\ncut\t2000\t2100\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CliResult labels =
        Render(dir, "labels.txt", std::string(c.fromLabels) + "dest\tout.wav\n");
    ASSERT_EQ(labels.exitCode, 0) << labels.out;
    const Bytes fromLabels = ReadFile(dir / "out.wav");
    const CliResult hand = Render(dir, "hand.txt", std::string(c.byHand) + "dest\tout.wav\n");
    ASSERT_EQ(hand.exitCode, 0) << hand.out;
    EXPECT_EQ(fromLabels, ReadFile(dir / "out.wav"));
  }
  const CliResult check = RunCli(dir.path(), {"--check", "labels.txt"});
  EXPECT_NE(check.out.find("labels.txt:3: note: ums.labels:3 marks a point at 1.200000 s, not a "
                           "region: it is left out\n"),
            std::string::npos)
      << check.out;
}

TEST(CliCuts, LabelFileErrorsNameTheirLineAndWriteNothing) {
  const struct {
    const char* name;
    const char* labels;  // nullptr: no label file
    const char* message;
  } cases[] = {
      {"missing", nullptr, "task.txt:2: error: cannot read label file ums.labels\n"},
      {"no tab", "0.5\t0.7\tum\nhello\n",
       "ums.labels:2: error: this line is no label: write START, a tab, END and a tab before the "
       "text, in seconds\n"},
      {"a comma", "0,5\t0,7\tum\n",
       "ums.labels:1: error: '0,5' is no time in seconds: write it with a period, as 12.5\n"},
      {"a clock time", "0.5\t0:07\tum\n",
       "ums.labels:1: error: '0:07' is no time in seconds: write it with a period, as 12.5\n"},
      {"negative", "\\\t1\t2\n-1\t0.7\tum\n",
       "ums.labels:2: error: '-1' is no time in seconds: write it with a period, as 12.5\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteFile(dir / "b.wav", Source(1000, 13));
    if (c.labels != nullptr) WriteTextFile(dir / "ums.labels", c.labels);
    const CliResult result =
        Render(dir, "task.txt", "src\tb.wav\ncuts\tums.labels\ndest\tout.wav\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1), c.message);
    EXPECT_FALSE(FileExists(dir / "out.wav"));
  }
}

TEST(CliCuts, CheckReportsEveryPieceAndWhatTheCutsRemove) {
  TempDir dir;
  WriteFile(dir / "talk.wav", Source(3000, 13));
  WriteTextFile(dir / "task.txt",
                "xf\t20\t1\nsrc\ttalk.wav\nxin\t0.2\ncut\t0.5\t0.6\ncut\t1\t1.004\n"
                "cut\t2.5\t2.4\ncut\t4\t5\ndest\tout.wav\n");
  const CliResult check = RunCli(dir.path(), {"--check", "task.txt"});
  EXPECT_EQ(check.exitCode, 0);
  EXPECT_EQ(check.out,
            "\nRead 1 entries in task file\n\n"
            "task.txt:2: note: 2 cuts remove 0.104 s of talk.wav\n"
            "task.txt:5: warning: the cut 1.000 to 1.004 of task 1 is 0.004 s long, shorter than "
            "the crossfade of its join needs (0.010 s on each side): the crossfade shrinks from "
            "0.020 s to 0.008 s\n"
            "task.txt:6: warning: the cut 2.500 to 2.400 of task 1 ends at or before its start "
            "(2.500 s to 2.400 s): it is ignored\n"
            "task.txt:7: warning: the cut 4.000 to 5.000 of task 1 lies outside the span (0.200 s "
            "to 3.000 s in the source): it is ignored\n"
            "3 warnings, 1 notes\n"
            "Task 1 piece 1\tInsert point 0.000 sec\n\tFile talk.wav\n\tRead start 0.200 sec\n"
            "\tRead length 0.300 sec\n\tLevel 0.000 dB\n\n"
            "Task 1 piece 2\tInsert point 0.300 sec\n\tFile talk.wav\n\tRead start 0.600 sec\n"
            "\tRead length 0.400 sec\n\tLevel 0.000 dB\n\tCut 0.500 to 0.600 sec (line 4)\n"
            "\tCrossfade with handles 20.000 ms, 20 samples, type 1, destination 0.290 to 0.310 "
            "sec, 10 samples from task 1 piece 1 after the splice, 10 from task 1 piece 2 before "
            "it\n\n"
            "Task 1 piece 3\tInsert point 0.700 sec\n\tFile talk.wav\n\tRead start 1.004 sec\n"
            "\tRead length 1.996 sec\n\tLevel 0.000 dB\n\tCut 1.000 to 1.004 sec (line 5)\n"
            "\tCrossfade with handles 20.000 ms, 8 samples, type 1, destination 0.696 to 0.704 "
            "sec, 4 samples from task 1 piece 2 after the splice, 4 from task 1 piece 3 before "
            "it, shrunk from 20 samples\n\n"
            "Would build\tout.wav\n\tLength 2.696 sec\n\tBits 16\n\tChannels 2\n\tSample rate "
            "1000\n\n");
}

TEST(CliCuts, JsonAndTimelineShowThePiecesOfOneEdit) {
  TempDir dir;
  WriteFile(dir / "b.wav", Source(3000, 13));
  WriteTextFile(dir / "ums.labels", kLabels);
  WriteTextFile(
      dir / "task.txt",
      "src\tb.wav\ncuts\tums.labels\ncut\t1.5\t1.6\nsrc\tb.wav\nxout\t0.1\ndest\tout.wav\n");
  const CliResult check =
      RunCli(dir.path(), {"--check", "--json", "plan.json", "--timeline", "plan.svg", "task.txt"});
  ASSERT_EQ(check.exitCode, 0) << check.out;
  const nlohmann::json plan = nlohmann::json::parse(
      std::string(reinterpret_cast<const char*>(ReadFile(dir / "plan.json").data()),
                  ReadFile(dir / "plan.json").size()));
  const nlohmann::json& edits = plan["edits"];
  ASSERT_EQ(edits.size(), 5u);
  EXPECT_EQ(edits[0]["task"], 1);
  EXPECT_EQ(edits[0]["piece"], 1);
  EXPECT_EQ(edits[0]["pieces"], 4);
  EXPECT_EQ(edits[0]["cuts"].size(), 3u);
  EXPECT_EQ(edits[0]["cuts"][0]["label_file"], "ums.labels");
  EXPECT_EQ(edits[0]["cuts"][1]["label_line"], 5);
  EXPECT_EQ(edits[0]["cuts"][2]["line"], 3);
  EXPECT_EQ(edits[0]["cuts"][2]["start_frame"], 1500);
  EXPECT_EQ(edits[2]["cut_before"],
            nlohmann::json({{"line", 3}, {"start_frame", 1500}, {"end_frame", 1600}}));
  EXPECT_EQ(edits[4]["task"], 2);
  EXPECT_EQ(edits[4]["insert_point"], 2550);
  const Bytes svgBytes = ReadFile(dir / "plan.svg");
  const std::string svg(svgBytes.begin(), svgBytes.end());
  EXPECT_NE(svg.find("Plan of out.wav: 2 edits in write order"), std::string::npos);
  EXPECT_NE(svg.find("Task 1  b.wav  0.000-3.000  +0.0 dB  4 pieces"), std::string::npos);
  EXPECT_NE(svg.find("<title>Task 1 cut: 1.500-1.600 s of the source (line 3)</title>"),
            std::string::npos);
}

TEST(CliCuts, RefusesWhatLeavesNothing) {
  TempDir dir;
  WriteFile(dir / "b.wav", Source(1000, 13));
  const CliResult result = Render(dir, "task.txt",
                                  "using_samples\nsrc\tb.wav\nxin\t100\nxout\t300\ncut\t0\t200\n"
                                  "cut\t200\t400\ndest\tout.wav\n");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find("Cuts leave nothing of b.wav\n"), std::string::npos) << result.out;
  EXPECT_FALSE(FileExists(dir / "out.wav"));
}

}  // namespace
}  // namespace wavsplice::testing
