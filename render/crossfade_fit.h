// Whether a crossfade can be made at a splice, decided from positions and
// sizes alone, so that the renderer and the plan check give one answer.
#pragma once

#include <cstdint>

#include "wav/pcm_format.h"

namespace wavsplice {

enum class CrossfadeFit {
  kFits,
  kDestinationTooShort,  // less than half the width of destination before the splice
  kSourceTooShort,       // less than half the width of source before the splice
};

// A crossfade of xfSamples frames centred on destination frame insertPoint
// and source frame readStart starts half = xfSamples / 2 frames before both.
// It fits when both starts lie within their files, an end included:
// 0 <= insertPoint - half <= destFrames and 0 <= readStart - half <=
// sourceFrames. The destination is tested first.
CrossfadeFit FitCrossfade(int64_t insertPoint, int64_t readStart, int64_t xfSamples,
                          int64_t destFrames, int64_t sourceFrames);

// Frames of a crossfade laid from insertPoint - xfSamples / 2 that lie
// within a destination of destFrames frames: the first xfSamples, or fewer
// when it would run past the destination's end. What lies past the end is
// not written, so that the file ends where its header says.
int64_t CrossfadeFramesPlaced(int64_t insertPoint, int64_t xfSamples, int64_t destFrames);

// Whole frames between a file's first audio byte and its size in bytes;
// -1 when the audio starts past the end of the file.
int64_t FramesInFile(int64_t fileSize, int64_t dataOffset, int64_t frameSize);

// True when a crossfade laid from insertPoint - xfSamples / 2 (0 at the
// least) ends on a frame a file offset reaches (MaxDataFrames): one that
// does not cannot be written. (Room on the disk is the writes' business.)
bool CrossfadeWithinReach(int64_t insertPoint, int64_t xfSamples, int64_t frameSize);

}  // namespace wavsplice
