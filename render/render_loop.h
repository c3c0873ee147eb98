// Writing a run's edits into the destination, one after another: each edit's span copied with its
// level change, its crossfade made before the copy and laid after it, then its fades.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/file_io.h"
#include "common/kernel_copy.h"
#include "render/edit_render.h"
#include "render/level_pipeline.h"

namespace wavsplice {

// The render of a run's edits over the destination its owner holds open: each source opened once
// while it is among the few used last (a programme takes many spans from each of a few takes), and
// one kernel pipe for every copy and one worker thread for every long level change. Audio positions
// come from the target and the edits, never from scanning the files again.
class EditRenderer {
 public:
  explicit EditRenderer(RenderTarget target) : target_(std::move(target)) {}

  // Copies the edit's span over the destination at its insert point, with its crossfade when xfType
  // is not 0 and its fades. Returns the values limited and the crossfade's outcome (a crossfade
  // that cannot be made leaves the copy without it). Ends the run (exit status 2) when the source
  // cannot be opened or a file cannot be written.
  EditOutcome Render(const EditRender& edit);

 private:
  // The source's descriptor, opened now unless it is among the sources kept open; ends the run when
  // it cannot be opened.
  int SourceDescriptor(const std::string& path);

  RenderTarget target_;
  std::vector<std::pair<std::string, Descriptor>> sources_;  // the last used at the back
  KernelCopy kernel_;
  LevelPipeline levels_;
};

}  // namespace wavsplice
