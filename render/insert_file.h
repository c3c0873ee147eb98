// The splice copy over open files: a span of one file's audio laid over the destination's, through
// the program's buffer when its level changes, moved by the kernel when it passes unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "common/kernel_copy.h"
#include "render/level_pipeline.h"
#include "render/open_audio.h"
#include "wav/pcm_format.h"

namespace wavsplice {

// Copies readLength frames from frame readStart of the source's audio over the destination's audio
// from frame insertPoint, overwriting what lay there. A level of exactly 0.0 copies the bytes
// unaltered (the kernel moves them where it will); any other level goes through NewLevel, in a
// buffer that lives as long as the copy, and a span that levels takes on its worker. Frames that
// cannot be read (a file changed under the run) are written as the format's silence. Returns the
// number of sample values the level change had to limit. Ends the run with exit status 2 ("Cannot
// write to file destName") when the destination cannot be written.
int64_t INSERT_FILE(const OpenAudio& dest, const OpenAudio& source, const PcmFormat& format,
                    int64_t insertPoint, int64_t readStart, int64_t readLength, double levelDb,
                    const std::string& destName, KernelCopy& kernel,
                    LevelPipeline* levels = nullptr);

}  // namespace wavsplice
