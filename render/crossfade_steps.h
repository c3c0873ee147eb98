// The two crossfade steps around an edit's copy in the render loop, and the
// life of the crossfade's scratch file: made and filled before the copy,
// laid over the splice and removed after it. Each crossfade has a scratch
// file of its own, beside the destination's temporary file, so runs never
// share one.
#pragma once

#include <cstdint>
#include <optional>

#include "common/staged_file.h"

#include "render/open_audio.h"
#include "render/render_loop.h"
#include "render/span_copy.h"

namespace wavsplice {

// Frames of a crossfade of xfWidth milliseconds at sampleRate:
// trunc(float(sampleRate x xfWidth) / 1000). False when the result does not
// fit a signed 64-bit count.
bool CrossfadeSamples(int32_t sampleRate, float xfWidth, int64_t& xfSamples);

// Before the copy: works out edit.xfSamples and generates the crossfade into
// a new scratch file, which it returns. When the crossfade cannot be
// generated (its geometry or the format), prints "Could not generate
// crossfade", sets edit.xfType to 0 and returns none. Adds the values the
// crossfade limited to crossfadeClipped. A scratch file that cannot be
// created or written ends the run ("Cannot write to file", naming
// target.destPath, exit status 2).
std::optional<StagedFile> PrepareCrossfade(const RenderTarget& target, EditRender& edit,
                                           int64_t& crossfadeClipped);

// The same over the destination and the edit's source as the render loop
// holds them open (a descriptor of -1: a file that could not be opened, and
// the crossfade fails on that side).
std::optional<StagedFile> PrepareCrossfade(const RenderTarget& target, EditRender& edit,
                                           const OpenAudio& dest, const OpenAudio& source,
                                           int64_t& crossfadeClipped);

// After the copy: lays the scratch file over the destination from
// insertPoint - xfSamples / 2 when that is 1 or more, up to the end of the
// destination's target.destLength frames (CrossfadeFramesPlaced); the
// scratch file is removed on return. Returns true when the crossfade was
// placed.
bool PlaceCrossfade(const RenderTarget& target, const EditRender& edit, StagedFile scratch);

// The same onto the destination the render loop holds open, through the
// kernel pipe of its other copies.
bool PlaceCrossfade(const RenderTarget& target, const EditRender& edit, StagedFile scratch,
                    const OpenAudio& dest, KernelCopy& kernel);

// Frames of a fade of xfWidth milliseconds over a span of readLength
// frames: as CrossfadeSamples (0 for a width not above 0), no more than the
// span.
int64_t FadeFrames(int32_t sampleRate, float xfWidth, int64_t readLength);

// After the copy (and its crossfade): the edit's fade in over the first
// frames of its span, then its fade out over the last, each generated into
// a scratch file of its own and laid over the span. Returns the number of
// values the fades limited. A scratch file that cannot be written ends the
// run as a crossfade's does.
int64_t ApplyFades(const RenderTarget& target, const EditRender& edit, const OpenAudio& dest,
                   const OpenAudio& source, KernelCopy& kernel);

}  // namespace wavsplice
