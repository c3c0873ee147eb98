// The two crossfade steps around an edit's copy in the render loop, and the
// life of the crossfade temp file: made and filled before the copy, laid
// over the splice and deleted after it.
#pragma once

#include <cstdint>

#include "render/render_loop.h"

namespace wavsplice {

// Frames of a crossfade of xfWidth milliseconds at sampleRate:
// trunc(float(sampleRate x xfWidth) / 1000). False when the result does not
// fit a signed 32-bit count.
bool CrossfadeSamples(int32_t sampleRate, float xfWidth, int32_t& xfSamples);

// Before the copy: works out entry.xfSamples, writes the temp file's header
// and generates the crossfade into it. On failure prints "Could not generate
// crossfade" and sets edit.xfType to 0. Adds the values the crossfade
// limited to crossfadeClipped.
void PrepareCrossfade(const RenderTarget& target, EditRender& edit, int64_t& crossfadeClipped);

// After the copy: lays the temp file over the destination from
// insertPoint - xfSamples / 2 when that is 1 or more, then deletes the temp
// file. Returns true when the crossfade was placed.
bool PlaceCrossfade(const RenderTarget& target, const EditRender& edit);

}  // namespace wavsplice
