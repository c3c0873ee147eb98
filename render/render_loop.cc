#include "render/render_loop.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "common/failure.h"
#include "render/crossfade_steps.h"

namespace wavsplice {

OpenAudio EditRenderer::DestinationAudio() {
  if (!dest_) {
    dest_ = OpenFile(target_.destWritePath, "rb+");
    if (!dest_) Fail(kExitFile, "Cannot open file %s\n", target_.destPath.c_str());
  }
  return OpenAudio{fileno(dest_.get()), target_.destAudioStart};
}

int64_t EditRenderer::Render(EditRender& edit) {
  int64_t crossfadeClipped = 0;
  std::optional<StagedFile> scratch;
  if (edit.xfType != 0) scratch = PrepareCrossfade(target_, edit, crossfadeClipped);
  const OpenAudio dest = DestinationAudio();
  const Descriptor source = OpenCheckedFile(edit.sourcePath);
  if (!source) Fail(kExitFile, "Cannot open file %s\n", edit.sourcePath.c_str());
  int64_t clipped = CopySpan(dest, OpenAudio{source.get(), edit.sourceAudioStart},
                             TargetFormat(target_), edit.insertPoint, edit.readStart,
                             edit.readLength, edit.levelDb, target_.destPath, tools_);
  if (scratch && PlaceCrossfade(target_, edit, std::move(*scratch))) clipped += crossfadeClipped;
  return clipped;
}

void EditRenderer::Finish() {
  if (dest_ && !CloseWritten(dest_)) {
    Fail(kExitFile, "Cannot write to file %s\n", target_.destPath.c_str());
  }
}

}  // namespace wavsplice
