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
constexpr const char* kWords[] = {"src",  "xin",  "xout",          "ins",  "trim",    "lvl",
                                  "xf",   "dest", "using_samples", "app",  "handles", "fin",
                                  "fout", "cut",  "cuts",          "keeps"};

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

// Four groups of digits joined by colons: a timecode, HH:MM:SS:FF.
bool IsTimecode(const std::string& text) {
  int groups = 0;
  size_t digits = 0;
  for (const char c : text + ":") {
    if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
      ++digits;
    } else if (c == ':' && digits > 0) {
      ++groups;
      digits = 0;
    } else {
      return false;
    }
  }
  return groups == 4;
}

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

void TaskLint::LateRunWord(const TaskToken& token) {
  if (token.comment) return;
  warnedLines_.insert(token.line);
  Warn(diagnostics_, token.line,
       "'%s' counts only before the first src: this one is ignored; move it to the top of the "
       "task file",
       token.text);
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
  if (text == "handles" && token.firstOnLine) {
    warnedLines_.insert(token.line);
    Warn(diagnostics_, token.line,
         "'handles' counts only before the first 'src': the line is ignored and crossfades "
         "blend with what the destination holds");
    return;
  }
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
    // A command outside the chain (fin, fout) passes its value on to none.
    const bool lost = commandAt < 0 ? !SuggestCommand(value.text).empty() &&
                                          SuggestCommand(value.text) == value.text
                                    : valueAt >= 0 && valueAt <= commandAt;
    if (lost) {
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
  if (commandAt >= 0 && valueAt > commandAt) {
    Warn(diagnostics_, command.line, "the %s '%s' of '%s' also acts as the command '%s'", what,
         value.text, name, value.text);
  }
}

void TaskLint::Number(const TaskToken& value, int32_t commandLine, bool clockAllowed) {
  if (value.line != commandLine || WhollyNumber(value.text, clockAllowed)) return;
  std::string hint;
  const std::string text = value.text;
  if (IsTimecode(text)) {
    hint = "; '" + text +
           "' looks like a timecode HH:MM:SS:FF, which is not read: write the time as H:MM:SS.sss "
           "(the frames divided by the frame rate)";
  } else if (text.find(',') != std::string::npos) {
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

void TaskLint::SampleCount(const TaskToken& value, int32_t commandLine) {
  if (value.line != commandLine || std::strchr(value.text, '.') == nullptr ||
      !WhollyNumber(value.text, false)) {
    return;
  }
  Warn(diagnostics_, value.line,
       "'%s' has a fraction, but with using_samples every time is a count of samples: it is read "
       "as %.0f samples; did you mean seconds (remove using_samples)?",
       value.text, std::trunc(LeadingNumber(value.text)));
}

void TaskLint::Width(const TaskToken& width, float value) {
  if (value > 0 && value < 1) {
    Warn(diagnostics_, width.line,
         "crossfade width '%s' is below 1 ms: widths are in milliseconds, so this is a fade of a "
         "few samples; write %g for %g seconds",
         width.text, static_cast<double>(value) * 1000, static_cast<double>(value));
  }
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

void TaskLint::FadeType(const TaskToken& command, const TaskToken& type, const char* name) {
  if (type.line != command.line) return;
  const long curve = std::strtol(type.text, nullptr, 10);
  if (!WhollyInteger(type.text) || curve < 0 || curve > 4) {
    Warn(diagnostics_, type.line, "'%s' type '%s' is not 0 to 4: it is read as %li%s", name,
         type.text, curve, curve < 0 || curve > 4 ? ", no fade" : "");
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
  if (text.find('\\') != std::string::npos) {
    std::string slashes = text;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    Warn(diagnostics_, path.line,
         "the %s path '%s' holds a backslash, which is part of a name here, not a folder "
         "separator: write '%s'",
         command, path.text, slashes.c_str());
  }
  const bool starts = IsSpace(text.front());
  const bool ends = IsSpace(text.back());
  if (!starts && !ends) return;
  Warn(diagnostics_, path.line, "the %s path '%s' %s with white space, which is part of the name",
       command, path.text, starts ? (ends ? "starts and ends" : "starts") : "ends");
}

void TaskLint::ByteOrderMark() {
  Warn(diagnostics_, 1,
       "the task file starts with a UTF-8 byte-order mark (an invisible character some editors "
       "write): it is skipped; save the file as UTF-8 without a byte-order mark");
}

void TaskLint::CarriageReturnLines() {
  Warn(diagnostics_, 1,
       "the task file's lines end in a carriage return alone (old Mac line ends), so it reads as "
       "one line: save it with LF or CR LF line ends");
}

void TaskLint::SecondDestination(int32_t line, int32_t previousLine,
                                 const std::string& previousPath) {
  if (previousLine == 0) return;
  Warn(diagnostics_, line, "a second 'dest' replaces '%s' from line %i", previousPath.c_str(),
       previousLine);
}

}  // namespace wavsplice
