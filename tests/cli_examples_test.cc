// Checks, then renders with --strict, the bundled example and every recipe under examples/recipes,
// with the sources that make_example_sources writes, as a user following the guide would: each
// check must be free of warnings and each run must build its destination with every crossfade
// placed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli_expected.h"
#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

namespace fs = std::filesystem;

struct Expected {
  std::string destination;
  std::string length;  // as the report prints it
  int bits;
  int channels;
  int sampleRate;
  long long frames;
};

// The destination of each task file, as its final report describes it.
const std::map<std::string, Expected>& ExpectedResults() {
  static const std::map<std::string, Expected> results = {
      {"task.txt", {"programme.wav", "6.300 sec", 16, 2, 44100, 277830}},
      {"assemble.txt", {"programme.wav", "8.500 sec", 16, 2, 44100, 374850}},
      {"replace.txt", {"replaced.wav", "8.000 sec", 16, 2, 44100, 352800}},
      {"insert.txt", {"inserted.wav", "10.000 sec", 16, 2, 44100, 441000}},
      {"level.txt", {"levelled.wav", "8.000 sec", 16, 2, 44100, 352800}},
      {"samples.txt", {"bells.wav", "68000 samples", 24, 1, 48000, 68000}},
      {"deliver.txt", {"delivered.wav", "8.500 sec", 16, 2, 44100, 374850}},
      {"remove-ums.txt", {"cleaned.wav", "7.050 sec", 16, 2, 44100, 310904}},
  };
  return results;
}

std::string BuiltBlock(const Expected& expected) {
  return "Built\t" + expected.destination + "\n\tLength " + expected.length + "\n\tBits " +
         std::to_string(expected.bits) + "\n\tChannels " + std::to_string(expected.channels) +
         "\n\tSample rate " + std::to_string(expected.sampleRate) + "\n\n";
}

std::string ExampleSourcesTool() {
  return (fs::path(WavspliceBinary()).parent_path() / "make_example_sources").string();
}

void RenderAndCheck(const fs::path& taskFile) {
  SCOPED_TRACE(taskFile.string());
  const std::string name = taskFile.filename().string();
  const auto expected = ExpectedResults().find(name);
  if (expected == ExpectedResults().end()) {
    ADD_FAILURE() << "no expected result for " << name << ": add it to ExpectedResults";
    return;
  }
  TempDir dir;
  const std::string generate = ProgramCommand(ExampleSourcesTool()) + " '" + dir.path() + "'";
  ASSERT_EQ(std::system(generate.c_str()), 0) << generate;
  fs::copy_file(taskFile, dir / name);

  // The recipes are clean: the check finds no warning, and --strict renders.
  const CliResult check = RunCli(dir.path(), {"--check", name});
  EXPECT_EQ(check.exitCode, 0) << check.out;
  EXPECT_NE(check.out.find("\n0 warnings, "), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("\nWould build\t" + expected->second.destination), std::string::npos);
  EXPECT_FALSE(FileExists(dir / expected->second.destination));

  const CliResult result = RunCli(dir.path(), {"--strict", name});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(result.err, "");
  const std::string::size_type built = result.out.find("Built\t");
  ASSERT_NE(built, std::string::npos) << result.out;
  EXPECT_EQ(result.out.substr(built), BuiltBlock(expected->second));
  // Every recipe leaves audio on both sides of its splices, so no crossfade may fail, and a placed
  // crossfade removes its scratch file.
  EXPECT_EQ(result.out.find("Could not generate crossfade"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("Clipped"), std::string::npos) << result.out;
  EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
  const Bytes destination = ReadFile(dir / expected->second.destination);
  const Expected& format = expected->second;
  EXPECT_EQ(static_cast<long long>(destination.size()),
            44 + format.frames * format.channels * (format.bits / 8));
}

TEST(CliExamples, BundledExampleAndEveryRecipeRender) {
  const fs::path examples = fs::path(WAVSPLICE_SOURCE_DIR) / "examples";
  RenderAndCheck(examples / "task.txt");
  int recipes = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(examples / "recipes")) {
    if (entry.path().extension() != ".txt") continue;
    RenderAndCheck(entry.path());
    ++recipes;
  }
  EXPECT_EQ(recipes, 7);
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The guide shows every recipe's commands (without its note lines) as one block, so that what a
// reader copies is what the tests render.
TEST(CliExamples, GuideShowsEveryRecipeAsItIs) {
  const fs::path root(WAVSPLICE_SOURCE_DIR);
  const std::string guide = ReadText(root / "docs" / "task-file.md");
  for (const fs::directory_entry& entry : fs::directory_iterator(root / "examples" / "recipes")) {
    if (entry.path().extension() != ".txt") continue;
    std::istringstream lines(ReadText(entry.path()));
    std::string commands;
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("#", 0) != 0) commands += line + "\n";
    }
    EXPECT_NE(guide.find("```\n" + commands + "```\n"), std::string::npos)
        << entry.path().filename() << " is not in docs/task-file.md as:\n"
        << commands;
  }
}

// The task files the manual page and the README show are the bundled example, which the test above
// checks and renders clean: the manual page through commands that write its tabs (a copy from a
// manual page turns tabs into spaces), the README as a block.
TEST(CliExamples, ManPageAndReadmeShowTheBundledExample) {
  const fs::path root(WAVSPLICE_SOURCE_DIR);
  const std::string example = ReadText(root / "examples" / "task.txt");
  EXPECT_NE(ReadText(root / "README.md").find("```\n" + example + "```\n"), std::string::npos);
  if (std::system("command -v man > /dev/null") != 0) GTEST_SKIP() << "no man here";
  TempDir dir;
  const std::string command = "cd '" + dir.path() + "' && MANWIDTH=200 man -l '" +
                              (root / "docs" / "wavsplice.1").string() +
                              "' 2>/dev/null | sed -n 's/^ *\\$ \\(printf .*\\)/\\1/p' | sh";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(ReadText(dir / "task.txt"), example);
}

// Every task file the guide shows, recipe or not, passes the check with no warning, next to the
// example sources (and, for the long-recording example, a sparse three-hour stand-in: the check
// reads only its header).
TEST(CliExamples, EveryTaskFileTheGuideShowsChecksClean) {
  const fs::path root(WAVSPLICE_SOURCE_DIR);
  std::istringstream guide(ReadText(root / "docs" / "task-file.md"));
  std::vector<std::string> tasks;
  bool inBlock = false;
  std::string block;
  for (std::string line; std::getline(guide, line);) {
    if (line.rfind("```", 0) == 0) {
      const bool task = block.rfind("src\t", 0) == 0 || block.find("\nsrc\t") != std::string::npos;
      if (inBlock && task) tasks.push_back(block);
      inBlock = !inBlock;
      block.clear();
    } else if (inBlock) {
      block += line + "\n";
    }
  }
  EXPECT_GE(tasks.size(), 8u);
  TempDir dir;
  const std::string generate = ProgramCommand(ExampleSourcesTool()) + " '" + dir.path() + "'";
  ASSERT_EQ(std::system(generate.c_str()), 0) << generate;
  const int32_t threeHours = 48000 * 3 * 3600;
  WriteFile(dir / "concert.wav", ExpectedHeader(48000, 24, 2, threeHours));
  fs::resize_file(dir / "concert.wav", 44 + static_cast<uintmax_t>(threeHours) * 6);
  for (const std::string& task : tasks) {
    SCOPED_TRACE(task);
    WriteTextFile(dir / "shown.txt", task);
    const CliResult check = RunCli(dir.path(), {"--check", "shown.txt"});
    EXPECT_EQ(check.exitCode, 0) << check.out;
    EXPECT_NE(check.out.find("\n0 warnings, "), std::string::npos) << check.out;
  }
}

}  // namespace
}  // namespace wavsplice::testing
