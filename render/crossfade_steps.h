// The two crossfade steps around an edit's copy in the render loop, and the life of the crossfade's
// scratch file: made and filled before the copy, laid over the splice and removed after it. Each
// crossfade and fade has a scratch file of its own, beside the destination's staged file, so runs
// never share one; each is opened once, when it is made, and written and read through that
// descriptor.
#pragma once

#include <cstdint>
#include <optional>

#include "common/kernel_copy.h"
#include "common/staged_file.h"
#include "render/edit_render.h"
#include "wav/wav_writer.h"

namespace wavsplice {

// A scratch file and its writer.
struct ScratchFrames {
  StagedFile file;
  WavWriter wav;
};

// A crossfade made before the copy: its outcome (kMade, or why it was not made), its frames and the
// values it limited.
struct PreparedCrossfade {
  CrossfadeOutcome outcome = CrossfadeOutcome::kNone;
  int64_t xfSamples = 0;
  int64_t clipped = 0;
  std::optional<ScratchFrames> frames;  // when made
};

// Before the copy: works out the crossfade's frames and generates it from the destination and the
// edit's source into a new scratch file. A crossfade that cannot be made (its geometry or the
// format) leaves no scratch file. A scratch file that cannot be created or written ends the run
// ("Cannot write to file", naming target.destPath, exit status 2).
PreparedCrossfade PrepareCrossfade(const RenderTarget& target, const EditRender& edit,
                                   const OpenAudio& source);

// After the copy: lays a made crossfade over the destination from insertPoint - xfSamples / 2 when
// that is 1 or more (else kNotPlaced), up to the end of the destination's target.destLength frames
// (CrossfadeFramesPlaced), through the kernel pipe of the other copies; the scratch file is
// removed. Returns the crossfade's final outcome.
CrossfadeOutcome PlaceCrossfade(const RenderTarget& target, const EditRender& edit,
                                PreparedCrossfade& prepared, KernelCopy& kernel);

// Frames of a fade of xfWidth milliseconds over a span of readLength frames: as CrossfadeSamples (0
// for a width not above 0), no more than the span.
int64_t FadeFrames(int32_t sampleRate, float xfWidth, int64_t readLength);

// After the copy (and its crossfade): the edit's fade in over the first frames of its span, then
// its fade out over the last, each generated into a scratch file of its own and laid over the span.
// Returns the number of values the fades limited. A scratch file that cannot be written ends the
// run as a crossfade's does.
int64_t ApplyFades(const RenderTarget& target, const EditRender& edit, const OpenAudio& source,
                   KernelCopy& kernel);

}  // namespace wavsplice
