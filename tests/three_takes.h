// The takes the marker tests render: three one-second 24-bit stereo sources at 48 kHz, each with
// its own markers, the first two with a bext, the first with an iXML; a task that joins spans of
// all three with `markers`, `keep_metadata` and a `mark` line; and the markers a reader must find
// in its destination.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavsplice::testing {

// The first take's time reference, and where its span starts.
constexpr uint64_t kTakeOneTimeReference = 1000000;
constexpr int64_t kTakeOneReadStart = 4800;

// Writes take1.wav, take2.wav, take3.wav and task.txt (destination out.wav) into folder; with
// plain, the task has no marker or metadata line.
void WriteThreeTakes(const std::string& folder, bool plain = false);

struct ExpectedMarker {
  int64_t frame;
  std::string label;
};

// Every marker of the destination, in order.
std::vector<ExpectedMarker> ThreeTakeMarkers();

}  // namespace wavsplice::testing
