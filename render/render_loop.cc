#include "render/render_loop.h"

#include <algorithm>
#include <utility>

#include "common/failure.h"
#include "common/messages.h"
#include "render/crossfade_steps.h"
#include "render/insert_file.h"

namespace wavsplice {

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
  if (!opened) Fail(kExitFile, msg::kCannotOpenFile, path.c_str());
  if (sources_.size() == kKeptSources) sources_.erase(sources_.begin());
  sources_.emplace_back(path, std::move(opened));
  return sources_.back().second.get();
}

EditOutcome EditRenderer::Render(const EditRender& edit) {
  const OpenAudio source{SourceDescriptor(edit.sourcePath), edit.sourceAudioStart,
                         edit.sourceAudioEnd};
  PreparedCrossfade crossfade;
  if (edit.xfType != 0) crossfade = PrepareCrossfade(target_, edit, source);
  EditOutcome outcome;
  outcome.clipped =
      INSERT_FILE(target_.dest, source, target_.format, edit.insertPoint, edit.readStart,
                  edit.readLength, edit.levelDb, target_.destPath, kernel_, &levels_);
  outcome.crossfade = PlaceCrossfade(target_, edit, crossfade, kernel_);
  if (outcome.crossfade == CrossfadeOutcome::kMade) outcome.clipped += crossfade.clipped;
  outcome.clipped += ApplyFades(target_, edit, source, kernel_);
  return outcome;
}

}  // namespace wavsplice
