#include "task/timeline.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "task/crossfade_handles.h"
#include "task/crossfade_plan.h"
#include "task/cut_list.h"
#include "task/valid_utf8.h"

namespace wavsplice {

namespace {

constexpr int64_t kWidth = 1200;
constexpr int64_t kPlotLeft = 420;  // the label column is to the left
constexpr int64_t kPlotRight = 1180;
constexpr int64_t kAxisY = 56;
constexpr int64_t kFirstLaneY = 72;
constexpr int64_t kLaneHeight = 18;
constexpr int64_t kStripHeight = 28;
constexpr size_t kLabelChars = 24;
constexpr size_t kListedWarnings = 40;
constexpr size_t kWarningLineChars = 180;  // about the picture's width at 11 px
constexpr const char* kPalette[] = {"#4e79a7", "#59a14f", "#9c755f", "#b07aa1",
                                    "#76b7b2", "#edc948", "#af7aa1", "#86bcb6"};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// Text fit for XML: valid UTF-8 (cut to at most maxChars bytes, then "..."), markup characters
// escaped, characters XML does not allow replaced (XmlChars).
std::string Escape(const std::string& raw, size_t maxChars = std::string::npos) {
  bool replaced = false;
  std::string text = ValidUtf8(raw, replaced);
  // A cut inside a multi-byte character would leave invalid UTF-8.
  if (text.size() > maxChars) text = ValidUtf8(text.substr(0, maxChars), replaced) + "...";
  std::string out;
  for (char c : XmlChars(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Tenths of a pixel, printed with one decimal from integers.
std::string Px(int64_t tenths) {
  const char* sign = tenths < 0 ? "-" : "";
  const int64_t magnitude = tenths < 0 ? -tenths : tenths;
  return Format("%s%" PRId64 ".%" PRId64, sign, magnitude / 10, magnitude % 10);
}

// floor(part * span / whole) for 0 <= part <= whole and 0 <= span < 2^62, exact for every 64-bit
// frame count: a product of frames and pixels passes 2^63 from 10^15 frames on, and 32-bit targets
// have no 128-bit integers. Long multiplication over the bits of span keeps the remainder below
// whole, so no step passes 2^64.
int64_t ShareOf(int64_t part, int64_t whole, int64_t span) {
  const uint64_t addend = static_cast<uint64_t>(part);
  const uint64_t divisor = static_cast<uint64_t>(whole);
  if (addend >= divisor) return span;
  uint64_t quotient = 0;
  uint64_t remainder = 0;
  for (int bit = 61; bit >= 0; --bit) {
    quotient *= 2;
    remainder *= 2;
    if (remainder >= divisor) {
      remainder -= divisor;
      ++quotient;
    }
    if ((span >> bit & 1) == 0) continue;
    remainder += addend;
    if (remainder >= divisor) {
      remainder -= divisor;
      ++quotient;
    }
  }
  return static_cast<int64_t>(quotient);
}

class Scale {
 public:
  explicit Scale(int64_t frames) : frames_(std::max<int64_t>(frames, 1)) {}
  // x of a destination frame, in tenths of a pixel.
  int64_t X(int64_t frame) const {
    const int64_t clamped = std::min(std::max<int64_t>(frame, 0), frames_);
    return kPlotLeft * 10 + ShareOf(clamped, frames_, (kPlotRight - kPlotLeft) * 10);
  }
  int64_t Width(int64_t from, int64_t to) const { return std::max<int64_t>(X(to) - X(from), 10); }

 private:
  int64_t frames_;
};

std::string Rect(int64_t x, int64_t y, int64_t width, int64_t height, const std::string& style) {
  return Format("<rect x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\" %s/>\n", Px(x).c_str(),
                Px(y).c_str(), Px(width).c_str(), Px(height).c_str(), style.c_str());
}

std::string Text(int64_t x, int64_t y, const std::string& text, const char* extra = "") {
  return Format("<text x=\"%s\" y=\"%s\"%s>", Px(x).c_str(), Px(y).c_str(), extra) + text +
         "</text>\n";
}

// Axis ticks: 1, 2 or 5 times a power of ten, at most ten of them.
int64_t TickStep(int64_t span) {
  int64_t step = 1;
  for (;;) {
    for (int64_t factor : {1, 2, 5}) {
      if (span / (step * factor) <= 10) return step * factor;
    }
    step *= 10;
  }
}

std::string Axis(const RunState& run, const Scale& scale) {
  std::string svg =
      Rect(kPlotLeft * 10, kAxisY * 10, (kPlotRight - kPlotLeft) * 10, 10, "fill=\"#333\"");
  // Ticks in samples, or in milliseconds in seconds mode: in whole seconds when the length in
  // milliseconds would pass the 64-bit range. Either way tick * sampleRate stays within destLength
  // * perSecond, which fits.
  const bool seconds = run.sampleMode == 0;
  const int64_t perSecond = run.destLength <= INT64_MAX / 1000 ? 1000 : 1;
  const int64_t total =
      seconds ? run.destLength * perSecond / run.format.sampleRate : run.destLength;
  const int64_t step = TickStep(std::max<int64_t>(total, 1));
  // Counted rather than summed, so that no tick passes the last one.
  const int64_t ticks = total / step;
  for (int64_t i = 0; i <= ticks; ++i) {
    const int64_t tick = i * step;
    const int64_t frame = seconds ? tick * run.format.sampleRate / perSecond : tick;
    const int64_t x = scale.X(frame);
    svg += Rect(x, (kAxisY - 6) * 10, 10, 70, "fill=\"#333\"");
    std::string label = Format("%" PRId64, tick);
    if (seconds && perSecond == 1) {
      label = Format("%" PRId64 " s", tick);
    } else if (seconds) {
      label = step % 1000 == 0 ? Format("%" PRId64 " s", tick / 1000)
                               : Format("%" PRId64 ".%03" PRId64 " s", tick / 1000, tick % 1000);
    }
    svg += Text(x, (kAxisY - 9) * 10, label, " text-anchor=\"middle\"");
  }
  return svg;
}

// One colour per source file, in the order the files first appear, so that every span of a file has
// its colour in every lane and in the strip.
const char* SourceColour(const RunState& run, int32_t index) {
  int32_t distinct = 0;
  const std::string& path = run.entries[static_cast<size_t>(index)].sourcePath;
  for (int32_t j = 0; j < index; ++j) {
    if (&FirstEntryNaming(run, j) == &run.entries[static_cast<size_t>(j)]) {
      if (run.entries[static_cast<size_t>(j)].sourcePath == path) break;
      ++distinct;
    }
  }
  return kPalette[distinct % 8];
}

// A position in the task's units: seconds to the millisecond, or samples.
std::string TimeText(const RunState& run, int64_t frames) {
  if (run.sampleMode == 1) return Format("%" PRId64, frames);
  return Format("%.3f", static_cast<double>(frames) / run.format.sampleRate);
}

// The entry a task-file line belongs to: the last `src` at or before it.
int32_t EntryOfLine(const RunState& run, int32_t line) {
  int32_t found = -1;
  for (int32_t j = 0; j < run.entryCount; ++j) {
    if (run.entries[static_cast<size_t>(j)].line <= line) found = j;
  }
  return line > 0 ? found : -1;
}

// The lane of write position k: one lane per edit, the pieces of an edit with cuts in the lane of
// their first piece.
int32_t LaneOfPosition(const RunState& run, int32_t k) {
  int32_t lane = 0;
  for (int32_t i = 1; i <= k; ++i) {
    if (run.entries[static_cast<size_t>(run.writeOrder[static_cast<size_t>(i)])].piece < 2) ++lane;
  }
  return lane;
}

// The lane's label: the edit's task, source, span, level and crossfade; an edit with cuts shows the
// span from its first piece to its last.
std::string LaneLabel(const RunState& run, const RunState& plain, int32_t index) {
  const EditEntry& entry = run.entries[static_cast<size_t>(index)];
  const EditEntry& planned = plain.entries[static_cast<size_t>(index)];
  const EditEntry& last = run.entries[static_cast<size_t>(LastPieceOf(run, index))];
  const std::string span = TimeText(run, entry.readStart) + "-" + TimeText(run, last.readEnd);
  std::string label = Format("Task %i  ", TaskNumber(run, index)) +
                      Escape(entry.sourcePath, kLabelChars) + "  " + span +
                      Format("  %+.1f dB", entry.lvl);
  if (entry.piece > 0) label += Format("  %i pieces", entry.pieces);
  const CrossfadePlan plan = PlanCrossfade(plain, planned);
  if (plan.outcome != CrossfadeOutcome::kNone) {
    label += Format("  xf %i: %s", entry.xfType, WordsOf(plain, planned, plan).label);
  }
  return label;
}

// A piece's join: a mark at its first frame that names the region cut.
std::string CutMark(const RunState& run, const Scale& scale, const EditEntry& entry, int64_t y) {
  const SourceRegion& cut = entry.cutBefore;
  const std::string origin = CutOrigin(cut);
  std::string svg = Format("<g><title>Task %i cut: ", entry.task) + TimeText(run, cut.startFrame) +
                    "-" + TimeText(run, cut.endFrame) + (run.sampleMode == 1 ? " samples" : " s") +
                    " of the source" + Escape(origin) + "</title>\n";
  svg += Rect(scale.X(entry.insertPoint) - 10, y, 20, kLaneHeight * 10, "fill=\"#e15759\"");
  return svg + "</g>\n";
}

// plain: the run as a task without handles gives it (PlainPlan), whose crossfades are the ones
// made.
std::string Lane(const RunState& run, const RunState& plain, const Scale& scale, int32_t k) {
  const int32_t index = run.writeOrder[static_cast<size_t>(k)];
  const EditEntry& entry = run.entries[static_cast<size_t>(index)];
  const EditEntry& planned = plain.entries[static_cast<size_t>(index)];
  const int32_t lane = LaneOfPosition(run, k);
  const int64_t y = (kFirstLaneY + lane * kLaneHeight) * 10;
  std::string svg;
  if (entry.piece < 2) {
    if (lane % 2 == 1) svg += Rect(0, y, kWidth * 10, kLaneHeight * 10, "fill=\"#f2f2f2\"");
    svg += Text(60, y + 130, LaneLabel(run, plain, index));
  }
  const std::string span =
      TimeText(run, entry.readStart) + "-" + TimeText(run, entry.readStart + entry.readLength);
  const CrossfadePlan plan = PlanCrossfade(plain, planned);
  const int64_t end = static_cast<int64_t>(entry.insertPoint) + entry.readLength;
  svg += Format("<g><title>Task %s: ", TaskName(run, index).c_str()) + Escape(entry.sourcePath) +
         " from " + span + (run.sampleMode == 1 ? " samples" : " s") + "</title>\n";
  svg += Rect(scale.X(entry.insertPoint), y + 30, scale.Width(entry.insertPoint, end), 120,
              Format("fill=\"%s\"", SourceColour(run, index)));
  svg += "</g>\n";
  if (plan.outcome != CrossfadeOutcome::kNone) {
    const bool made = plan.outcome == CrossfadeOutcome::kMade;
    const char* outcome = WordsOf(plain, planned, plan).tooltip;
    const int64_t from = std::max<int64_t>(plan.destStart, 0);
    svg += Format("<g><title>Task %s crossfade type %i: %s</title>\n", TaskName(run, index).c_str(),
                  entry.xfType, outcome);
    svg +=
        Rect(scale.X(from), y + 10, scale.Width(from, from + plan.xfSamples), 160,
             made ? "fill=\"#f28e2b\" fill-opacity=\"0.6\""
                  : "fill=\"none\" stroke=\"#e15759\" stroke-width=\"2\" stroke-dasharray=\"3 2\"");
    svg += "</g>\n";
  }
  if (entry.piece > 1) svg += CutMark(run, scale, entry, y);
  bool warned = false;
  for (const Diagnostic& diagnostic : run.diagnostics) {
    if (diagnostic.kind != DiagnosticKind::kWarning || entry.piece > 1) continue;
    const int32_t warnedEntry = EntryOfLine(run, diagnostic.line);
    warned = warned || (warnedEntry >= 0 && TaskNumber(run, warnedEntry) == TaskNumber(run, index));
  }
  if (warned) {
    const int64_t x = scale.X(entry.insertPoint);
    // A small warning triangle at the edit's start; the line numbers are listed under the strip.
    svg += Format("<path d=\"M%s %sl6 -11l6 11z\" fill=\"#e15759\"/>\n", Px(x - 60).c_str(),
                  Px(y + 160).c_str());
  }
  return svg;
}

// The lane of the entry: that of its position in the write order.
int64_t LaneY(const RunState& run, int32_t index) {
  int32_t k = 0;
  while (run.writeOrder[static_cast<size_t>(k)] != index) ++k;
  return (kFirstLaneY + LaneOfPosition(run, k) * kLaneHeight) * 10;
}

std::string Handle(const RunState& run, const Scale& scale, int32_t index, int64_t from, int64_t to,
                   const char* where) {
  if (from >= to) return "";
  const EditEntry& entry = run.entries[static_cast<size_t>(index)];
  std::string svg = Format("<g><title>Task %s handle: ", TaskName(run, index).c_str()) +
                    TimeText(run, to - from) + (run.sampleMode == 1 ? " samples of " : " s of ") +
                    Escape(entry.sourcePath) + " " + where + " its span</title>\n";
  svg += Rect(scale.X(from), LaneY(run, index) + 30, scale.Width(from, to), 120,
              Format("fill=\"%s\" fill-opacity=\"0.35\" stroke=\"%s\" stroke-dasharray=\"2 2\"",
                     SourceColour(run, index), SourceColour(run, index)));
  return svg + "</g>\n";
}

// The parts of the sources that crossfades with handles use beyond the spans: the incoming source's
// before its span, in its lane, and the outgoing source's after its span, in that edit's lane.
std::string Handles(const RunState& run, const Scale& scale) {
  std::string svg;
  const std::vector<HandlesCrossfade> handles = PlanHandles(run);
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const HandlesCrossfade& made = handles[static_cast<size_t>(j)];
    if (made.outgoing < 0 || made.zone.kind == HandlesZoneKind::kNone) continue;
    const EditEntry& entry = run.entries[static_cast<size_t>(j)];
    const EditEntry& outgoing = run.entries[static_cast<size_t>(made.outgoing)];
    svg += Handle(run, scale, j, made.destStart, entry.insertPoint, "before");
    svg += Handle(run, scale, made.outgoing, outgoing.insertPoint + outgoing.readLength,
                  made.destStart + made.zone.xfSamples, "after");
  }
  return svg;
}

std::string HeardStrip(const RunState& run, const Scale& scale, int64_t y) {
  std::string svg = Text(60, y + 180, "Heard in the destination");
  for (const HeardSpan& span : HeardMap(run)) {
    const int64_t x = scale.X(span.start);
    const int64_t width = scale.Width(span.start, span.end);
    if (span.entry < 0) {
      svg += Format("<g><title>silence</title>\n");
      svg += Rect(x, y, width, kStripHeight * 10,
                  "fill=\"#fff\" stroke=\"#e15759\" stroke-width=\"1\"");
      svg += "</g>\n";
      continue;
    }
    svg +=
        Rect(x, y, width, kStripHeight * 10, Format("fill=\"%s\"", SourceColour(run, span.entry)));
    if (width >= 240) {
      svg += Text(x + width / 2, y + 180, Format("%i", TaskNumber(run, span.entry)),
                  " text-anchor=\"middle\" fill=\"#fff\"");
    }
  }
  return svg;
}

// Text cut at spaces into lines of at most width bytes (a longer word makes a line of its own).
std::vector<std::string> Wrap(const std::string& text, size_t width) {
  std::vector<std::string> lines(1);
  size_t at = 0;
  while (at < text.size()) {
    size_t next = text.find(' ', at);
    if (next == std::string::npos) next = text.size();
    const std::string word = text.substr(at, next - at);
    if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width)
      lines.emplace_back();
    lines.back() += (lines.back().empty() ? "" : " ") + word;
    at = next + 1;
  }
  return lines;
}

// The warnings listed under the strip, each wrapped to the picture's width: one line of text each,
// the first kListedWarnings warnings in full.
std::vector<std::string> WarningLines(const RunState& run) {
  std::vector<std::string> lines;
  size_t listed = 0;
  size_t warnings = 0;
  for (const Diagnostic& diagnostic : run.diagnostics) {
    if (diagnostic.kind != DiagnosticKind::kWarning) continue;
    ++warnings;
    if (listed == kListedWarnings) continue;
    for (const std::string& line :
         Wrap(Format("line %i: ", diagnostic.line) + diagnostic.text, kWarningLineChars)) {
      lines.push_back(line);
    }
    ++listed;
  }
  if (warnings > listed) lines.push_back(Format("... and %zu more warnings", warnings - listed));
  return lines;
}

std::string WarningList(const std::vector<std::string>& lines, int64_t y) {
  std::string svg;
  for (size_t k = 0; k < lines.size(); ++k) {
    svg += Text(60, y + static_cast<int64_t>(k) * 160, Escape(lines[k]), " fill=\"#c0392b\"");
  }
  return svg;
}

}  // namespace

std::string TimelineSvg(const RunState& run) {
  const Scale scale(run.destLength);
  const int32_t lanes = run.entryCount > 0 ? LaneOfPosition(run, run.entryCount - 1) + 1 : 0;
  const int64_t stripY = (kFirstLaneY + lanes * kLaneHeight + 12) * 10;
  const int64_t listY = stripY + (kStripHeight + 24) * 10;
  const std::vector<std::string> warningLines = WarningLines(run);
  const int64_t height = listY / 10 + static_cast<int64_t>(warningLines.size()) * 16 + 8;

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += Format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%" PRId64 "\" height=\"%" PRId64
                "\" viewBox=\"0 0 %" PRId64 " %" PRId64
                "\" font-family=\"sans-serif\" "
                "font-size=\"11\">\n",
                kWidth, height, kWidth, height);
  svg += Rect(0, 0, kWidth * 10, height * 10, "fill=\"#fff\"");
  svg += Text(60, 200,
              "Plan of " + Escape(run.destPath, 80) + Format(": %i edits in write order", lanes),
              " font-size=\"14\" font-weight=\"bold\"");
  svg += Axis(run, scale);
  std::optional<RunState> handled;
  const RunState& plain = PlainPlanOf(run, handled);
  for (int32_t k = 0; k < run.entryCount; ++k) svg += Lane(run, plain, scale, k);
  svg += Handles(run, scale);
  svg += HeardStrip(run, scale, stripY);
  svg += WarningList(warningLines, listY);
  svg += "</svg>\n";
  return svg;
}

}  // namespace wavsplice
