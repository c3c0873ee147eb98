#include "task/destination_metadata.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "task/crossfade_plan.h"
#include "task/cut_list.h"
#include "task/version.h"

namespace wavsplice {

namespace {

const EditEntry& EntryAt(const RunState& run, int32_t index) {
  return run.entries[static_cast<size_t>(index)];
}

int64_t EndOf(const EditEntry& entry) { return entry.insertPoint + entry.readLength; }

// The edit written after write position k that overwrites destination frame, not blending it in its
// crossfade; -1 when none does.
int32_t OverwrittenBy(const RunState& run, int32_t k, int64_t frame) {
  for (int32_t later = k + 1; later < run.entryCount; ++later) {
    const int32_t index = run.writeOrder[static_cast<size_t>(later)];
    const EditEntry& entry = EntryAt(run, index);
    if (frame < entry.insertPoint || frame >= EndOf(entry)) continue;
    const CrossfadePlan plan = PlanCrossfade(run, entry);
    const bool blended = plan.outcome == CrossfadeOutcome::kMade && frame >= plan.destStart &&
                         frame - plan.destStart < plan.xfSamples;
    if (!blended) return index;
  }
  return -1;
}

// The source's markers inside the edit's span, moved to their destination frames; a region's length
// is cut at the span's end.
void AddCarriedMarkers(const RunState& run, int32_t index, std::vector<PlannedMarker>& markers) {
  const EditEntry& entry = EntryAt(run, index);
  const auto source = run.sourceMetadata.find(entry.sourcePath);
  if (source == run.sourceMetadata.end()) return;
  for (const Marker& marker : source->second.markers) {
    if (marker.frame < entry.readStart || marker.frame >= entry.readEnd) continue;
    PlannedMarker& planned = markers.emplace_back();
    planned.marker = marker;
    planned.marker.frame = entry.insertPoint + (marker.frame - entry.readStart);
    if (marker.isRegion) {
      const int64_t left = entry.readEnd - marker.frame;
      planned.marker.region.length =
          static_cast<uint32_t>(std::min<int64_t>(marker.region.length, left));
    }
    planned.entry = index;
    planned.line = entry.line;
  }
}

// Every marker the task asks for at the edit of write position k, in the order: its first frame,
// its `mark` lines, the source's own.
std::vector<PlannedMarker> MarkersOfEdit(const RunState& run, int32_t index) {
  const EditEntry& entry = EntryAt(run, index);
  std::vector<PlannedMarker> markers;
  if (entry.readLength <= 0) return markers;
  if (run.markersLine != 0) {
    PlannedMarker& join = markers.emplace_back();
    join.marker.frame = entry.insertPoint;
    join.marker.label = SourceTimeLabel(entry.sourcePath, entry.readStart, run.format.sampleRate);
    join.entry = index;
    join.line = run.markersLine;
  }
  for (const EditMark& mark : entry.marks) {
    PlannedMarker& planned = markers.emplace_back();
    planned.marker.frame = entry.insertPoint;
    planned.marker.label = mark.text;
    planned.entry = index;
    planned.line = mark.line;
  }
  if (run.markersLine != 0) AddCarriedMarkers(run, index, markers);
  return markers;
}

std::string MarkerName(const Marker& marker) {
  return marker.label.empty() ? std::string("(unnamed)") : "'" + marker.label + "'";
}

void NoteSourceFaults(RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = EntryAt(run, j);
    if (&FirstEntryNaming(run, j) != &entry) continue;
    const auto source = run.sourceMetadata.find(entry.sourcePath);
    if (source == run.sourceMetadata.end()) continue;
    const char* path = entry.sourcePath.c_str();
    for (const MetadataFaultAt& fault : source->second.faults) {
      const char* tag = fault.chunk.c_str();
      switch (fault.fault) {
        case MetadataFault::kCueCountTooLarge:
          Note(run.diagnostics, entry.line,
               "the markers of %s are ignored: its cue chunk counts more points than it holds",
               path);
          break;
        case MetadataFault::kAdtlEntryTooLarge:
          Note(run.diagnostics, entry.line,
               "the marker names of %s are ignored: an entry of its adtl list does not fit it",
               path);
          break;
        case MetadataFault::kLabelWithoutCue:
          Note(run.diagnostics, entry.line,
               "the marker names of %s are ignored: its adtl list names a cue point it does not "
               "have",
               path);
          break;
        case MetadataFault::kTextWithoutZero:
          Note(run.diagnostics, entry.line,
               "the marker names of %s are ignored: a label's text lacks its terminating zero",
               path);
          break;
        case MetadataFault::kBextTooShort:
          Note(run.diagnostics, entry.line,
               "the bext chunk of %s is ignored: it is shorter than its 602 bytes of fields", path);
          break;
        case MetadataFault::kChunkPastFile:
          Note(run.diagnostics, entry.line,
               "the '%s' chunk of %s is ignored: it runs past the end of the file", tag, path);
          break;
        case MetadataFault::kChunkTooLarge:
          Note(run.diagnostics, entry.line, "the '%s' chunk of %s is ignored: it is over 16 MiB",
               tag, path);
          break;
      }
    }
  }
}

void PlanMarkers(RunState& run) {
  std::vector<PlannedMarker> kept;
  for (int32_t k = 0; k < run.entryCount; ++k) {
    const int32_t index = run.writeOrder[static_cast<size_t>(k)];
    for (PlannedMarker& planned : MarkersOfEdit(run, index)) {
      const int64_t frame = planned.marker.frame;
      const int32_t over = OverwrittenBy(run, k, frame);
      if (over >= 0) {
        Note(run.diagnostics, planned.line,
             "the marker %s of task %i at %s is dropped: task %i overwrites its frame",
             MarkerName(planned.marker).c_str(), TaskNumber(run, index),
             TaskUnits(run, frame).c_str(), TaskNumber(run, over));
      } else if (frame > kLastMarkerFrame) {
        Warn(run.diagnostics, planned.line,
             "the marker %s of task %i at %s is dropped: markers reach frame 4294967295 at most",
             MarkerName(planned.marker).c_str(), TaskNumber(run, index),
             TaskUnits(run, frame).c_str());
      } else {
        kept.push_back(std::move(planned));
      }
    }
  }
  std::stable_sort(kept.begin(), kept.end(), [](const PlannedMarker& a, const PlannedMarker& b) {
    return a.marker.frame < b.marker.frame;
  });
  run.destMarkers = std::move(kept);
}

void PlanMetadataSource(RunState& run) {
  const std::vector<HeardSpan> heard = HeardMap(run);
  if (heard.empty() || heard.front().entry < 0) {
    Note(run.diagnostics, run.keepMetadataLine,
         "no metadata is carried: no edit is heard at the destination's first frame");
    return;
  }
  run.metadataEntry = heard.front().entry;
  if (CarriedChunks(run).empty()) {
    Note(run.diagnostics, run.keepMetadataLine,
         "no metadata is carried: %s, heard at the destination's first frame, has no bext, iXML "
         "or LIST/INFO",
         EntryAt(run, run.metadataEntry).sourcePath.c_str());
  }
}

const SourceMetadata* MetadataSource(const RunState& run) {
  if (run.metadataEntry < 0) return nullptr;
  const auto source = run.sourceMetadata.find(EntryAt(run, run.metadataEntry).sourcePath);
  return source == run.sourceMetadata.end() ? nullptr : &source->second;
}

const char* ChannelMode(int32_t channels) {
  if (channels == 1) return "mono";
  return channels == 2 ? "stereo" : "multichannel";
}

}  // namespace

bool AsksForMarkers(const RunState& run) {
  if (run.markersLine != 0) return true;
  for (int32_t j = 0; j < run.entryCount; ++j) {
    if (!EntryAt(run, j).marks.empty()) return true;
  }
  return false;
}

std::string SourceTimeLabel(const std::string& sourcePath, int64_t frame, int32_t sampleRate) {
  if (sampleRate <= 0) return sourcePath;
  int64_t seconds = frame / sampleRate;
  int64_t milliseconds = ((frame % sampleRate) * 1000 + sampleRate / 2) / sampleRate;
  if (milliseconds == 1000) {
    ++seconds;
    milliseconds = 0;
  }
  char time[64];
  std::snprintf(time, sizeof time, " %" PRId64 ":%02" PRId64 ".%03" PRId64, seconds / 60,
                seconds % 60, milliseconds);
  return sourcePath + time;
}

void PlanDestinationMetadata(RunState& run) {
  run.destMarkers.clear();
  run.metadataEntry = -1;
  NoteSourceFaults(run);
  if (AsksForMarkers(run)) PlanMarkers(run);
  if (run.keepMetadataLine != 0) PlanMetadataSource(run);
}

std::string CarriedChunks(const RunState& run) {
  const SourceMetadata* source = MetadataSource(run);
  if (source == nullptr) return std::string();
  std::string chunks;
  const auto add = [&chunks](bool present, const char* name) {
    if (!present) return;
    if (!chunks.empty()) chunks += ", ";
    chunks += name;
  };
  add(source->hasBext, "bext");
  add(!source->ixml.empty(), "iXML");
  add(!source->info.empty(), "LIST/INFO");
  return chunks;
}

BroadcastExtension DestinationBext(const RunState& run, const std::tm& now) {
  const SourceMetadata* source = MetadataSource(run);
  BroadcastExtension bext;
  if (source == nullptr) return bext;
  const EditEntry& entry = EntryAt(run, run.metadataEntry);
  bext.description = source->bext.description;
  bext.originator = "wavsplice";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", &now);
  bext.originationDate = text;
  std::strftime(text, sizeof text, "%H:%M:%S", &now);
  bext.originationTime = text;
  // The edit heard first starts at frame 0, so the destination's first frame is its source's frame
  // readStart.
  bext.timeReference = source->bext.timeReference + static_cast<uint64_t>(entry.readStart);
  bext.version = 2;
  bext.codingHistory = source->bext.codingHistory;
  const std::string& history = bext.codingHistory;
  if (!history.empty() &&
      (history.size() < 2 || history.compare(history.size() - 2, 2, "\r\n") != 0)) {
    bext.codingHistory += "\r\n";
  }
  char line[128];
  std::snprintf(line, sizeof line, "A=PCM,F=%d,W=%d,M=%s,T=wavsplice %s\r\n", run.format.sampleRate,
                run.format.Bits(), ChannelMode(run.format.channels), kVersion);
  bext.codingHistory += line;
  return bext;
}

DestinationMetadata DestinationMetadataOf(const RunState& run, const std::tm& now) {
  DestinationMetadata metadata;
  for (const PlannedMarker& planned : run.destMarkers) metadata.markers.push_back(planned.marker);
  const SourceMetadata* source = MetadataSource(run);
  if (source == nullptr) return metadata;
  metadata.hasBext = source->hasBext;
  if (metadata.hasBext) metadata.bext = DestinationBext(run, now);
  metadata.ixml = source->ixml;
  metadata.info = source->info;
  return metadata;
}

}  // namespace wavsplice
