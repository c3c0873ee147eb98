#include "render/render_loop.h"

#include <optional>
#include <utility>

#include "render/crossfade_steps.h"
#include "render/insert_file.h"

namespace wavsplice {

int64_t RenderEdit(const RenderTarget& target, EditRender& edit) {
  int64_t crossfadeClipped = 0;
  std::optional<StagedFile> scratch;
  if (edit.xfType != 0) scratch = PrepareCrossfade(target, edit, crossfadeClipped);
  int64_t clipped =
      INSERT_FILE(Destination(target), edit.sourcePath, edit.insertPoint, TargetFormat(target),
                  edit.readLength, edit.readStart, edit.levelDb);
  if (scratch && PlaceCrossfade(target, edit, std::move(*scratch))) clipped += crossfadeClipped;
  return clipped;
}

}  // namespace wavsplice
