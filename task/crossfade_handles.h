// Crossfades with handles: with `handles` in the task file a crossfade takes its material from the
// sources beyond the spans, so that the edit points stay where the task file puts them. The
// outgoing side continues the source of the edit heard before the splice past its span, and the
// zone goes where both sources have material. Each such crossfade is, in plain terms, a task
// without handles: the outgoing edit's span extended to the end of the zone, the incoming edit's
// read start and insert point moved together; the render, the check, the report and the timeline
// all work from that plan.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "task/run_state.h"

namespace wavsplice {

enum class HandlesZoneKind {
  kCentred,  // centred on the splice, as without handles
  kMoved,    // starts fewer or more than half its frames before the splice
  kShrunk,   // the sources hold less than its width: as long as they allow
  kNone,     // they hold less than 2 frames: no crossfade
};

struct HandlesZone {
  HandlesZoneKind kind = HandlesZoneKind::kCentred;
  int64_t xfSamples = 0;  // frames of the crossfade (0 for kNone)
  int64_t before = 0;     // of them, the frames before the splice
};

// Where a crossfade of xfSamples frames goes at a splice with pre frames of the incoming source
// before its span and post frames of the outgoing source from the frame that lands on the splice on
// (no more than the incoming span holds). half = xfSamples / 2. Centred when pre >= half and post
// >= xfSamples - half; otherwise it starts `before` frames before the splice, the most of half and
// pre that leaves post enough, else xfSamples - post; when pre + post < xfSamples it shrinks to pre
// + post frames with pre of them before the splice, and below 2 frames it is none.
HandlesZone PlaceHandlesZone(int64_t xfSamples, int64_t pre, int64_t post);

// An edit's crossfade with handles.
struct HandlesCrossfade {
  int32_t outgoing = -1;     // entry whose source gives the outgoing side; -1: no handles
  int64_t askedSamples = 0;  // frames of the crossfade asked for
  int64_t pre = 0;           // incoming source frames before the span
  int64_t post = 0;          // outgoing source frames from the splice on, as limited
  HandlesZone zone;
  // Frames the splice moves by in plain terms (later when positive): xfSamples / 2 - before.
  int64_t shift = 0;
  int64_t destStart = 0;  // first destination frame of the zone
};

// True when the entry's crossfade takes its material from the sources: in a task with `handles`,
// and at every join between the pieces of an edit with cuts, whose material is the region cut
// there.
bool TakesHandles(const RunState& run, const EditEntry& entry);

// For every entry of a planned run (insert points set, attributes read), by entry index: its
// crossfade with handles. Entries without a crossfade, without `handles`, or with no edit written
// before them that covers the frame before their insert point have outgoing -1.
std::vector<HandlesCrossfade> PlanHandles(const RunState& run);
// The same for one entry, by its index.
HandlesCrossfade HandlesOfEntry(const RunState& run, int32_t index);

// The entries of the run as a task without handles would give them: each crossfade with handles
// moved, shrunk or left out, each outgoing span extended to the end of the zones it feeds. The
// crossfade frames are fixed (xfWidth 0 keeps xfSamples). The run itself without `handles`.
std::vector<EditEntry> EntriesWithHandles(const RunState& run,
                                          const std::vector<HandlesCrossfade>& handles);

// The run with its entries as EntriesWithHandles gives them (the run unchanged when no crossfade
// takes handles), for the functions that read a plan.
RunState PlainPlan(const RunState& run);

// The same plan without a copy where it is the run itself (no handles and no joins between pieces):
// the run, or PlainPlan(run) kept in storage. A plan of hundreds of edits is then held once.
const RunState& PlainPlanOf(const RunState& run, std::optional<RunState>& storage);

// Gives the default crossfade (`xf` before the first `src`) to every entry with no `xf` of its own
// whose insert point is after frame 0.
void ApplyDefaultCrossfade(RunState& run);

}  // namespace wavsplice
