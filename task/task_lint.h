// What the task-file reader notices while it reads: lines that will not do what they seem to say
// (unknown words, spaces for tabs, values that are not numbers, values taken from the next line,
// dropped levels, repeats). It only adds diagnostics; the reading itself is unchanged by it.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>

#include "task/diagnostics.h"

namespace wavsplice {

// One token of the task file, inside the text read.
struct TaskToken {
  const char* text;
  int32_t line;      // 1-based
  bool firstOnLine;  // the line's first token
  bool comment;      // on a line whose first character is '#'
};

// The command word closest to word (edit distance at most 2, less than the command's length, or
// equal ignoring case); empty when none is close.
std::string SuggestCommand(const std::string& word);

class TaskLint {
 public:
  explicit TaskLint(Diagnostics& diagnostics) : diagnostics_(diagnostics) {}

  // A token that matched no command (not as a value either).
  void Unrecognised(const TaskToken& token, bool firstOfFile);
  // The value token taken by the command name; what names the value ("path", "width", "type";
  // "value" when null).
  void Value(const TaskToken& command, const TaskToken& value, const char* name,
             const char* what = nullptr);
  // A numeric value of the command on commandLine; clockAllowed for times in seconds mode. A value
  // from another line is told of by Value() alone.
  void Number(const TaskToken& value, int32_t commandLine, bool clockAllowed);
  // A time with a fraction in sample mode, given for the command on commandLine.
  void SampleCount(const TaskToken& value, int32_t commandLine);
  // A task file that starts with a UTF-8 byte-order mark, or whose lines end in a carriage return
  // alone.
  void ByteOrderMark();
  void CarriageReturnLines();
  // A crossfade width below 1 ms, or one that keeps the previous crossfade length.
  void Width(const TaskToken& width, float value);
  void LevelDropped(const TaskToken& value, double levelKept);
  void CrossfadeType(const TaskToken& command, const TaskToken& type);
  // The curve of a `fin` or `fout` (command), given on its line.
  void FadeType(const TaskToken& command, const TaskToken& type, const char* name);
  // A value command of the chain (xin, xout, ins, trim, lvl, xf) given for entry (1-based) on line.
  // The entries come in order: once a later entry is named, an earlier one is given no more
  // commands.
  void Repeated(int32_t entry, const char* command, int32_t line);
  void Path(const TaskToken& path, const char* command);
  // A word that counts only before the first `src` (markers, keep_metadata), given after it.
  void LateRunWord(const TaskToken& token);
  void SecondDestination(int32_t line, int32_t previousLine, const std::string& previousPath);

 private:
  Diagnostics& diagnostics_;
  std::set<int32_t> lostLines_;    // lines whose command was taken as a value
  std::set<int32_t> warnedLines_;  // lines already warned of as a whole
  // The entry whose commands givenLines_ holds, and the line each command was last given on (0: not
  // given), by its place in the chain.
  int32_t givenEntry_ = 0;
  std::array<int32_t, 8> givenLines_ = {};
};

}  // namespace wavsplice
