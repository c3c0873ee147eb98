#include "render/render_loop.h"

#include "render/crossfade_steps.h"
#include "render/insert_file.h"

namespace wavsplice {

int64_t RenderEdit(const RenderTarget& target, EditRender& edit) {
  int64_t crossfadeClipped = 0;
  if (edit.xfType != 0) PrepareCrossfade(target, edit, crossfadeClipped);
  int64_t clipped =
      INSERT_FILE(target.destPath, edit.sourcePath, edit.insertPoint, TargetFormat(target),
                  edit.readLength, edit.readStart, edit.levelDb);
  if (edit.xfType != 0 && PlaceCrossfade(target, edit)) clipped += crossfadeClipped;
  return clipped;
}

}  // namespace wavsplice
