#include "task/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/stdout_capture.h"

namespace wavsplice {
namespace {

CommandLine Read(std::vector<const char*> args) {
  args.insert(args.begin(), "wavsplice");
  return ReadCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, OptionsThenTheTaskFile) {
  CommandLine line = Read({});
  EXPECT_EQ(line.taskPath, "task.txt");
  EXPECT_FALSE(line.check || line.strict || line.help || line.version);

  line = Read({"--check", "--strict", "--timeline", "plan.svg", "--json", "r.json", "job.txt"});
  EXPECT_TRUE(line.check && line.strict);
  EXPECT_EQ(line.timelinePath, "plan.svg");
  EXPECT_EQ(line.jsonPath, "r.json");
  EXPECT_EQ(line.taskPath, "job.txt");

  // Options stand anywhere, as GNU programs read them.
  line = Read({"job.txt", "--check", "--json", "r.json", "--warnings"});
  EXPECT_TRUE(line.check && line.warnings);
  EXPECT_EQ(line.jsonPath, "r.json");
  EXPECT_EQ(line.taskPath, "job.txt");
  // -- ends the options: a task file may start with - or be called help.
  EXPECT_EQ(Read({"--", "--odd.txt"}).taskPath, "--odd.txt");
  EXPECT_EQ(Read({"--check", "--", "-odd.txt"}).taskPath, "-odd.txt");
  EXPECT_EQ(Read({"-"}).taskPath, "-");
  EXPECT_FALSE(Read({"--", "help"}).help);
  EXPECT_TRUE(Read({"help"}).help);
  EXPECT_TRUE(Read({"--check", "-h"}).help);
  EXPECT_TRUE(Read({"--help"}).longHelp);
  EXPECT_TRUE(Read({"--version"}).version);
}

TEST(CommandLine, UnknownOrIncompleteOptionsAreRefused) {
  const struct {
    std::vector<const char*> args;
    std::string message;
  } cases[] = {
      {{"--chek", "task.txt"}, "Unknown option --chek\n"},
      {{"--check=yes"}, "Unknown option --check=yes\n"},
      {{"--json"}, "Option --json needs a file name\n"},
      {{"--check", "--timeline"}, "Option --timeline needs a file name\n"},
      {{"-x", "task.txt"}, "Unknown option -x\n"},
      {{"task.txt", "other.txt"}, "Only one task file can be given, not also other.txt\n"},
      {{"task.txt", "--", "--check"}, "Only one task file can be given, not also --check\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const testing::Outcome outcome = testing::RunCaptured([&c] { Read(c.args); });
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.message, c.message);
  }
}

}  // namespace
}  // namespace wavsplice
