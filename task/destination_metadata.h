// What the destination carries beside its audio: the markers the task asks for (`mark` lines, and
// with `markers` one at every edit's first frame and every source marker its spans keep, each moved
// to the frame where its source frame lands), and with `keep_metadata` the bext, iXML and LIST/INFO
// of the source heard at the destination's first frame.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "task/run_state.h"
#include "wav/metadata.h"

namespace wavsplice {

// The highest frame a cue point's 32-bit fields can hold.
constexpr int64_t kLastMarkerFrame = 0xFFFFFFFFll;

// The label of an edit's first frame: the source's name and the source time of the frame,
// "take2.wav 0:00.400" (minutes, seconds, milliseconds, rounded to the nearest millisecond).
std::string SourceTimeLabel(const std::string& sourcePath, int64_t frame, int32_t sampleRate);

// Whether the task asks for markers: `markers`, or a `mark` line.
bool AsksForMarkers(const RunState& run);

// Fills run.destMarkers (in frame order) and run.metadataEntry for a planned run (write order,
// insert points and destLength set), and adds the notes of markers dropped because a later edit
// overwrites their frame, the warnings of markers past kLastMarkerFrame, and the notes of sources
// whose markers or bext could not be read. Does nothing for a task that asks for no markers and no
// metadata.
void PlanDestinationMetadata(RunState& run);

// The bext the destination carries (version 2), made at the local time now: the Description and
// CodingHistory of the source of run.metadataEntry, Originator "wavsplice", the loudness fields
// "not measured", the TimeReference moved by that edit's read start, and a line of coding history
// for this run. For a run whose metadataEntry's source has a bext.
BroadcastExtension DestinationBext(const RunState& run, const std::tm& now);

// Everything the destination's header carries before its audio, with the bext made at the local
// time now.
DestinationMetadata DestinationMetadataOf(const RunState& run, const std::tm& now);

// The source whose metadata the destination takes, and what of it: "bext, iXML, LIST/INFO", "" when
// the source has none.
std::string CarriedChunks(const RunState& run);

}  // namespace wavsplice
