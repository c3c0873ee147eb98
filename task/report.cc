#include "task/report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <optional>

#include "task/crossfade_handles.h"
#include "task/crossfade_plan.h"
#include "task/cut_list.h"
#include "task/destination_metadata.h"
#include "task/loudness_target.h"
#include "task/valid_utf8.h"

namespace wavsplice {

namespace {

using Json = nlohmann::ordered_json;

// Diagnostics in line order, each line's in the order they were found.
std::vector<Diagnostic> ByLine(const Diagnostics& diagnostics) {
  std::vector<Diagnostic> sorted = diagnostics;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
  return sorted;
}

const char* KindName(DiagnosticKind kind) {
  return kind == DiagnosticKind::kWarning ? "warning" : "note";
}

// Writes text into JSON, replacing invalid bytes and noting it once per text.
class JsonText {
 public:
  std::string operator()(const std::string& text) {
    bool replaced = false;
    std::string valid = ValidUtf8(text, replaced);
    if (replaced) replacedTexts_.push_back(valid);
    return valid;
  }
  const std::vector<std::string>& Replaced() const { return replacedTexts_; }

 private:
  std::vector<std::string> replacedTexts_;
};

// A number of the report. JSON has none for infinities and NaN (a task file can give them, as in
// "lvl -inf"): they are the strings "inf", "-inf" and "nan".
Json Number(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  return value;
}

// A measured level in dB to 0.01 dB, the level of silence (-infinity) as null. The meter's last
// digits differ between machines (libebur128 is built with fused multiply-add where the machine has
// it); hundredths agree.
Json Level(double decibels) {
  return std::isfinite(decibels) ? Json(std::round(decibels * 100.0) / 100.0) : Json(nullptr);
}

const char* ZoneKindName(HandlesZoneKind kind) {
  switch (kind) {
    case HandlesZoneKind::kCentred:
      return "centred";
    case HandlesZoneKind::kMoved:
      return "moved";
    case HandlesZoneKind::kShrunk:
      return "shrunk";
    default:
      return "none";
  }
}

Json HandlesJson(const RunState& run, const HandlesCrossfade& handles) {
  return {{"outgoing_task", TaskNumber(run, handles.outgoing)},
          {"zone", ZoneKindName(handles.zone.kind)},
          {"asked_frames", handles.askedSamples},
          {"frames", handles.zone.xfSamples},
          {"destination_start", handles.destStart},
          {"frames_before_splice", handles.zone.before},
          {"frames_after_splice", handles.zone.xfSamples - handles.zone.before},
          {"source_frames_before_span", handles.pre},
          {"outgoing_frames_after_splice", handles.post},
          {"moved_frames", handles.shift}};
}

const char* FateName(RegionFate fate) {
  switch (fate) {
    case RegionFate::kApplied:
      return "applied";
    case RegionFate::kOutside:
      return "outside the span";
    case RegionFate::kEmpty:
      return "ends before it starts";
    default:
      return "given";
  }
}

Json RegionJson(const SourceRegion& region, JsonText& text) {
  Json item = {{"line", region.line}};
  if (!region.labelFile.empty()) {
    item["label_file"] = text(region.labelFile);
    item["label_line"] = region.labelLine;
  }
  item["from"] = Number(region.from);
  item["to"] = Number(region.to);
  item["units"] = region.inSeconds ? "seconds" : "task";
  item["outcome"] = FateName(region.fate);
  if (region.fate == RegionFate::kApplied) {
    item["start_frame"] = region.startFrame;
    item["end_frame"] = region.endFrame;
  }
  return item;
}

// A piece of an edit with cuts: its number, the region left out before it, and on the first piece
// every region its lines give.
void AddPieceJson(const EditEntry& entry, JsonText& text, Json& edit) {
  if (entry.piece == 0) return;
  edit["piece"] = entry.piece;
  edit["pieces"] = entry.pieces;
  if (entry.piece > 1) {
    Json cut = {{"line", entry.cutBefore.line}};
    if (!entry.cutBefore.labelFile.empty()) {
      cut["label_file"] = text(entry.cutBefore.labelFile);
      cut["label_line"] = entry.cutBefore.labelLine;
    }
    cut["start_frame"] = entry.cutBefore.startFrame;
    cut["end_frame"] = entry.cutBefore.endFrame;
    edit["cut_before"] = cut;
  }
  if (entry.piece != 1) return;
  for (const auto* list : {&entry.cuts, &entry.keeps}) {
    Json regions = Json::array();
    for (const SourceRegion& region : *list) regions.push_back(RegionJson(region, text));
    edit[list == &entry.cuts ? "cuts" : "keeps"] = regions;
  }
}

// plain: the run as a task without handles gives it (PlainPlan).
Json EditJson(const RunState& run, const RunState& plain, const RunRecord& record, int32_t index,
              JsonText& text) {
  const EditEntry& entry = run.entries[static_cast<size_t>(index)];
  Json edit;
  edit["task"] = TaskNumber(run, index);
  edit["line"] = entry.line;
  if (record.planned) AddPieceJson(entry, text, edit);
  edit["source"] = text(entry.sourcePath);
  Json given;
  given["xin"] = Number(entry.xin);
  given["xout"] = Number(entry.xoutGiven);
  given["trim"] = Number(entry.trim);
  if (entry.append == 1) {
    given["ins"] = "app";
  } else {
    given["ins"] = Number(entry.insGiven);
  }
  given["lvl"] = entry.levelMatched ? Json(0.0) : Number(entry.lvl);
  edit["given"] = given;
  if (record.planned) {
    edit["read_start"] = entry.readStart;
    edit["read_length"] = entry.readLength;
    edit["insert_point"] = entry.insertPoint;
  }
  edit["level_db"] = Number(entry.lvl);
  if (entry.levelMatched) edit["span_loudness_lufs"] = Level(entry.spanLufs);
  if (entry.xfLine != 0) {
    Json crossfade;
    crossfade["width_ms"] = Number(entry.xfWidth);
    crossfade["type"] = entry.xfType;
    if (record.planned) {
      const EditEntry& planned = plain.entries[static_cast<size_t>(index)];
      const CrossfadePlan plan = PlanCrossfade(plain, planned);
      crossfade["frames"] = plan.xfSamples;
      crossfade["outcome"] = WordsOf(plain, planned, plan).json;
      const HandlesCrossfade handles =
          TakesHandles(run, entry) ? HandlesOfEntry(run, index) : HandlesCrossfade();
      if (handles.outgoing >= 0) crossfade["handles"] = HandlesJson(run, handles);
    }
    edit["crossfade"] = crossfade;
  }
  if (!record.check && entry.rendered) edit["clipped"] = entry.clipped;
  return edit;
}

const char* JsonName(TargetValue value) {
  switch (value) {
    case TargetValue::kIntegrated:
      return "integrated_lufs";
    case TargetValue::kRms:
      return "rms_dbfs";
    case TargetValue::kTruePeak:
      return "true_peak_dbtp";
    case TargetValue::kSamplePeak:
      return "sample_peak_dbfs";
    default:
      return "noise_floor_dbfs";
  }
}

Json LoudnessJson(const RunState& run) {
  const LoudnessMeasure& measure = run.loudness;
  Json loudness = {{"integrated_lufs", Level(measure.integratedLufs)},
                   {"range_lu", Level(measure.rangeLu)},
                   {"true_peak_dbtp", Level(measure.truePeakDbtp)},
                   {"sample_peak_dbfs", Level(measure.samplePeakDbfs)}};
  const LoudnessTarget* target = FindLoudnessTarget(run.targetName);
  if (target == nullptr) return loudness;
  if (target->level == TargetValue::kRms) {
    loudness["rms_dbfs"] = Level(measure.rmsDbfs);
    loudness["noise_floor_dbfs"] = Level(measure.noiseFloorDbfs);
  }
  Json misses = Json::array();
  for (const TargetMiss& miss : MissesOf(*target, measure)) {
    Json entry = {{"value", JsonName(miss.value)},
                  {"measured", Level(miss.measured)},
                  {"low", Level(miss.low)},
                  {"high", miss.high}};
    if (miss.value == target->level) entry["change_db"] = Level(miss.changeDb);
    misses.push_back(entry);
  }
  loudness["target"] = {{"name", target->name}, {"met", misses.empty()}, {"misses", misses}};
  return loudness;
}

}  // namespace

double ReportSeconds(int64_t frames, int32_t sampleRate) {
  // Beyond the 32-bit range (2^31 frames: 12.4 hours at 48 kHz) a 32-bit float holds a time to 4 ms
  // or worse; the 64-bit quotient keeps the printed milliseconds right there.
  if (frames < INT32_MIN || frames > INT32_MAX) {
    return static_cast<double>(frames) / static_cast<double>(sampleRate);
  }
  return static_cast<double>(static_cast<float>(frames) / static_cast<float>(sampleRate));
}

namespace {

// For a piece after the first: the region cut before it, and whether the join is a hard cut (a
// crossfade prints its own line).
void PrintPieceJoin(const RunState& run, const EditEntry& entry) {
  const SourceRegion& cut = entry.cutBefore;
  const std::string origin = CutOrigin(cut);
  if (run.sampleMode == 1) {
    std::printf(kPieceCutSamples, static_cast<long long>(cut.startFrame),
                static_cast<long long>(cut.endFrame), origin.c_str());
  } else {
    std::printf(kPieceCutSeconds, ReportSeconds(cut.startFrame, run.format.sampleRate),
                ReportSeconds(cut.endFrame, run.format.sampleRate), origin.c_str());
  }
  if (entry.xfType == 0) std::fputs(kHardJoin, stdout);
}

}  // namespace

void PrintEditBlock(const RunState& run, int32_t entryIndex) {
  const EditEntry& entry = run.entries[static_cast<size_t>(entryIndex)];
  std::printf("Task %s", TaskName(run, entryIndex).c_str());
  if (run.sampleMode == 1) {
    std::printf("\tInsert point %" PRId64 " samples\n", entry.insertPoint);
    std::printf("\tFile %s\n", entry.sourcePath.c_str());
    std::printf("\tRead start %" PRId64 " samples\n", entry.readStart);
    std::printf("\tRead length %" PRId64 " samples\n", entry.readLength);
  } else {
    std::printf("\tInsert point %.3f sec\n",
                ReportSeconds(entry.insertPoint, run.format.sampleRate));
    std::printf("\tFile %s\n", entry.sourcePath.c_str());
    std::printf("\tRead start %.3f sec\n", ReportSeconds(entry.readStart, run.format.sampleRate));
    std::printf("\tRead length %.3f sec\n", ReportSeconds(entry.readLength, run.format.sampleRate));
  }
  std::printf("\tLevel %.3f dB\n", entry.lvl);
  if (entry.piece > 1) PrintPieceJoin(run, entry);
}

void PrintCrossfadeLine(const RunState& run, const EditEntry& entry) {
  const CrossfadePlan plan = PlanCrossfade(run, entry);
  if (plan.outcome == CrossfadeOutcome::kNone) return;
  const int64_t start = std::max<int64_t>(0, plan.destStart);
  const int64_t end = std::max<int64_t>(start, plan.destStart + plan.xfSamples);
  std::printf("\tCrossfade %.3f ms, %" PRId64 " samples, type %i, ",
              static_cast<double>(entry.xfWidth), plan.xfSamples, entry.xfType);
  if (run.sampleMode == 1) {
    std::printf("destination %" PRId64 " to %" PRId64 " samples", start, end);
  } else {
    std::printf("destination %.3f to %.3f sec", static_cast<double>(start) / run.format.sampleRate,
                static_cast<double>(end) / run.format.sampleRate);
  }
  std::printf(": %s\n", WordsOf(run, entry, plan).check);
}

bool PrintHandlesLine(const RunState& run, const EditEntry& entry) {
  if (!TakesHandles(run, entry)) return false;
  const int32_t index = static_cast<int32_t>(&entry - run.entries.data());
  const HandlesCrossfade handles = HandlesOfEntry(run, index);
  if (handles.outgoing < 0) return false;
  const HandlesZone& zone = handles.zone;
  std::printf("\tCrossfade with handles %.3f ms, %" PRId64 " samples, type %i",
              static_cast<double>(entry.xfWidth),
              zone.kind == HandlesZoneKind::kNone ? handles.askedSamples : zone.xfSamples,
              entry.xfType);
  if (zone.kind == HandlesZoneKind::kNone) {
    std::printf(": none, the sources hold %" PRId64 " samples for it\n",
                handles.pre + handles.post);
    return true;
  }
  const int64_t start = handles.destStart;
  const int64_t end = start + zone.xfSamples;
  if (run.sampleMode == 1) {
    std::printf(", destination %" PRId64 " to %" PRId64 " samples", start, end);
  } else {
    std::printf(", destination %.3f to %.3f sec",
                static_cast<double>(start) / run.format.sampleRate,
                static_cast<double>(end) / run.format.sampleRate);
  }
  std::printf(", %" PRId64 " samples from task %s after the splice, %" PRId64
              " from task %s before it",
              zone.xfSamples - zone.before, TaskName(run, handles.outgoing).c_str(), zone.before,
              TaskName(run, index).c_str());
  if (zone.kind == HandlesZoneKind::kShrunk) {
    std::printf(", shrunk from %" PRId64 " samples", handles.askedSamples);
  } else if (zone.kind == HandlesZoneKind::kMoved) {
    std::printf(", moved %" PRId64 " samples %s",
                handles.shift > 0 ? handles.shift : -handles.shift,
                handles.shift > 0 ? "later" : "earlier");
  }
  std::puts("");
  return true;
}

void PrintFinalReport(const RunState& run, const char* heading) {
  std::printf("%s\t%s\n", heading, run.destPath.c_str());
  if (run.sampleMode == 1) {
    std::printf("\tLength %" PRId64 " samples\n", run.destLength);
  } else {
    std::printf("\tLength %.3f sec\n", ReportSeconds(run.destLength, run.format.sampleRate));
  }
  std::printf("\tBits %i\n", run.format.Bits());
  std::printf("\tChannels %i\n", run.format.channels);
  std::printf("\tSample rate %i\n\n", run.format.sampleRate);
}

namespace {

// A destination time in the report's units: "1.250 sec" or "60000 samples".
std::string ReportTime(const RunState& run, int64_t frames) {
  char text[64];
  if (run.sampleMode == 1) {
    std::snprintf(text, sizeof text, "%" PRId64 " samples", frames);
  } else {
    std::snprintf(text, sizeof text, "%.3f sec", ReportSeconds(frames, run.format.sampleRate));
  }
  return text;
}

}  // namespace

void PrintMetadataPlan(const RunState& run) {
  if (AsksForMarkers(run)) {
    std::printf("Markers %zu\n", run.destMarkers.size());
    for (const PlannedMarker& planned : run.destMarkers) {
      const Marker& marker = planned.marker;
      std::printf("\t%s\t%s", ReportTime(run, marker.frame).c_str(), marker.label.c_str());
      if (marker.isRegion) {
        std::printf(" (region %s)", ReportTime(run, marker.region.length).c_str());
      }
      std::puts("");
    }
  }
  if (run.keepMetadataLine != 0) {
    const std::string chunks = CarriedChunks(run);
    if (chunks.empty()) {
      std::puts("Metadata none");
    } else {
      const EditEntry& entry = run.entries[static_cast<size_t>(run.metadataEntry)];
      std::printf("Metadata from %s (task %i): %s\n", entry.sourcePath.c_str(),
                  TaskNumber(run, run.metadataEntry), chunks.c_str());
    }
  }
  if (AsksForMarkers(run) || run.keepMetadataLine != 0) std::puts("");
}

void PrintDiagnostics(const RunState& run) {
  for (const Diagnostic& diagnostic : ByLine(run.diagnostics)) {
    std::printf("%s:%i: %s: %s\n", run.taskPath.c_str(), diagnostic.line, KindName(diagnostic.kind),
                diagnostic.text.c_str());
  }
  std::printf("%i warnings, %i notes\n", CountOf(run.diagnostics, DiagnosticKind::kWarning),
              CountOf(run.diagnostics, DiagnosticKind::kNote));
}

void PrintRefusedLine(const RunState& run, const std::string& message) {
  if (run.refusedLine <= 0) return;
  std::printf("%s:%i: error: %s\n", run.taskPath.c_str(), run.refusedLine,
              message.empty() ? "this source's format differs from the first source's (above)"
                              : "the run is refused for this line:");
}

void PrintWarningsToStderr(const RunState& run) {
  for (const Diagnostic& diagnostic : ByLine(run.diagnostics)) {
    if (diagnostic.kind != DiagnosticKind::kWarning) continue;
    std::fprintf(stderr, "%s:%i: warning: %s\n", run.taskPath.c_str(), diagnostic.line,
                 diagnostic.text.c_str());
  }
}

void PrintWarningCountToStderr(const RunState& run) {
  const int32_t warnings = CountOf(run.diagnostics, DiagnosticKind::kWarning);
  if (warnings == 0) return;
  std::fprintf(stderr, "%i %s: 'wavsplice --check %s' shows the plan\n", warnings,
               warnings == 1 ? "warning" : "warnings", run.taskPath.c_str());
}

namespace {

// For a task that asks for them: the markers the destination carries and the source of its
// metadata.
void AddMetadataJson(const RunState& run, JsonText& text, Json& report) {
  if (AsksForMarkers(run)) {
    Json markers = Json::array();
    for (const PlannedMarker& planned : run.destMarkers) {
      const Marker& marker = planned.marker;
      Json item = {{"frame", marker.frame},
                   {"seconds", static_cast<double>(marker.frame) / run.format.sampleRate},
                   {"label", text(marker.label)},
                   {"task", TaskNumber(run, planned.entry)}};
      if (!marker.note.empty()) item["note"] = text(marker.note);
      if (marker.isRegion) item["region_frames"] = marker.region.length;
      markers.push_back(item);
    }
    report["markers"] = markers;
  }
  if (run.keepMetadataLine == 0) return;
  const std::string chunks = CarriedChunks(run);
  if (chunks.empty()) {
    report["metadata"] = nullptr;
    return;
  }
  const EditEntry& entry = run.entries[static_cast<size_t>(run.metadataEntry)];
  Json names = Json::array();
  for (size_t at = 0; at < chunks.size();) {
    const size_t end = std::min(chunks.find(", ", at), chunks.size());
    names.push_back(chunks.substr(at, end - at));
    at = end + 2;
  }
  report["metadata"] = {{"task", TaskNumber(run, run.metadataEntry)},
                        {"source", text(entry.sourcePath)},
                        {"chunks", names}};
}

}  // namespace

std::string ReportJson(const RunState& run, const RunRecord& record) {
  JsonText text;
  Json report;
  report["version"] = record.version;
  report["task_file"] = text(run.taskPath);
  report["check"] = record.check;
  report["units"] = run.sampleMode == 1 ? "samples" : "seconds";
  if (record.planned) {
    report["format"] = {{"sample_rate", run.format.sampleRate},
                        {"bits", run.format.Bits()},
                        {"channels", run.format.channels}};
    report["destination"] = {
        {"path", text(run.destPath)},
        {"frames", run.destLength},
        {"seconds", static_cast<double>(run.destLength) / run.format.sampleRate}};
  } else {
    report["format"] = nullptr;
    report["destination"] =
        run.destPath.empty() ? Json(nullptr) : Json{{"path", text(run.destPath)}};
  }
  Json edits = Json::array();
  if (record.planned) {
    std::optional<RunState> handled;
    const RunState& plain = PlainPlanOf(run, handled);
    for (int32_t k = 0; k < run.entryCount; ++k) {
      edits.push_back(EditJson(run, plain, record, run.writeOrder[static_cast<size_t>(k)], text));
    }
  } else {
    for (int32_t j = 0; j < run.entryCount; ++j) {
      edits.push_back(EditJson(run, run, record, j, text));
    }
  }
  if (run.loudnessLine != 0) report["loudness_lufs"] = run.loudnessLufs;
  report["edits"] = edits;
  Json messages = Json::array();
  for (const std::string& message : run.messages) messages.push_back(text(message));
  report["messages"] = messages;
  Json diagnostics = Json::array();
  for (const Diagnostic& diagnostic : ByLine(run.diagnostics)) {
    diagnostics.push_back({{"line", diagnostic.line},
                           {"kind", KindName(diagnostic.kind)},
                           {"text", text(diagnostic.text)}});
  }
  for (const std::string& replaced : text.Replaced()) {
    diagnostics.push_back(
        {{"line", 0},
         {"kind", "note"},
         {"text", "'" + replaced + "' is not valid UTF-8: invalid bytes are written as U+FFFD"}});
  }
  report["diagnostics"] = diagnostics;
  if (run.loudnessMeasured) report["loudness"] = LoudnessJson(run);
  if (record.planned) AddMetadataJson(run, text, report);
  report["exit_status"] = record.exitStatus;
  return report.dump(2) + "\n";
}

}  // namespace wavsplice
