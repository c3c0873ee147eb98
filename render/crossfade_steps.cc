#include "render/crossfade_steps.h"

#include <algorithm>
#include <string>
#include <utility>

#include "common/failure.h"
#include "common/messages.h"
#include "render/crossfade.h"
#include "render/insert_file.h"

namespace wavsplice {

namespace {

[[noreturn]] void FailToWrite(const RenderTarget& target) {
  Fail(kExitFile, msg::kCannotWriteToFile, target.destPath.c_str());
}

// A new scratch file beside the destination, holding the header of frames frames of the run's
// format.
ScratchFrames MakeScratch(const RenderTarget& target, int64_t frames) {
  std::optional<StagedFile> file =
      StagedFile::Create(target.scratchBeside, ScratchLabel(target.destPath));
  if (!file) FailToWrite(target);
  const int fd = file->fd();
  ScratchFrames scratch{std::move(*file), WavWriter(fd, target.format, target.destPath)};
  if (!MAKE_HEADER(scratch.wav, frames)) FailToWrite(target);
  return scratch;
}

// Lays frames frames of the scratch file over the destination from frame start.
void LayScratch(const RenderTarget& target, const ScratchFrames& scratch, int64_t start,
                int64_t frames, KernelCopy& kernel) {
  const OpenAudio audio{scratch.wav.fd(), scratch.wav.audioStart()};
  INSERT_FILE(target.dest, audio, target.format, start, 0, frames, 0.0, target.destPath, kernel);
}

}  // namespace

PreparedCrossfade PrepareCrossfade(const RenderTarget& target, const EditRender& edit,
                                   const OpenAudio& source) {
  PreparedCrossfade prepared;
  prepared.xfSamples = edit.xfSamples;
  // A crossfade whose frames lie beyond any file offset, in the destination or in its own scratch
  // file, cannot be written: it fails like any other.
  if (!CrossfadeSamples(target.format.sampleRate, edit.xfWidth, prepared.xfSamples) ||
      !CrossfadeWithinReach(edit.insertPoint, prepared.xfSamples, target.format.FrameBytes())) {
    prepared.outcome = CrossfadeOutcome::kTooLong;
    return prepared;
  }
  ScratchFrames scratch = MakeScratch(target, prepared.xfSamples);
  prepared.outcome = CROSSFADE(edit.insertPoint, edit.readStart, prepared.xfSamples, edit.xfType,
                               target.dest, source, scratch.wav, edit.levelDb, prepared.clipped);
  // A full disk or a size limit is a failed run, never a crossfade left out.
  if (prepared.outcome == CrossfadeOutcome::kNotWritten) FailToWrite(target);
  if (prepared.outcome == CrossfadeOutcome::kMade) prepared.frames.emplace(std::move(scratch));
  return prepared;
}

CrossfadeOutcome PlaceCrossfade(const RenderTarget& target, const EditRender& edit,
                                PreparedCrossfade& prepared, KernelCopy& kernel) {
  if (!prepared.frames) return prepared.outcome;
  const std::optional<ScratchFrames> frames = std::move(prepared.frames);
  prepared.frames.reset();
  const int64_t start = edit.insertPoint - prepared.xfSamples / 2;
  if (start < 1) return CrossfadeOutcome::kNotPlaced;
  LayScratch(target, *frames, start,
             CrossfadeFramesPlaced(edit.insertPoint, prepared.xfSamples, target.destLength),
             kernel);
  return CrossfadeOutcome::kMade;
}

int64_t FadeFrames(int32_t sampleRate, float xfWidth, int64_t readLength) {
  int64_t frames = 0;
  if (!CrossfadeSamples(sampleRate, xfWidth, frames)) frames = readLength;
  return std::clamp<int64_t>(frames, 0, readLength);
}

namespace {

// One fade of the edit, over frames [start, start + frames) of the destination: generated into a
// scratch file and laid there.
int64_t ApplyFade(const RenderTarget& target, const EditRender& edit, bool fadeIn, int xfType,
                  int64_t frames, const OpenAudio& source, KernelCopy& kernel) {
  if (xfType == 0 || frames <= 0) return 0;
  ScratchFrames scratch = MakeScratch(target, frames);
  const int64_t start =
      fadeIn ? edit.fadeInsertPoint : edit.fadeInsertPoint + edit.fadeLength - frames;
  int64_t clipped = 0;
  const CrossfadeOutcome outcome =
      fadeIn ? FADE(true, source, edit.fadeReadStart, frames, xfType, scratch.wav, edit.levelDb,
                    clipped)
             : FADE(false, target.dest, start, frames, xfType, scratch.wav, edit.levelDb, clipped);
  if (outcome != CrossfadeOutcome::kMade) FailToWrite(target);
  LayScratch(target, scratch, start, frames, kernel);
  return clipped;
}

}  // namespace

int64_t ApplyFades(const RenderTarget& target, const EditRender& edit, const OpenAudio& source,
                   KernelCopy& kernel) {
  const int32_t rate = target.format.sampleRate;
  return ApplyFade(target, edit, true, edit.finType,
                   FadeFrames(rate, edit.finWidth, edit.fadeLength), source, kernel) +
         ApplyFade(target, edit, false, edit.foutType,
                   FadeFrames(rate, edit.foutWidth, edit.fadeLength), source, kernel);
}

}  // namespace wavsplice
