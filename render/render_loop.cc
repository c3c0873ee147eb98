#include "render/render_loop.h"

#include <cinttypes>
#include <cstdio>

#include "render/crossfade_steps.h"
#include "render/insert_file.h"

namespace wavsplice {

namespace {

void PrintEditReport(const RunState& run, int32_t entryIndex, const EditEntry& entry) {
  std::printf("Task %i", entryIndex + 1);
  if (run.sampleMode == 1) {
    std::printf("\tInsert point %i samples\n", entry.insertPoint);
    std::printf("\tFile %s\n", entry.sourcePath.c_str());
    std::printf("\tRead start %i samples\n", entry.readStart);
    std::printf("\tRead length %i samples\n", entry.readLength);
  } else {
    std::printf("\tInsert point %.3f sec\n", ReportSeconds(entry.insertPoint, run.sampleRate));
    std::printf("\tFile %s\n", entry.sourcePath.c_str());
    std::printf("\tRead start %.3f sec\n", ReportSeconds(entry.readStart, run.sampleRate));
    std::printf("\tRead length %.3f sec\n", ReportSeconds(entry.readLength, run.sampleRate));
  }
  std::printf("\tLevel %.3f dB\n", entry.lvl);
}

void RenderEdit(RunState& run, int32_t entryIndex) {
  EditEntry& entry = run.entries[static_cast<size_t>(entryIndex)];
  PrintEditReport(run, entryIndex, entry);
  int64_t crossfadeClipped = 0;
  if (entry.xfType != 0) PrepareCrossfade(run, entry, crossfadeClipped);
  int64_t clipped =
      INSERT_FILE(run.destPath, entry.sourcePath, entry.insertPoint, run.bytesPerSample,
                  run.channels, entry.readLength, entry.readStart, entry.lvl);
  if (entry.xfType != 0 && PlaceCrossfade(run, entry)) clipped += crossfadeClipped;
  if (clipped > 0) std::printf("\tClipped %" PRId64 " samples\n", clipped);
  std::puts("\tDone\n");  // the extra newline leaves a blank line after each edit
}

}  // namespace

double ReportSeconds(int32_t frames, int32_t sampleRate) {
  return static_cast<double>(static_cast<float>(frames) / static_cast<float>(sampleRate));
}

void RenderEdits(RunState& run) {
  for (int32_t k = 0; k < run.entryCount; ++k) {
    RenderEdit(run, run.writeOrder[static_cast<size_t>(k)]);
  }
}

}  // namespace wavsplice
