#include "task/task_reader.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"

namespace wavsplice {

namespace {

constexpr size_t kShortestPath = 4;
constexpr float kLevelCeilingDb = 24.0f;

std::string ReadWholeFile(const std::string& path) {
  FileHandle file = OpenFile(path, "rb");
  if (!file) Fail(kExitTask, "Cannot find file %s that holds your instructions\n", path.c_str());
  std::string text;
  char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, got);
  if (std::ferror(file.get())) {
    Fail(kExitTask, "Cannot find file %s that holds your instructions\n", path.c_str());
  }
  return text;
}

// Splits the text in place: separators become terminators, and each token
// is a C string inside text. A zero byte ends the text.
std::vector<const char*> SplitTokens(std::string& text) {
  text.resize(std::strlen(text.c_str()));
  std::vector<const char*> tokens;
  bool inToken = false;
  for (char& c : text) {
    if (c == '\t' || c == '\n') {
      c = '\0';
      inToken = false;
    } else if (!inToken) {
      tokens.push_back(&c);
      inToken = true;
    }
  }
  return tokens;
}

// Doubles beyond the float range become infinities rather than undefined
// conversions.
float NarrowToFloat(double value) {
  if (value > FLT_MAX) return HUGE_VALF;
  if (value < -FLT_MAX) return -HUGE_VALF;
  return static_cast<float>(value);
}

double Number(const char* token) { return std::strtod(token, nullptr); }

bool Is(const char* token, const char* word) { return std::strcmp(token, word) == 0; }

// Walks the tokens through the command chain src, xin, xout, ins, trim, lvl,
// xf, dest: a command's last value token goes on down the chain as the
// current token, so a value that is a later command word acts as that
// command too.
class TaskTokens {
 public:
  TaskTokens(RunState& run, std::vector<const char*> tokens)
      : run_(run), tokens_(std::move(tokens)) {}

  void ReadAll() {
    if (!tokens_.empty() && Is(tokens_[0], "using_samples")) {
      run_.sampleMode = 1;
      std::puts("Reading time values as samples.");
    }
    for (at_ = 0; at_ < tokens_.size(); ++at_) RunChain();
    run_.entryCount = count_;
  }

 private:
  const char* Current() const { return tokens_[at_]; }
  bool HasTokensAfter(size_t needed) const { return tokens_.size() - at_ > needed; }
  EditEntry& Entry() { return run_.entries[static_cast<size_t>(count_ - 1)]; }

  // Takes the value token of command; it becomes the current token.
  const char* TakeValue(const char* command) {
    if (count_ == 0) Fail(kExitTask, "Command %s comes before any src command\n", command);
    if (!HasTokensAfter(1))
      Fail(kExitTask, "Value missing after %s at end of task file\n", command);
    return tokens_[++at_];
  }

  void RunChain() {
    if (Is(Current(), "src")) Source();
    if (Is(Current(), "xin")) Entry().xin = Number(TakeValue("xin"));
    if (Is(Current(), "xout")) Entry().xout = Number(TakeValue("xout"));
    if (Is(Current(), "ins")) InsertPoint();
    if (Is(Current(), "trim")) Entry().trim = Number(TakeValue("trim"));
    if (Is(Current(), "lvl")) Level();
    if (Is(Current(), "xf")) Crossfade();
    if (Is(Current(), "dest")) Destination();
  }

  void Source() {
    if (!HasTokensAfter(1) || std::strlen(tokens_[at_ + 1]) < kShortestPath) {
      Fail(kExitTask, "Source track %i appears to be too short or missing\n", count_ + 1);
    }
    if (count_ == MAX_EDITS) Fail(kExitTask, "Too many source tracks, at most 512 are allowed\n");
    ++count_;
    Entry().sourcePath = tokens_[++at_];
  }

  void InsertPoint() {
    const char* value = TakeValue("ins");
    if (Is(value, "app")) {
      Entry().append = 1;
    } else {
      Entry().ins = Number(value);
      Entry().append = 0;
    }
  }

  // Levels of 24 dB or more (and NaN) are dropped without a message.
  void Level() {
    const float level = NarrowToFloat(Number(TakeValue("lvl")));
    if (level < kLevelCeilingDb) Entry().lvl = level;
  }

  void Crossfade() {
    const char* width = TakeValue("xf");
    if (!HasTokensAfter(1)) Fail(kExitTask, "Value missing after xf at end of task file\n");
    const char* type = tokens_[++at_];
    Entry().xfWidth = NarrowToFloat(Number(width));
    const long curve = std::strtol(type, nullptr, 10);
    if (curve >= 0 && curve <= 4) {
      Entry().xfType = static_cast<int32_t>(curve);
    } else {
      Entry().xfType = 0;
      std::puts("Crossfade-type (parameter 2) is invalid");
    }
  }

  void Destination() {
    if (!HasTokensAfter(1) || std::strlen(tokens_[at_ + 1]) < kShortestPath) {
      Fail(kExitTask, "Your destination name appears to be too short or missing\n");
    }
    run_.destPath = tokens_[++at_];
  }

  RunState& run_;
  std::vector<const char*> tokens_;
  size_t at_ = 0;
  int32_t count_ = 0;
};

}  // namespace

void ReadTaskFile(RunState& run) {
  std::string text = ReadWholeFile(run.taskPath);
  TaskTokens(run, SplitTokens(text)).ReadAll();
}

}  // namespace wavsplice
