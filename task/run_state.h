// The state of one run, owned by the driver and passed by reference to every phase: the edit table
// (one entry per `src` of the task file) and the run-level values.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "render/loudness_meter.h"
#include "task/diagnostics.h"
#include "wav/metadata.h"
#include "wav/pcm_format.h"
#include "wav/track_attributes.h"

namespace wavsplice {

constexpr int MAX_EDITS = 512;

// A `mark` line of an edit: a marker at its insert point.
struct EditMark {
  std::string text;
  int32_t line = 0;
};

// What the plan made of a source region of an edit: left out (or kept), ignored because it lies
// outside the span, or ignored because it ends at or before its start.
enum class RegionFate { kGiven, kApplied, kOutside, kEmpty };

// A region of an edit's source named by a `cut` line or by a label of a `cuts` or `keeps` file.
// from and to are task units, or seconds in either mode when inSeconds (a label file's times).
struct SourceRegion {
  double from = 0;
  double to = 0;
  bool inSeconds = false;
  int32_t line = 0;       // task-file line of its `cut`, `cuts` or `keeps`
  std::string labelFile;  // the label file it comes from; empty for `cut`
  int32_t labelLine = 0;
  // After the plan: its source frames within the span, and its fate.
  int64_t startFrame = 0;
  int64_t endFrame = 0;
  RegionFate fate = RegionFate::kGiven;
};

// One edit. Task values are seconds, or samples in sample mode.
struct EditEntry {
  std::string sourcePath;
  double xin = 0;
  double xout = 0;  // after plan resolution: the stop as asked for, trim included
  double ins = 0;   // after the write order: also set for appended entries
  double trim = 0;
  double lvl = 0;          // dB, stored from a 32-bit float
  int32_t append = 1;      // 1 = after the previous edit, 0 = `ins` given
  int32_t xfType = 0;      // 0 = no crossfade, 1..4 = curve
  float xfWidth = 100.0f;  // milliseconds
  int64_t xfSamples = 4410;
  TrackAttributes attributes;
  // Positions and lengths in frames, 64 bits wide: a day of audio at 192 kHz passes 2^31 frames.
  int64_t readStart = 0;
  int64_t readEnd = 0;
  int64_t readLength = 0;
  int64_t insertPoint = 0;
  // Task-file lines (1-based) of the entry's `src`, its `ins` and its `xf`; 0 when not given.
  int32_t line = 0;
  int32_t insLine = 0;
  int32_t xfLine = 0;
  // A fade in over the span's first finWidth ms and a fade out over its last foutWidth ms, along a
  // crossfade curve (type 0: none), and their task-file lines.
  int32_t finType = 0;
  float finWidth = 0.0f;
  int32_t finLine = 0;
  int32_t foutType = 0;
  float foutWidth = 0.0f;
  int32_t foutLine = 0;
  // As the task file gave them, before the plan writes xout and ins back.
  double xoutGiven = 0;
  double insGiven = 0;
  // After the edit is rendered: the values its level and crossfade limited.
  bool rendered = false;
  int64_t clipped = 0;
  // Task-file line of the entry's `lvl`; 0 when not given.
  int32_t lvlLine = 0;
  // Set when the task's `loudness` line gave the entry its level: the span's own integrated
  // loudness (LUFS) and sample peak (dBFS) at level 0.
  bool levelMatched = false;
  double spanLufs = 0;
  double spanPeakDbfs = 0;
  std::vector<EditMark> marks;
  // The regions its `cut` and `cuts` lines leave out, and the regions its `keeps` lines keep; the
  // plan splits such an edit into pieces, each an entry of its own, and keeps the regions on the
  // first piece.
  std::vector<SourceRegion> cuts;
  std::vector<SourceRegion> keeps;
  // Once split: the task number (1-based) of the edit the entry comes from, 0 while it is the
  // edit's own index + 1; and for a piece of an edit with cuts, its number (1-based) and the count
  // of pieces, 0 otherwise.
  int32_t task = 0;
  int32_t piece = 0;
  int32_t pieces = 0;
  // For a piece after the first: the source region left out before it, as merged from the cuts (its
  // frames and the line of its first cut).
  SourceRegion cutBefore;
};

// A marker the destination will carry, where the plan put it.
struct PlannedMarker {
  Marker marker;      // its destination frame, label, note and region
  int32_t entry = 0;  // the edit it comes from
  int32_t line = 0;   // the task-file line that asked for it
};

struct RunState {
  std::string taskPath = "task.txt";
  std::string destPath;       // as the task file names it; every message uses it
  std::string destWritePath;  // where the destination is written: its staged file
  int destFd = -1;            // the staged file, held open by the run's owner of it
  int32_t entryCount = 0;
  int32_t sampleMode = 0;
  // One entry per `src` read (entryCount of them). The reader reserves room for MAX_EDITS at once,
  // so that entries never move and memory is taken only by the entries a task file has.
  std::vector<EditEntry> entries;
  std::vector<int32_t> writeOrder = std::vector<int32_t>(MAX_EDITS, 0);
  int64_t destLength = 0;      // frames
  int64_t destAudioStart = 0;  // file position of its first audio byte, once created
  // Run format, from entry 0; every source shares it.
  PcmFormat format;
  int32_t destLine = 0;  // task-file line of the `dest` in force
  // Task-file lines of `markers` and `keep_metadata` (0: not given).
  int32_t markersLine = 0;
  int32_t keepMetadataLine = 0;
  // What each source carries beside its audio, by path; read only when the task asks for markers or
  // metadata.
  std::map<std::string, SourceMetadata> sourceMetadata;
  // The plan's metadata for the destination: its markers in order, and the edit whose source's
  // bext, iXML and LIST/INFO it takes (-1: none).
  std::vector<PlannedMarker> destMarkers;
  int32_t metadataEntry = -1;
  // Lines before the first `src`: `handles` (crossfades take their material from the sources beyond
  // the spans) and `xf` (the crossfade of every edit with none of its own whose insert point is
  // after the first frame; type 0 and line 0: none given).
  bool handles = false;
  int32_t handlesLine = 0;
  int32_t defaultXfType = 0;
  float defaultXfWidth = 100.0f;
  int32_t defaultXfLine = 0;
  // The task-file line of the `src` or `dest` that a refusal of the plan concerns, while the plan
  // is worked out (0: none); a check names it.
  int32_t refusedLine = 0;
  // What the reader and the plan check found; printed only by a check.
  Diagnostics diagnostics;
  // The program's own messages printed so far, without their line ends, for the JSON report.
  std::vector<std::string> messages;
  // The task's `loudness` line: the integrated loudness (LUFS) each edit without its own `lvl` is
  // brought to.
  int32_t loudnessLine = 0;  // 0: no such line
  double loudnessLufs = 0;
  // The finished destination's loudness, measured for --loudness and --target before it is put in
  // place; targetName is empty without a target.
  bool loudnessMeasured = false;
  LoudnessMeasure loudness;
  std::string targetName;
};

// The first entry that names the same source path as entry j (entry j itself when no earlier one
// does): the one at which each distinct source is read and checked, however many entries name it.
inline const EditEntry& FirstEntryNaming(const RunState& run, int32_t j) {
  const std::string& path = run.entries[static_cast<size_t>(j)].sourcePath;
  int32_t first = 0;
  while (run.entries[static_cast<size_t>(first)].sourcePath != path) ++first;
  return run.entries[static_cast<size_t>(first)];
}

}  // namespace wavsplice
