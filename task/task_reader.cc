#include "task/task_reader.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/messages.h"
#include "task/label_file.h"
#include "task/messages.h"
#include "task/task_lint.h"
#include "task/task_values.h"

namespace wavsplice {

namespace {

constexpr size_t kShortestPath = 4;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr float kLevelCeilingDb = 24.0f;
constexpr double kQuietestTargetLufs = -70.0;  // BS.1770's absolute gate

// A carriage return before a newline or at the end of the text belongs to the line end, so that
// task files saved with CR LF line ends read alike.
bool IsLineEndReturn(const std::string& text, size_t at) {
  return text[at] == '\r' && (at + 1 == text.size() || text[at + 1] == '\n');
}

// Splits the text in place: separators become terminators, and each token is a C string inside text
// that keeps its line. A zero byte ends the text.
std::vector<TaskToken> SplitTokens(std::string& text) {
  text.resize(std::strlen(text.c_str()));
  std::vector<TaskToken> tokens;
  bool inToken = false;
  int32_t line = 1;
  bool lineHasToken = false;
  bool comment = false;
  for (size_t at = 0; at < text.size(); ++at) {
    char& c = text[at];
    if (c == '\t' || c == '\n' || IsLineEndReturn(text, at)) {
      if (c == '\n') {
        ++line;
        lineHasToken = false;
      }
      c = '\0';
      inToken = false;
    } else if (!inToken) {
      if (!lineHasToken) comment = c == '#';
      tokens.push_back({&c, line, !lineHasToken, comment});
      inToken = true;
      lineHasToken = true;
    }
  }
  return tokens;
}

// Doubles beyond the float range become infinities rather than undefined conversions.
float NarrowToFloat(double value) {
  if (value > FLT_MAX) return HUGE_VALF;
  if (value < -FLT_MAX) return -HUGE_VALF;
  return static_cast<float>(value);
}

bool Is(const char* token, const char* word) { return std::strcmp(token, word) == 0; }

// Walks the tokens through the command chain src, xin, xout, ins, trim, lvl, xf, dest: a command's
// last value token goes on down the chain as the current token, so a value that is a later command
// word acts as that command too. What a person probably did not mean is added to the run's
// diagnostics.
class TaskTokens {
 public:
  TaskTokens(RunState& run, std::vector<TaskToken> tokens)
      : run_(run), tokens_(std::move(tokens)), lint_(run.diagnostics) {
    run_.entries.clear();
    run_.entries.reserve(MAX_EDITS);
  }

  void ReadAll() {
    if (!tokens_.empty() && Is(tokens_[0].text, "using_samples")) {
      run_.sampleMode = 1;
      PrintMessage(run_, "%s", msg::kReadingSamples);
    }
    for (at_ = 0; at_ < tokens_.size(); ++at_) {
      if (!RunChain() && !WordBeforeFirstSource()) lint_.Unrecognised(tokens_[at_], at_ == 0);
    }
    run_.entryCount = count_;
  }

 private:
  const TaskToken& Current() const { return tokens_[at_]; }
  bool HasTokensAfter(size_t needed) const { return tokens_.size() - at_ > needed; }
  EditEntry& Entry() { return run_.entries[static_cast<size_t>(count_ - 1)]; }

  // Takes the value token of command; it becomes the current token.
  const char* TakeValue(const char* command) {
    if (count_ == 0) Fail(kExitTask, msg::kCommandBeforeSource, command);
    if (!HasTokensAfter(1)) Fail(kExitTask, msg::kValueMissing, command);
    const TaskToken& commandToken = tokens_[at_];
    ++at_;
    lint_.Value(commandToken, tokens_[at_], command, Is(command, "xf") ? "width" : nullptr);
    return tokens_[at_].text;
  }

  bool Time(const char* command, double EditEntry::*field) {
    const int32_t line = Current().line;
    const char* value = TakeValue(command);
    lint_.Repeated(count_, command, line);
    lint_.Number(Current(), line, run_.sampleMode == 0);
    if (run_.sampleMode == 1) lint_.SampleCount(Current(), line);
    Entry().*field = TaskTime(value, run_.sampleMode == 1);
    return true;
  }

  // True when the current token was a command word.
  bool RunChain() {
    if (count_ == 0 && BeforeFirstSource()) return true;
    if (Is(Current().text, "fin"))
      return Fade("fin", &EditEntry::finType, &EditEntry::finWidth, &EditEntry::finLine);
    if (Is(Current().text, "fout"))
      return Fade("fout", &EditEntry::foutType, &EditEntry::foutWidth, &EditEntry::foutLine);
    if (Is(Current().text, "cut")) return Cut();
    if (Is(Current().text, "cuts")) return LabelRegions("cuts", &EditEntry::cuts);
    if (Is(Current().text, "keeps")) return LabelRegions("keeps", &EditEntry::keeps);
    bool matched = false;
    if (Is(Current().text, "loudness")) matched = Loudness();
    if (Is(Current().text, "src")) matched = Source();
    if (Is(Current().text, "xin")) matched = Time("xin", &EditEntry::xin);
    if (Is(Current().text, "xout")) matched = Time("xout", &EditEntry::xout);
    if (matched && count_ > 0) Entry().xoutGiven = Entry().xout;
    if (Is(Current().text, "ins")) matched = InsertPoint();
    if (Is(Current().text, "trim")) matched = Time("trim", &EditEntry::trim);
    if (Is(Current().text, "lvl")) matched = Level();
    if (Is(Current().text, "xf")) matched = Crossfade();
    if (Is(Current().text, "dest")) matched = Destination();
    if (Is(Current().text, "mark")) matched = Mark();
    return matched;
  }

  // The integrated loudness every edit without a `lvl` is brought to, in LUFS from the absolute
  // gate's -70 up to 0, given once, before the first `src`.
  bool Loudness() {
    const TaskToken& command = Current();
    if (count_ > 0) Fail(kExitTask, msg::kLoudnessAfterSource);
    if (run_.loudnessLine != 0) Fail(kExitTask, msg::kLoudnessTwice);
    if (!HasTokensAfter(1)) Fail(kExitTask, msg::kValueMissing, "loudness");
    ++at_;
    lint_.Value(command, Current(), "loudness");
    const double lufs = LeadingNumber(Current().text);
    if (!WhollyNumber(Current().text, false) || !(lufs >= kQuietestTargetLufs && lufs <= 0.0)) {
      Fail(kExitTask, msg::kLoudnessOutOfRange, Current().text);
    }
    run_.loudnessLufs = lufs;
    run_.loudnessLine = command.line;
    return true;
  }

  // The words that stand on a line of their own before the first `src` and set what the whole run
  // writes. After it they are ignored, with a warning.
  bool WordBeforeFirstSource() {
    const TaskToken& token = Current();
    const bool markers = Is(token.text, "markers");
    if (!markers && !Is(token.text, "keep_metadata")) return false;
    if (count_ > 0) {
      lint_.LateRunWord(token);
      return true;
    }
    if (markers) {
      run_.markersLine = token.line;
    } else {
      run_.keepMetadataLine = token.line;
    }
    return true;
  }

  // A marker at the edit's insert point; its label is the value, tabs excluded.
  bool Mark() {
    const int32_t line = Current().line;
    const char* text = TakeValue("mark");
    Entry().marks.push_back({text, line});
    return true;
  }

  bool Source() {
    if (!HasTokensAfter(1) || std::strlen(tokens_[at_ + 1].text) < kShortestPath) {
      Fail(kExitTask, msg::kSourceNameMissing, count_ + 1);
    }
    if (count_ == MAX_EDITS) Fail(kExitTask, msg::kTooManySources);
    run_.entries.emplace_back();
    ++count_;
    Entry().line = Current().line;
    lint_.Value(Current(), tokens_[at_ + 1], "src", "path");
    Entry().sourcePath = tokens_[++at_].text;
    lint_.Path(Current(), "src");
    return true;
  }

  bool InsertPoint() {
    const int32_t line = Current().line;
    const char* value = TakeValue("ins");
    lint_.Repeated(count_, "ins", line);
    Entry().insLine = line;
    if (Is(value, "app")) {
      Entry().append = 1;
    } else {
      lint_.Number(Current(), line, run_.sampleMode == 0);
      if (run_.sampleMode == 1) lint_.SampleCount(Current(), line);
      Entry().ins = TaskTime(value, run_.sampleMode == 1);
      Entry().insGiven = Entry().ins;
      Entry().append = 0;
    }
    return true;
  }

  // Levels of 24 dB or more (and NaN) are dropped without a message.
  bool Level() {
    const int32_t line = Current().line;
    const char* value = TakeValue("lvl");
    lint_.Repeated(count_, "lvl", line);
    lint_.Number(Current(), line, false);
    Entry().lvlLine = line;
    const float level = NarrowToFloat(LeadingNumber(value));
    if (level < kLevelCeilingDb) {
      Entry().lvl = level;
    } else {
      lint_.LevelDropped(Current(), Entry().lvl);
    }
    return true;
  }

  bool Crossfade() {
    const TaskToken& command = Current();
    const char* width = TakeValue("xf");
    if (!HasTokensAfter(1)) Fail(kExitTask, msg::kValueMissing, "xf");
    lint_.Repeated(count_, "xf", command.line);
    lint_.Number(Current(), command.line, false);
    Entry().xfLine = command.line;
    ++at_;
    lint_.CrossfadeType(command, Current());
    const char* type = Current().text;
    Entry().xfWidth = NarrowToFloat(LeadingNumber(width));
    if (tokens_[at_ - 1].line == command.line) lint_.Width(tokens_[at_ - 1], Entry().xfWidth);
    const long curve = std::strtol(type, nullptr, 10);
    if (curve >= 0 && curve <= 4) {
      Entry().xfType = static_cast<int32_t>(curve);
    } else {
      Entry().xfType = 0;
      PrintMessage(run_, "%s", msg::kInvalidCrossfadeType);
    }
    return true;
  }

  // The lines that stand before the first `src` and hold for the whole task: `handles`, and `xf` as
  // the default crossfade. True when the current token was one of them. (Before any `src` every
  // other command but `dest` is refused, so these lines change no task that ran before.)
  bool BeforeFirstSource() {
    if (Is(Current().text, "handles")) {
      run_.handles = true;
      run_.handlesLine = Current().line;
      return true;
    }
    if (!Is(Current().text, "xf")) return false;
    const TaskToken& command = Current();
    if (!HasTokensAfter(2)) Fail(kExitTask, msg::kValueMissing, "xf");
    const TaskToken& width = tokens_[++at_];
    lint_.Value(command, width, "xf", "width");
    lint_.Number(width, command.line, false);
    const TaskToken& type = tokens_[++at_];
    lint_.CrossfadeType(command, type);
    run_.defaultXfWidth = NarrowToFloat(LeadingNumber(width.text));
    if (width.line == command.line) lint_.Width(width, run_.defaultXfWidth);
    const long curve = std::strtol(type.text, nullptr, 10);
    run_.defaultXfType = curve >= 0 && curve <= 4 ? static_cast<int32_t>(curve) : 0;
    run_.defaultXfLine = command.line;
    return true;
  }

  // `fin` or `fout` with a width in ms and a curve: a fade of the current entry. Its type token
  // goes no further down the chain.
  bool Fade(const char* command, int32_t EditEntry::*type, float EditEntry::*width,
            int32_t EditEntry::*line) {
    const TaskToken& commandToken = Current();
    const char* widthText = TakeValue(command);
    if (!HasTokensAfter(1)) Fail(kExitTask, msg::kValueMissing, command);
    lint_.Number(Current(), commandToken.line, false);
    ++at_;
    lint_.Value(commandToken, Current(), command, "type");
    lint_.FadeType(commandToken, Current(), command);
    const long curve = std::strtol(Current().text, nullptr, 10);
    Entry().*width = NarrowToFloat(LeadingNumber(widthText));
    Entry().*type = curve >= 0 && curve <= 4 ? static_cast<int32_t>(curve) : 0;
    Entry().*line = commandToken.line;
    return true;
  }

  // `cut` with a start and an end in task units: a region of the current entry's source left out.
  // Its end token goes no further down the chain.
  bool Cut() {
    const TaskToken& command = Current();
    const bool samples = run_.sampleMode == 1;
    const char* from = TakeValue("cut");
    if (!HasTokensAfter(1)) Fail(kExitTask, "Value missing after cut at end of task file\n");
    lint_.Number(Current(), command.line, !samples);
    ++at_;
    lint_.Value(command, Current(), "cut", "end");
    lint_.Number(Current(), command.line, !samples);
    SourceRegion region;
    region.from = TaskTime(from, samples);
    region.to = TaskTime(Current().text, samples);
    region.line = command.line;
    Entry().cuts.push_back(region);
    return true;
  }

  // `cuts` or `keeps` with a label file: its regions are left out of (or are all that is kept of)
  // the current entry's span.
  bool LabelRegions(const char* command, std::vector<SourceRegion> EditEntry::*regions) {
    const int32_t line = Current().line;
    const char* path = TakeValue(command);
    AddLabelRegions(path, run_.taskPath, line, Entry().*regions, run_.diagnostics);
    return true;
  }

  bool Destination() {
    if (!HasTokensAfter(1) || std::strlen(tokens_[at_ + 1].text) < kShortestPath) {
      Fail(kExitTask, msg::kDestinationNameMissing);
    }
    const int32_t line = Current().line;
    lint_.Value(Current(), tokens_[at_ + 1], "dest", "path");
    lint_.SecondDestination(line, run_.destLine, run_.destPath);
    run_.destPath = tokens_[++at_].text;
    run_.destLine = line;
    lint_.Path(Current(), "dest");
    return true;
  }

  RunState& run_;
  std::vector<TaskToken> tokens_;
  TaskLint lint_;
  size_t at_ = 0;
  int32_t count_ = 0;
};

}  // namespace

bool NamesInTaskFile(const std::string& path, std::vector<std::string>& names) {
  std::string text;
  if (!ReadWholeFile(path, text)) return false;
  const std::vector<TaskToken> tokens = SplitTokens(text);
  for (size_t at = 0; at + 1 < tokens.size(); ++at) {
    if (Is(tokens[at].text, "src") || Is(tokens[at].text, "dest"))
      names.emplace_back(tokens[at + 1].text);
  }
  return true;
}

void ReadTaskFile(RunState& run) {
  std::string text;
  if (!ReadWholeFile(run.taskPath, text)) {
    Fail(kExitTask, msg::kTaskFileNotFound, run.taskPath.c_str());
  }
  TaskLint lint(run.diagnostics);
  if (text.compare(0, sizeof kByteOrderMark - 1, kByteOrderMark) == 0) {
    // Never part of a command: an editor's invisible mark, read past.
    text.erase(0, sizeof kByteOrderMark - 1);
    lint.ByteOrderMark();
  }
  for (size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1)) {
    if (!IsLineEndReturn(text, at)) {
      lint.CarriageReturnLines();
      break;
    }
  }
  TaskTokens(run, SplitTokens(text)).ReadAll();
}

}  // namespace wavsplice
