#include "render/render_loop.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "common/failure.h"
#include "render/crossfade_steps.h"

namespace wavsplice {

OpenAudio EditRenderer::TryDestination() {
  if (!dest_ && !destTried_) {
    dest_ = OpenFile(target_.destWritePath, "rb+");
    destTried_ = true;
  }
  return OpenAudio{dest_ ? fileno(dest_.get()) : -1, target_.destAudioStart};
}

namespace {

// Sources kept open from one edit to the next.
constexpr size_t kKeptSources = 8;

}  // namespace

int EditRenderer::SourceDescriptor(const std::string& path) {
  for (auto kept = sources_.begin(); kept != sources_.end(); ++kept) {
    if (kept->first == path) {
      std::rotate(kept, kept + 1, sources_.end());
      return sources_.back().second.get();
    }
  }
  Descriptor opened = OpenCheckedFile(path);
  if (!opened) return -1;
  if (sources_.size() == kKeptSources) sources_.erase(sources_.begin());
  sources_.emplace_back(path, std::move(opened));
  return sources_.back().second.get();
}

int64_t EditRenderer::Render(EditRender& edit) {
  // Each file is opened once; one that cannot be opened fails the crossfade
  // on its side first, then the copy, as if each step opened it anew.
  const int source = SourceDescriptor(edit.sourcePath);
  const OpenAudio sourceAudio{source, edit.sourceAudioStart, edit.sourceAudioEnd};
  int64_t crossfadeClipped = 0;
  std::optional<StagedFile> scratch;
  if (edit.xfType != 0) {
    scratch = PrepareCrossfade(target_, edit, TryDestination(), sourceAudio, crossfadeClipped);
  }
  const OpenAudio dest = TryDestination();
  if (dest.fd < 0) Fail(kExitFile, "Cannot open file %s\n", target_.destPath.c_str());
  if (source < 0) Fail(kExitFile, "Cannot open file %s\n", edit.sourcePath.c_str());
  int64_t clipped = CopySpan(dest, sourceAudio, target_.format, edit.insertPoint, edit.readStart,
                             edit.readLength, edit.levelDb, target_.destPath, kernel_);
  if (scratch && PlaceCrossfade(target_, edit, std::move(*scratch), dest, kernel_)) {
    clipped += crossfadeClipped;
  }
  return clipped + ApplyFades(target_, edit, dest, sourceAudio, kernel_);
}

void EditRenderer::Finish() {
  if (dest_ && !CloseWritten(dest_)) {
    Fail(kExitFile, "Cannot write to file %s\n", target_.destPath.c_str());
  }
}

}  // namespace wavsplice
