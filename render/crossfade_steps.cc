#include "render/crossfade_steps.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "common/failure.h"
#include "common/int64_range.h"
#include "common/path_text.h"
#include "render/crossfade.h"
#include "render/crossfade_fit.h"
#include "render/insert_file.h"
#include "render/span_copy.h"
#include "wav/chunk_scan.h"
#include "wav/wav_header.h"
#include "wav/wav_writer.h"

namespace wavsplice {

namespace {

[[noreturn]] void FailToWrite(const RenderTarget& target) {
  Fail(kExitFile, "Cannot write to file %s\n", target.destPath.c_str());
}

// Works out the crossfade's frames and, when it fits, generates it into a
// new scratch file with generate(scratchPath), which returns CROSSFADE's
// result.
template <typename Generate>
std::optional<StagedFile> MakeCrossfade(const RenderTarget& target, EditRender& edit,
                                        const Generate& generate) {
  // A crossfade whose frames lie beyond any file offset, in the destination
  // or in its own scratch file, cannot be written: it fails like any other.
  int result = kCrossfadeDestinationFailed;
  std::optional<StagedFile> scratch;
  if (CrossfadeSamples(target.format.sampleRate, edit.xfWidth, edit.xfSamples) &&
      CrossfadeWithinReach(edit.insertPoint, edit.xfSamples, target.format.FrameBytes())) {
    scratch = StagedFile::Create(target.destWritePath, ScratchLabel(target.destPath));
    if (!scratch) FailToWrite(target);
    if (MAKE_HEADER(scratch->path(), target.format, edit.xfSamples) != WriteResult::kOk) {
      FailToWrite(target);
    }
    result = generate(scratch->path());
    // A full disk or a size limit is a failed run, never a crossfade left out.
    if (result == kCrossfadeTempFailed) FailToWrite(target);
  }
  if (result != kCrossfadeOk) {
    std::puts("Could not generate crossfade");
    edit.xfType = 0;
    return std::nullopt;
  }
  return scratch;
}

}  // namespace

bool CrossfadeSamples(int32_t sampleRate, float xfWidth, int64_t& xfSamples) {
  if (!(xfWidth > 0)) return true;  // keeps its value, NaN included
  const float product = static_cast<float>(sampleRate) * xfWidth;
  return TruncToInt64(static_cast<double>(product) / 1000.0, xfSamples);
}

std::optional<StagedFile> PrepareCrossfade(const RenderTarget& target, EditRender& edit,
                                           int64_t& crossfadeClipped) {
  return MakeCrossfade(target, edit, [&](const std::string& scratchPath) {
    return CROSSFADE(edit.insertPoint, edit.readStart, edit.xfSamples, edit.xfType,
                     target.destWritePath, edit.sourcePath, scratchPath, target.format,
                     edit.levelDb, crossfadeClipped);
  });
}

std::optional<StagedFile> PrepareCrossfade(const RenderTarget& target, EditRender& edit,
                                           const OpenAudio& dest, const OpenAudio& source,
                                           int64_t& crossfadeClipped) {
  return MakeCrossfade(target, edit, [&](const std::string& scratchPath) {
    return CROSSFADE(edit.insertPoint, edit.readStart, edit.xfSamples, edit.xfType, dest, source,
                     scratchPath, target.format, edit.levelDb, crossfadeClipped);
  });
}

bool PlaceCrossfade(const RenderTarget& target, const EditRender& edit, StagedFile scratch) {
  const int64_t start = edit.insertPoint - edit.xfSamples / 2;
  if (start < 1) return false;
  // Whatever goes wrong with the scratch file goes wrong with the destination.
  INSERT_FILE(Destination(target), NamedPath(scratch.path(), target.destPath), start, target.format,
              CrossfadeFramesPlaced(edit.insertPoint, edit.xfSamples, target.destLength), 0, 0.0);
  return true;
}

bool PlaceCrossfade(const RenderTarget& target, const EditRender& edit, StagedFile scratch,
                    const OpenAudio& dest, KernelCopy& kernel) {
  const int64_t start = edit.insertPoint - edit.xfSamples / 2;
  if (start < 1) return false;
  // Whatever goes wrong with the scratch file goes wrong with the destination.
  FileHandle frames = OpenFile(scratch.path(), "rb");
  if (!frames) Fail(kExitFile, "Cannot open file %s\n", target.destPath.c_str());
  const OpenAudio scratchAudio{fileno(frames.get()),
                               DataOffsetOrFail(frames.get(), target.destPath)};
  CopySpan(dest, scratchAudio, target.format, start, 0,
           CrossfadeFramesPlaced(edit.insertPoint, edit.xfSamples, target.destLength), 0.0,
           target.destPath, kernel);
  return true;
}

int64_t FadeFrames(int32_t sampleRate, float xfWidth, int64_t readLength) {
  int64_t frames = 0;
  if (!CrossfadeSamples(sampleRate, xfWidth, frames)) frames = readLength;
  return std::clamp<int64_t>(frames, 0, readLength);
}

namespace {

// One fade of the edit, over frames [start, start + frames) of the
// destination: generated into a scratch file and laid there.
int64_t ApplyFade(const RenderTarget& target, const EditRender& edit, bool fadeIn, int xfType,
                  int64_t frames, const OpenAudio& dest, const OpenAudio& source,
                  KernelCopy& kernel) {
  if (xfType == 0 || frames <= 0) return 0;
  std::optional<StagedFile> scratch =
      StagedFile::Create(target.destWritePath, ScratchLabel(target.destPath));
  if (!scratch) FailToWrite(target);
  if (MAKE_HEADER(scratch->path(), target.format, frames) != WriteResult::kOk) FailToWrite(target);
  const int64_t start =
      fadeIn ? edit.fadeInsertPoint : edit.fadeInsertPoint + edit.fadeLength - frames;
  int64_t clipped = 0;
  const int result = fadeIn ? FADE(true, source, edit.fadeReadStart, frames, xfType,
                                   scratch->path(), target.format, edit.levelDb, clipped)
                            : FADE(false, dest, start, frames, xfType, scratch->path(),
                                   target.format, edit.levelDb, clipped);
  if (result != kCrossfadeOk) FailToWrite(target);
  FileHandle faded = OpenFile(scratch->path(), "rb");
  if (!faded) Fail(kExitFile, "Cannot open file %s\n", target.destPath.c_str());
  const OpenAudio fadedAudio{fileno(faded.get()), DataOffsetOrFail(faded.get(), target.destPath)};
  CopySpan(dest, fadedAudio, target.format, start, 0, frames, 0.0, target.destPath, kernel);
  return clipped;
}

}  // namespace

int64_t ApplyFades(const RenderTarget& target, const EditRender& edit, const OpenAudio& dest,
                   const OpenAudio& source, KernelCopy& kernel) {
  const int32_t rate = target.format.sampleRate;
  return ApplyFade(target, edit, true, edit.finType,
                   FadeFrames(rate, edit.finWidth, edit.fadeLength), dest, source, kernel) +
         ApplyFade(target, edit, false, edit.foutType,
                   FadeFrames(rate, edit.foutWidth, edit.fadeLength), dest, source, kernel);
}

}  // namespace wavsplice
