#include "task/task_lint.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "task/task_values.h"

namespace wavsplice {

namespace {

// The reader's command chain, in its order.
constexpr const char* kChain[] = {"src", "xin", "xout", "ins", "trim", "lvl", "xf", "dest"};
constexpr const char* kWords[] = {"src", "xin", "xout", "ins",           "trim",
                                  "lvl", "xf",  "dest", "using_samples", "app"};

int ChainIndex(const char* word) {
  for (int i = 0; i < 8; ++i) {
    if (std::strcmp(word, kChain[i]) == 0) return i;
  }
  return -1;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The command word a token starts with when a space follows it.
const char* CommandBeforeSpace(const char* text) {
  for (const char* word : kWords) {
    const size_t length = std::strlen(word);
    if (std::strncmp(text, word, length) == 0 && text[length] == ' ') return word;
  }
  return nullptr;
}

}  // namespace

std::string SuggestCommand(const std::string& word) {
  std::string best;
  size_t bestDistance = 3;
  // `app` is a value of `ins`, never the first word of a line.
  for (const char* command : kWords) {
    if (std::strcmp(command, "app") == 0) continue;
    if (Lower(word) == command) return command;
    const size_t distance = EditDistance(word, command);
    if (distance < bestDistance && distance < std::strlen(command)) {
      best = command;
      bestDistance = distance;
    }
  }
  return best;
}

void TaskLint::Unrecognised(const TaskToken& token, bool firstOfFile) {
  if (token.comment) return;
  const std::string text = token.text;
  if (text == "using_samples") {
    if (!firstOfFile) {
      Warn(diagnostics_, token.line,
           "'using_samples' counts only as the first word of the file: times stay in seconds");
    }
    return;
  }
  if (text == "app") return;
  if (const char* command = CommandBeforeSpace(token.text)) {
    warnedLines_.insert(token.line);
    Warn(diagnostics_, token.line,
         "'%s' is followed by a space, not a tab: the line is read as one unknown word and "
         "ignored; separate the command and its values with tabs",
         command);
    return;
  }
  if (!token.firstOnLine) {
    if (lostLines_.count(token.line) == 0 && warnedLines_.count(token.line) == 0) {
      Warn(diagnostics_, token.line, "'%s' is not a command and is ignored", token.text);
    }
    return;
  }
  warnedLines_.insert(token.line);
  const std::string suggestion = SuggestCommand(text);
  if (suggestion.empty()) {
    Warn(diagnostics_, token.line, "'%s' is not a command: the line is ignored", token.text);
  } else {
    // A lost `src` sends the commands under it to the edit before.
    const char* consequence =
        suggestion == "src" ? " and the commands below it go to the edit before" : "";
    Warn(diagnostics_, token.line,
         "'%s' is not a command: the line is ignored%s; did you mean '%s'?", token.text,
         consequence, suggestion.c_str());
  }
}

void TaskLint::Value(const TaskToken& command, const TaskToken& value, const char* name,
                     const char* what) {
  const int commandAt = ChainIndex(name);
  const int valueAt = ChainIndex(value.text);
  if (what == nullptr) what = "value";
  if (value.line != command.line) {
    if (valueAt >= 0 && valueAt <= commandAt) {
      lostLines_.insert(value.line);
      Warn(diagnostics_, command.line,
           "'%s' has no %s on its line: '%s' is taken from line %i, and that line's '%s' command "
           "is lost",
           name, what, value.text, value.line, value.text);
    } else if (valueAt > commandAt) {
      Warn(diagnostics_, command.line,
           "'%s' has no %s on its line: '%s' is taken from line %i and also acts as a command",
           name, what, value.text, value.line);
    } else {
      lostLines_.insert(value.line);
      Warn(diagnostics_, command.line, "'%s' has no %s on its line: '%s' is taken from line %i",
           name, what, value.text, value.line);
    }
    return;
  }
  if (valueAt > commandAt) {
    Warn(diagnostics_, command.line, "the %s '%s' of '%s' also acts as the command '%s'", what,
         value.text, name, value.text);
  }
}

void TaskLint::Number(const TaskToken& value, int32_t commandLine, bool clockAllowed) {
  if (value.line != commandLine || WhollyNumber(value.text, clockAllowed)) return;
  std::string hint;
  const std::string text = value.text;
  if (text.find(',') != std::string::npos) {
    std::string period = text;
    std::replace(period.begin(), period.end(), ',', '.');
    hint = "; write '" + period + "' with a period";
  } else if (text.find(':') != std::string::npos) {
    hint =
        clockAllowed ? "; a clock time is M:SS or H:MM:SS" : "; clock times count only in seconds";
  }
  Warn(diagnostics_, value.line, "'%s' is not a number: it is read as %g%s", value.text,
       LeadingNumber(value.text), hint.c_str());
}

void TaskLint::Width(const TaskToken& width, float value) {
  if (value > 0) return;
  Warn(diagnostics_, width.line,
       "crossfade width '%s' is not above 0 ms: the crossfade keeps its 4410 samples", width.text);
}

void TaskLint::LevelDropped(const TaskToken& value, double levelKept) {
  Warn(diagnostics_, value.line, "level '%s' is %s: it is dropped and the level stays %.3f dB",
       value.text, std::isnan(LeadingNumber(value.text)) ? "not a number" : "24 dB or more",
       levelKept);
}

void TaskLint::CrossfadeType(const TaskToken& command, const TaskToken& type) {
  Value(command, type, "xf", "type");
  if (type.line == command.line && !WhollyInteger(type.text)) {
    Warn(diagnostics_, type.line, "crossfade type '%s' is not a whole number: it is read as %li",
         type.text, std::strtol(type.text, nullptr, 10));
  }
  const long curve = std::strtol(type.text, nullptr, 10);
  if (curve < 0 || curve > 4) {
    Warn(diagnostics_, type.line, "crossfade type '%s' is not 0 to 4: this edit gets no crossfade",
         type.text);
  }
}

void TaskLint::Repeated(int32_t entry, const char* command, int32_t line) {
  if (entry != givenEntry_) {
    givenEntry_ = entry;
    givenLines_.fill(0);
  }
  int32_t& given = givenLines_[static_cast<size_t>(ChainIndex(command))];
  if (given != 0) {
    Warn(diagnostics_, line, "'%s' is given again for task %i: it replaces the value from line %i",
         command, entry, given);
  }
  given = line;
}

void TaskLint::Path(const TaskToken& path, const char* command) {
  const std::string text = path.text;
  const bool starts = IsSpace(text.front());
  const bool ends = IsSpace(text.back());
  if (!starts && !ends) return;
  Warn(diagnostics_, path.line, "the %s path '%s' %s with white space, which is part of the name",
       command, path.text, starts ? (ends ? "starts and ends" : "starts") : "ends");
}

void TaskLint::SecondDestination(int32_t line, int32_t previousLine,
                                 const std::string& previousPath) {
  if (previousLine == 0) return;
  Warn(diagnostics_, line, "a second 'dest' replaces '%s' from line %i", previousPath.c_str(),
       previousLine);
}

}  // namespace wavsplice
