// End-to-end: the options around a run. --check and a refused --strict leave the folder exactly as
// it was; --strict on a clean task is a plain run; --timeline writes an SVG that parses and
// renders; --json writes a report that parses back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

namespace fs = std::filesystem;

const WavFormat kMono8k{1, 8000, 16};

// Two one-second takes; the task appends the second with a crossfade (a warning) over an existing
// destination.
void WriteAppendedTask(const TempDir& dir) {
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, std::vector<int32_t>(8000, 1000)));
  WriteFile(dir / "b.wav", CanonicalWav(kMono8k, std::vector<int32_t>(8000, -1000)));
  WriteFile(dir / "out.wav", CanonicalWav(kMono8k, {7, 7, 7}));
  WriteTextFile(dir / "task.txt",
                "src\ta.wav\nxout\t0.5\nsrc\tb.wav\nxin\t0.5\nxf\t100\t1\ndest\tout.wav\n");
}

const char kAppendedCheck[] =
    "\nRead 2 entries in task file\n\n"
    "task.txt:5: warning: the crossfade of task 2 blends with silence after the splice, so the "
    "edit starts below its level: no earlier edit covers the destination there; an 'ins' of "
    "0.450 overlaps the earlier edit by half the width\n"
    "1 warnings, 0 notes\n"
    "Task 1\tInsert point 0.000 sec\n\tFile a.wav\n\tRead start 0.000 sec\n"
    "\tRead length 0.500 sec\n\tLevel 0.000 dB\n\n"
    "Task 2\tInsert point 0.500 sec\n\tFile b.wav\n\tRead start 0.500 sec\n"
    "\tRead length 0.500 sec\n\tLevel 0.000 dB\n"
    "\tCrossfade 100.000 ms, 800 samples, type 1, destination 0.450 to 0.550 sec: will be made, "
    "with "
    "silence\n\n"
    "Would build\tout.wav\n\tLength 1.000 sec\n\tBits 16\n\tChannels 1\n\tSample rate 8000\n\n";

TEST(CliCheck, CheckAndRefusedStrictLeaveTheFolderAsItWas) {
  TempDir dir;
  WriteAppendedTask(dir);
  const auto before = FolderSnapshot(dir.path());
  ExpectOutcome(RunCli(dir.path(), {"--check", "task.txt"}), kAppendedCheck, 0);
  EXPECT_EQ(FolderSnapshot(dir.path()), before);
  ExpectOutcome(RunCli(dir.path(), {"--strict", "task.txt"}), kAppendedCheck, 1);
  EXPECT_EQ(FolderSnapshot(dir.path()), before);
  // A refused --strict writes its report files, with the reasons, and nothing else.
  ExpectOutcome(
      RunCli(dir.path(), {"--strict", "--json", "r.json", "--timeline", "t.svg", "task.txt"}),
      kAppendedCheck, 1);
  EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "r.json"))["diagnostics"].size(), 1u);
  EXPECT_TRUE(FileExists(dir / "t.svg"));
  fs::remove(dir / "r.json");
  fs::remove(dir / "t.svg");
  EXPECT_EQ(FolderSnapshot(dir.path()), before);
}

TEST(CliCheck, StrictOnACleanTaskIsAPlainRun) {
  TempDir dir;
  WriteAppendedTask(dir);
  WriteTextFile(dir / "task.txt",
                "src\ta.wav\nxout\t0.55\nsrc\tb.wav\nxin\t0.5\nins\t0.5\nxf\t100\t1\ndest\tout."
                "wav\n");
  const CliResult plain = RunCli(dir.path(), {"task.txt"});
  const Bytes rendered = ReadFile(dir / "out.wav");
  fs::remove(dir / "out.wav");
  const CliResult strict = RunCli(dir.path(), {"--strict", "task.txt"});
  ExpectOutcome(strict, plain.out, 0);
  EXPECT_EQ(ReadFile(dir / "out.wav"), rendered);
  EXPECT_NE(plain.out.find("Built\tout.wav"), std::string::npos);
}

TEST(CliCheck, Version) {
  TempDir dir;
  ExpectOutcome(RunCli(dir.path(), {"--version"}), "wavsplice " WAVSPLICE_VERSION "\n", 0);
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

TEST(CliCheck, TimelineIsValidSvgWithTheSameBytesEveryTime) {
  TempDir dir;
  WriteAppendedTask(dir);
  // Three edits, and three hundred.
  std::string many;
  for (int i = 0; i < 300; ++i) {
    many += "src\ta.wav\nxin\t0.1\nxout\t0.2\n";
    if (i % 7 == 3) many += "xf\t20\t2\n";
  }
  WriteTextFile(dir / "many.txt", many + "dest\tmany.wav\n");
  for (const char* task : {"task.txt", "many.txt"}) {
    SCOPED_TRACE(task);
    const CliResult first = RunCli(dir.path(), {"--check", "--timeline", "plan.svg", task});
    EXPECT_EQ(first.exitCode, 0) << first.out;
    const Bytes svg = ReadFile(dir / "plan.svg");
    ASSERT_FALSE(svg.empty());
    RunCli(dir.path(), {"--check", "--timeline", "again.svg", task});
    EXPECT_EQ(ReadFile(dir / "again.svg"), svg);
    EXPECT_EQ(Shell("cd '" + dir.path() +
                    "' && python3 -c 'import sys, xml.dom.minidom as m; "
                    "d = m.parse(\"plan.svg\"); sys.exit(d.documentElement.tagName != \"svg\")'"),
              0);
    EXPECT_EQ(Shell("cd '" + dir.path() +
                    "' && rsvg-convert -w 1200 plan.svg -o plan.png 2> rsvg.err && test ! -s "
                    "rsvg.err"),
              0);
  }
}

TEST(CliCheck, JsonReportParsesBack) {
  TempDir dir;
  WriteAppendedTask(dir);
  const CliResult run = RunCli(dir.path(), {"--json", "report.json", "task.txt"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  nlohmann::json report = nlohmann::json::parse(ReadFile(dir / "report.json"));
  EXPECT_EQ(report["version"], WAVSPLICE_VERSION);
  EXPECT_EQ(report["task_file"], "task.txt");
  EXPECT_EQ(report["check"], false);
  EXPECT_EQ(report["units"], "seconds");
  EXPECT_EQ(report["format"]["sample_rate"], 8000);
  EXPECT_EQ(report["destination"]["path"], "out.wav");
  EXPECT_EQ(report["destination"]["frames"], 8000);
  ASSERT_EQ(report["edits"].size(), 2u);
  nlohmann::json& second = report["edits"][1];
  EXPECT_EQ(second["task"], 2);
  EXPECT_EQ(second["line"], 3);
  EXPECT_EQ(second["given"]["xin"], 0.5);
  EXPECT_EQ(second["given"]["ins"], "app");
  EXPECT_EQ(second["read_start"], 4000);
  EXPECT_EQ(second["insert_point"], 4000);
  EXPECT_EQ(second["crossfade"]["frames"], 800);
  EXPECT_EQ(second["crossfade"]["outcome"], "made, with silence");
  EXPECT_EQ(second["clipped"], 0);
  EXPECT_EQ(report["diagnostics"][0]["line"], 5);
  EXPECT_EQ(report["diagnostics"][0]["kind"], "warning");
  EXPECT_EQ(report["exit_status"], 0);

  // A failed check: the message and status, and a path that is not UTF-8 written with its invalid
  // bytes replaced and a note.
  WriteTextFile(dir / "task.txt", "src\tcaf\xE9.wav\ndest\tout.wav\n");
  const CliResult check = RunCli(dir.path(), {"--check", "--json", "report.json", "task.txt"});
  EXPECT_EQ(check.exitCode, 2);
  nlohmann::json failed = nlohmann::json::parse(ReadFile(dir / "report.json"));
  EXPECT_EQ(failed["check"], true);
  EXPECT_EQ(failed["exit_status"], 2);
  EXPECT_EQ(failed["edits"][0]["source"], "caf\xEF\xBF\xBD.wav");
  EXPECT_EQ(failed["messages"][0], "Cannot find file in track list called caf\xEF\xBF\xBD.wav!!");
  EXPECT_EQ(failed["diagnostics"].back()["kind"], "note");
}

// A plain run that a person watches (standard error a terminal, or --warnings) shows the check's
// warnings on standard error; options after the task file count, so a dry run asked for last is
// still a dry run.
TEST(CliCheck, WarningsReachThePersonWatching) {
  TempDir dir;
  WriteFile(dir / "a.wav", CanonicalWav(kMono8k, std::vector<int32_t>(8000, 1000)));
  WriteTextFile(dir / "task.txt", "src\ta.wav\nscr\ta.wav\nsrc\ta.wav\nxin\t0,4\ndest\tout.wav\n");
  const auto before = FolderSnapshot(dir.path());
  ExpectOutcome(RunCli(dir.path(), {"task.txt", "--check"}),
                RunCli(dir.path(), {"--check", "task.txt"}).out, 0);
  EXPECT_EQ(FolderSnapshot(dir.path()), before);

  const std::string warnings =
      "task.txt:2: warning: 'scr' is not a command: the line is ignored and the commands below it "
      "go to the edit before; did you mean 'src'?\n"
      "task.txt:4: warning: '0,4' is not a number: it is read as 0; write '0.4' with a period\n";
  const std::string count = "2 warnings: 'wavsplice --check task.txt' shows the plan\n";
  const CliResult plain = RunCli(dir.path(), {"task.txt"});
  const CliResult logged = RunCli(dir.path(), {"task.txt", "--warnings"});
  EXPECT_EQ(plain.err, "");
  EXPECT_EQ(logged.out, plain.out);
  EXPECT_EQ(logged.err, warnings + count);
  // Under a pseudo-terminal both streams reach the screen: the warnings before the edits are
  // written, the count after the report.
  if (std::system("command -v script > /dev/null") != 0) GTEST_SKIP() << "no script here";
  const std::string screen = dir / "screen.txt";
  const std::string command = "cd '" + dir.path() + "' && script -q -e -c \"" +
                              ProgramCommand(WavspliceBinary()) + " task.txt\" /dev/null > '" +
                              screen + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const Bytes bytes = ReadFile(screen);
  std::string shown(bytes.begin(), bytes.end());
  shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
  const std::string read = ReadEntries(2);
  ASSERT_EQ(plain.out.substr(0, read.size()), read);
  EXPECT_EQ(shown, read + warnings + plain.out.substr(read.size()) + count);
}

}  // namespace
}  // namespace wavsplice::testing
