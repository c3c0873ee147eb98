#include "task/cut_list.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "common/failure.h"
#include "common/int64_range.h"
#include "common/messages.h"
#include "render/crossfade_steps.h"
#include "task/crossfade_handles.h"
#include "task/plan_check.h"
#include "task/task_units.h"

namespace wavsplice {

namespace {

constexpr char kRegionEmpty[] =
    "%s of task %i ends at or before its start (%s to %s): it is ignored";
constexpr char kRegionOutside[] =
    "%s of task %i lies outside the span (%s to %s in the source): it is ignored";
constexpr char kCutsRemove[] = "%i %s %s %s of %s";
constexpr char kKeepsKeep[] = "%i kept %s keep %s of %s and remove %s";
constexpr char kShortCut[] =
    "%s of task %i is %s long, shorter than the crossfade of its join needs (%s on each side): "
    "the crossfade shrinks from %s to %s";
constexpr char kShortCutNone[] =
    "%s of task %i is %s long, shorter than the crossfade of its join needs (%s on each side): "
    "the join is a hard cut";

// A piece boundary: a source frame and the task value that gives it.
struct Boundary {
  int64_t frame = 0;
  double value = 0;
};

// A part of the span that stays, and the region left out before it.
struct KeptPart {
  Boundary start;
  Boundary end;
  SourceRegion cutBefore;
};

// A time of a region as a source frame and a task value: a label's seconds become samples in sample
// mode, as trunc(sampleRate x seconds).
bool BoundaryOf(const RunState& run, const SourceRegion& region, double time, Boundary& boundary) {
  if (!region.inSeconds || run.sampleMode == 0) {
    boundary.value = time;
    return ToFrames(run, time, boundary.frame);
  }
  if (!TruncToInt64(static_cast<double>(run.format.sampleRate) * time, boundary.frame)) {
    return false;
  }
  boundary.value = static_cast<double>(boundary.frame);
  return true;
}

// "cut 3.000 to 3.500" or "label ums.txt:3" in the diagnostics.
std::string RegionName(const RunState& run, const SourceRegion& region, const char* word) {
  if (!region.labelFile.empty()) {
    return "the label " + region.labelFile + ":" + std::to_string(region.labelLine);
  }
  char text[96];
  if (run.sampleMode == 1) {
    std::snprintf(text, sizeof text, "the %s %g to %g", word, region.from, region.to);
  } else {
    std::snprintf(text, sizeof text, "the %s %.3f to %.3f", word, region.from, region.to);
  }
  return text;
}

// Clips region to the entry's span and sets its fate; the boundaries of an applied region are start
// and end, a clipped side taking the span's.
bool PlaceRegion(RunState& run, const EditEntry& entry, int32_t task, SourceRegion& region,
                 const char* word, Boundary& start, Boundary& end) {
  Boundary from;
  Boundary to;
  const bool finite =
      BoundaryOf(run, region, region.from, from) && BoundaryOf(run, region, region.to, to);
  if (finite && from.frame >= to.frame) {
    region.fate = RegionFate::kEmpty;
    Warn(run.diagnostics, region.line, kRegionEmpty, RegionName(run, region, word).c_str(), task,
         TaskUnits(run, from.frame).c_str(), TaskUnits(run, to.frame).c_str());
    return false;
  }
  if (!finite || to.frame <= entry.readStart || from.frame >= entry.readEnd) {
    region.fate = RegionFate::kOutside;
    Warn(run.diagnostics, region.line, kRegionOutside, RegionName(run, region, word).c_str(), task,
         TaskUnits(run, entry.readStart).c_str(), TaskUnits(run, entry.readEnd).c_str());
    return false;
  }
  start = from.frame <= entry.readStart ? Boundary{entry.readStart, entry.xin} : from;
  end = to.frame >= entry.readEnd ? Boundary{entry.readEnd, entry.xout} : to;
  region.fate = RegionFate::kApplied;
  region.startFrame = start.frame;
  region.endFrame = end.frame;
  return true;
}

// A region with its clipped boundaries, for merging.
struct Placed {
  Boundary start;
  Boundary end;
  SourceRegion region;  // the first of the regions merged into it
};

// The applied regions of list in source order, overlapping or touching ones merged.
std::vector<Placed> MergedRegions(RunState& run, const EditEntry& entry, int32_t task,
                                  std::vector<SourceRegion>& list, const char* word) {
  std::vector<Placed> placed;
  for (SourceRegion& region : list) {
    Placed item;
    if (PlaceRegion(run, entry, task, region, word, item.start, item.end)) {
      item.region = region;
      placed.push_back(item);
    }
  }
  std::stable_sort(placed.begin(), placed.end(),
                   [](const Placed& a, const Placed& b) { return a.start.frame < b.start.frame; });
  std::vector<Placed> merged;
  for (const Placed& item : placed) {
    if (!merged.empty() && item.start.frame <= merged.back().end.frame) {
      if (item.end.frame > merged.back().end.frame) merged.back().end = item.end;
      continue;
    }
    merged.push_back(item);
  }
  for (Placed& item : merged) {
    item.region.startFrame = item.start.frame;
    item.region.endFrame = item.end.frame;
  }
  return merged;
}

// The parts of parts that the cuts leave, in source order.
std::vector<KeptPart> CutWithin(const std::vector<KeptPart>& parts,
                                const std::vector<Placed>& cuts) {
  std::vector<KeptPart> left;
  for (KeptPart rest : parts) {
    for (const Placed& cut : cuts) {
      if (cut.end.frame <= rest.start.frame || cut.start.frame >= rest.end.frame) continue;
      if (cut.start.frame > rest.start.frame)
        left.push_back({rest.start, cut.start, rest.cutBefore});
      rest.start = cut.end;
      rest.cutBefore = cut.region;
      if (rest.start.frame >= rest.end.frame) break;
    }
    if (rest.start.frame < rest.end.frame) left.push_back(rest);
  }
  return left;
}

// The kept regions themselves, each with the region it comes from.
std::vector<KeptPart> KeptRegions(const std::vector<Placed>& keeps) {
  std::vector<KeptPart> parts;
  for (const Placed& keep : keeps) parts.push_back({keep.start, keep.end, keep.region});
  return parts;
}

// The note of what an edit loses.
void NoteRemoved(RunState& run, const EditEntry& entry, int32_t cutCount, int32_t keptCount,
                 int64_t keptFrames) {
  const std::string removed = TaskUnits(run, entry.readLength - keptFrames);
  if (keptCount > 0) {
    Note(run.diagnostics, entry.line, kKeepsKeep, keptCount, keptCount == 1 ? "region" : "regions",
         TaskUnits(run, keptFrames).c_str(), entry.sourcePath.c_str(), removed.c_str());
  } else if (cutCount > 0) {
    Note(run.diagnostics, entry.line, kCutsRemove, cutCount, cutCount == 1 ? "cut" : "cuts",
         cutCount == 1 ? "removes" : "remove", removed.c_str(), entry.sourcePath.c_str());
  }
}

int32_t AppliedCount(const std::vector<SourceRegion>& list) {
  return static_cast<int32_t>(std::count_if(list.begin(), list.end(), [](const SourceRegion& r) {
    return r.fate == RegionFate::kApplied;
  }));
}

// The pieces of one edit with cuts or keeps (task: its number).
std::vector<EditEntry> PiecesOf(RunState& run, EditEntry entry, int32_t task) {
  // Keeps decide what stays of the span, and cuts cut within that.
  std::vector<KeptPart> parts{{{entry.readStart, entry.xin}, {entry.readEnd, entry.xout}, {}}};
  if (!entry.keeps.empty()) {
    parts = KeptRegions(MergedRegions(run, entry, task, entry.keeps, "kept region"));
  }
  parts = CutWithin(parts, MergedRegions(run, entry, task, entry.cuts, "cut"));
  if (parts.empty()) {
    run.refusedLine = entry.line;
    Fail(kExitTask, msg::kNothingLeft, entry.sourcePath.c_str());
  }
  int64_t keptFrames = 0;
  for (const KeptPart& part : parts) keptFrames += part.end.frame - part.start.frame;
  NoteRemoved(run, entry, AppliedCount(entry.cuts), AppliedCount(entry.keeps), keptFrames);

  std::vector<EditEntry> pieces;
  const int32_t count = static_cast<int32_t>(parts.size());
  for (int32_t k = 0; k < count; ++k) {
    const KeptPart& part = parts[static_cast<size_t>(k)];
    EditEntry& piece = pieces.emplace_back(entry);
    if (k > 0) {
      // The edit's values but not its placement, crossfade, fade in, marks or regions: a piece
      // after the first is appended to the one before, and the region left out between them is the
      // one the report names.
      piece.cuts.clear();
      piece.keeps.clear();
      piece.marks.clear();
      piece.append = 1;
      piece.insLine = 0;
      piece.xfType = 0;
      piece.xfLine = 0;
      piece.xfWidth = EditEntry().xfWidth;
      piece.finType = 0;
      piece.finLine = 0;
      piece.cutBefore = part.cutBefore;
      piece.cutBefore.startFrame = parts[static_cast<size_t>(k - 1)].end.frame;
      piece.cutBefore.endFrame = part.start.frame;
    }
    if (k + 1 < count) {
      piece.foutType = 0;
      piece.foutLine = 0;
    }
    piece.xin = part.start.value;
    piece.xout = part.end.value;
    piece.readStart = part.start.frame;
    piece.readEnd = part.end.frame;
    piece.readLength = part.end.frame - part.start.frame;
    piece.task = task;
    piece.piece = k + 1;
    piece.pieces = count;
  }
  return pieces;
}

}  // namespace

void ExpandCuts(RunState& run) {
  bool any = false;
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = run.entries[static_cast<size_t>(j)];
    any = any || !entry.cuts.empty() || !entry.keeps.empty();
  }
  if (!any) return;
  std::vector<EditEntry> expanded;
  expanded.reserve(MAX_EDITS);
  for (int32_t j = 0; j < run.entryCount; ++j) {
    EditEntry& entry = run.entries[static_cast<size_t>(j)];
    if (entry.cuts.empty() && entry.keeps.empty()) {
      expanded.push_back(entry);
      expanded.back().task = j + 1;
      continue;
    }
    for (EditEntry& piece : PiecesOf(run, entry, j + 1)) expanded.push_back(std::move(piece));
  }
  const int32_t count = static_cast<int32_t>(expanded.size());
  if (count > MAX_EDITS) Fail(kExitTask, msg::kTooManyPieces, count, MAX_EDITS);
  run.entries = std::move(expanded);
  run.entryCount = count;
  run.refusedLine = 0;
}

int32_t TaskNumber(const RunState& run, int32_t index) {
  const int32_t task = run.entries[static_cast<size_t>(index)].task;
  return task > 0 ? task : index + 1;
}

std::string TaskName(const RunState& run, int32_t index) {
  const EditEntry& entry = run.entries[static_cast<size_t>(index)];
  std::string name = std::to_string(TaskNumber(run, index));
  if (entry.piece > 0) name += " piece " + std::to_string(entry.piece);
  return name;
}

int32_t LastPieceOf(const RunState& run, int32_t index) {
  const EditEntry& entry = run.entries[static_cast<size_t>(index)];
  if (entry.piece == 0) return index;
  return index + (entry.pieces - entry.piece);
}

std::string CutOrigin(const SourceRegion& region) {
  if (!region.labelFile.empty()) {
    return " (" + region.labelFile + ":" + std::to_string(region.labelLine) + ")";
  }
  return " (line " + std::to_string(region.line) + ")";
}

void CheckCutJoins(RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = run.entries[static_cast<size_t>(j)];
    if (entry.piece < 2 || entry.xfType == 0) continue;
    const HandlesCrossfade handles = HandlesOfEntry(run, j);
    const HandlesZoneKind kind = handles.zone.kind;
    if (handles.outgoing < 0 ||
        (kind != HandlesZoneKind::kShrunk && kind != HandlesZoneKind::kNone)) {
      continue;
    }
    const SourceRegion& cut = entry.cutBefore;
    const std::string name = RegionName(run, cut, "cut");
    const std::string length = TaskUnits(run, cut.endFrame - cut.startFrame);
    const int64_t half = handles.askedSamples - handles.askedSamples / 2;
    if (kind == HandlesZoneKind::kNone) {
      Warn(run.diagnostics, cut.line, kShortCutNone, name.c_str(), entry.task, length.c_str(),
           TaskUnits(run, half).c_str());
    } else {
      Warn(run.diagnostics, cut.line, kShortCut, name.c_str(), entry.task, length.c_str(),
           TaskUnits(run, half).c_str(), TaskUnits(run, handles.askedSamples).c_str(),
           TaskUnits(run, handles.zone.xfSamples).c_str());
    }
  }
}

}  // namespace wavsplice
