#include "task/crossfade_handles.h"

#include <algorithm>

#include "render/crossfade_steps.h"

namespace wavsplice {

namespace {

// The latest entry written before position k of the write order whose span covers destination frame
// `frame`; -1 when none does.
int32_t OutgoingEntry(const RunState& run, int32_t k, int64_t frame) {
  int32_t found = -1;
  for (int32_t i = 0; i < k; ++i) {
    const int32_t index = run.writeOrder[static_cast<size_t>(i)];
    const EditEntry& entry = run.entries[static_cast<size_t>(index)];
    if (entry.insertPoint <= frame && frame < entry.insertPoint + entry.readLength) found = index;
  }
  return found;
}

HandlesCrossfade HandlesOf(const RunState& run, int32_t k) {
  HandlesCrossfade handles;
  const EditEntry& entry = run.entries[static_cast<size_t>(run.writeOrder[static_cast<size_t>(k)])];
  if (!TakesHandles(run, entry) || entry.xfType == 0 || entry.insertPoint < 1) return handles;
  int64_t xfSamples = entry.xfSamples;
  if (!CrossfadeSamples(run.format.sampleRate, entry.xfWidth, xfSamples) || xfSamples < 0) {
    return handles;  // too long for any file: it fails as without handles
  }
  const int32_t outgoing = OutgoingEntry(run, k, entry.insertPoint - 1);
  if (outgoing < 0) return handles;
  const EditEntry& before = run.entries[static_cast<size_t>(outgoing)];
  // The outgoing source's frame that lands on the splice, were its span longer.
  const int64_t spliceFrame = before.readStart + (entry.insertPoint - before.insertPoint);
  handles.outgoing = outgoing;
  handles.askedSamples = xfSamples;
  handles.pre = entry.readStart;
  handles.post = std::min(before.attributes.lengthSamples - spliceFrame, entry.readLength);
  if (entry.piece > 1) {
    // A join inside an edit crossfades over the region cut there and no further, so that no audio
    // kept on either side is heard twice.
    const int64_t cut = entry.cutBefore.endFrame - entry.cutBefore.startFrame;
    handles.pre = std::min(handles.pre, cut);
    handles.post = std::min(handles.post, cut);
  }
  handles.zone = PlaceHandlesZone(xfSamples, handles.pre, handles.post);
  handles.shift = handles.zone.xfSamples / 2 - handles.zone.before;
  handles.destStart = entry.insertPoint - handles.zone.before;
  return handles;
}

}  // namespace

HandlesZone PlaceHandlesZone(int64_t xfSamples, int64_t pre, int64_t post) {
  const int64_t half = xfSamples / 2;
  if (pre >= half && post >= xfSamples - half) {
    return {HandlesZoneKind::kCentred, xfSamples, half};
  }
  int64_t before = std::min(half, pre);
  if (post >= xfSamples - before) return {HandlesZoneKind::kMoved, xfSamples, before};
  before = xfSamples - post;
  if (pre >= before) return {HandlesZoneKind::kMoved, xfSamples, before};
  // pre + post < xfSamples: as long as the material allows.
  const int64_t shrunk = pre + post;
  if (shrunk < 2) return {HandlesZoneKind::kNone, 0, 0};
  return {HandlesZoneKind::kShrunk, shrunk, pre};
}

bool TakesHandles(const RunState& run, const EditEntry& entry) {
  return run.handles || entry.piece > 1;
}

std::vector<HandlesCrossfade> PlanHandles(const RunState& run) {
  std::vector<HandlesCrossfade> handles(static_cast<size_t>(run.entryCount));
  for (int32_t k = 0; k < run.entryCount; ++k) {
    handles[static_cast<size_t>(run.writeOrder[static_cast<size_t>(k)])] = HandlesOf(run, k);
  }
  return handles;
}

HandlesCrossfade HandlesOfEntry(const RunState& run, int32_t index) {
  for (int32_t k = 0; k < run.entryCount; ++k) {
    if (run.writeOrder[static_cast<size_t>(k)] == index) return HandlesOf(run, k);
  }
  return HandlesCrossfade();
}

std::vector<EditEntry> EntriesWithHandles(const RunState& run,
                                          const std::vector<HandlesCrossfade>& handles) {
  std::vector<EditEntry> entries(run.entries.begin(), run.entries.begin() + run.entryCount);
  for (size_t j = 0; j < entries.size() && j < handles.size(); ++j) {
    const HandlesCrossfade& made = handles[j];
    if (made.outgoing < 0) continue;
    EditEntry& entry = entries[j];
    if (made.zone.kind == HandlesZoneKind::kNone) {
      entry.xfType = 0;
      continue;
    }
    entry.readStart += made.shift;
    entry.insertPoint += made.shift;
    entry.xfSamples = made.zone.xfSamples;
    entry.xfWidth = 0.0f;  // keeps xfSamples as it is
    // The outgoing span reaches the zone's end; the moves of its own crossfade keep its source and
    // destination frames aligned.
    const EditEntry& written = run.entries[static_cast<size_t>(made.outgoing)];
    const int64_t zoneEnd = made.destStart + made.zone.xfSamples;
    EditEntry& outgoing = entries[static_cast<size_t>(made.outgoing)];
    outgoing.readEnd =
        std::max(outgoing.readEnd, written.readStart + (zoneEnd - written.insertPoint));
  }
  for (EditEntry& entry : entries) entry.readLength = entry.readEnd - entry.readStart;
  return entries;
}

namespace {

// Whether any crossfade takes handles: with `handles`, or at a join between pieces of an edit.
bool TakesHandles(const RunState& run) {
  const auto joinsPieces = [](const EditEntry& entry) { return entry.piece > 1; };
  return run.handles || std::any_of(run.entries.begin(), run.entries.end(), joinsPieces);
}

}  // namespace

RunState PlainPlan(const RunState& run) {
  RunState plain = run;
  if (!TakesHandles(run)) return plain;
  std::vector<EditEntry> entries = EntriesWithHandles(run, PlanHandles(run));
  std::copy(entries.begin(), entries.end(), plain.entries.begin());
  return plain;
}

const RunState& PlainPlanOf(const RunState& run, std::optional<RunState>& storage) {
  if (!TakesHandles(run)) return run;
  storage = PlainPlan(run);
  return *storage;
}

void ApplyDefaultCrossfade(RunState& run) {
  if (run.defaultXfLine == 0) return;
  for (int32_t j = 0; j < run.entryCount; ++j) {
    EditEntry& entry = run.entries[static_cast<size_t>(j)];
    if (entry.xfLine != 0 || entry.insertPoint < 1) continue;
    entry.xfType = run.defaultXfType;
    entry.xfWidth = run.defaultXfWidth;
    entry.xfLine = run.defaultXfLine;
  }
}

}  // namespace wavsplice
