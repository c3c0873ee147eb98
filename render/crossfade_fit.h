// Whether a crossfade can be made at a splice, decided from positions and sizes alone, so that the
// renderer and the plan check give one answer.
#pragma once

#include <cstdint>

#include "wav/pcm_format.h"

namespace wavsplice {

// What becomes of an edit's crossfade: the one vocabulary of the render, the plan check, the report
// and the timeline.
enum class CrossfadeOutcome {
  kNone,                 // no crossfade asked for
  kMade,                 // generated and laid over the splice (or, as a fit: it can be)
  kNotPlaced,            // generated, but it would start at the destination's first frame
  kDestinationTooShort,  // less than half the width of destination before the splice
  kSourceTooShort,       // less than half the width of source before the splice
  kTooLong,              // its frames lie beyond a file offset, or the format has no codec
  kNotWritten,           // its scratch file could not be written: the run fails
};

// Frames of a crossfade of xfWidth milliseconds at sampleRate: trunc(float(sampleRate x xfWidth) /
// 1000). False when the result does not fit a signed 64-bit count.
bool CrossfadeSamples(int32_t sampleRate, float xfWidth, int64_t& xfSamples);

// A crossfade of xfSamples frames centred on destination frame insertPoint and source frame
// readStart starts half = xfSamples / 2 frames before both. It fits (kMade) when both starts lie
// within their files, an end included: 0 <= insertPoint - half <= destFrames and 0 <= readStart -
// half <= sourceFrames; else the side that is too short, the destination tested first.
CrossfadeOutcome FitCrossfade(int64_t insertPoint, int64_t readStart, int64_t xfSamples,
                              int64_t destFrames, int64_t sourceFrames);

// Frames of a crossfade laid from insertPoint - xfSamples / 2 that lie within a destination of
// destFrames frames: the first xfSamples, or fewer when it would run past the destination's end.
// What lies past the end is not written, so that the file ends where its header says.
int64_t CrossfadeFramesPlaced(int64_t insertPoint, int64_t xfSamples, int64_t destFrames);

// Whole frames between a file's first audio byte and its size in bytes; -1 when the audio starts
// past the end of the file.
int64_t FramesInFile(int64_t fileSize, int64_t dataOffset, int64_t frameSize);

// True when a crossfade laid from insertPoint - xfSamples / 2 (0 at the least) ends on a frame a
// file offset reaches (MaxDataFrames): one that does not cannot be written. (Room on the disk is
// the writes' business.)
bool CrossfadeWithinReach(int64_t insertPoint, int64_t xfSamples, int64_t frameSize);

}  // namespace wavsplice
