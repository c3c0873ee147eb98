// The splice copy: a span of one WAV file's audio laid over the data area of
// the destination at an insert point, with a level change on the way.
#pragma once

#include <cstdint>
#include <string>

#include "common/file_io.h"
#include "wav/pcm_format.h"

namespace wavsplice {

// Positions and lengths are frames, 64 bits wide; the callers keep them
// within both files' reach (MaxDataFrames).
// Copies readLength frames from frame readStart of sourcePath's audio over
// the destination's audio from frame insertPoint, overwriting what lay
// there. Each file is opened at its path and named in messages by its name.
// A level of exactly 0.0 copies the bytes unaltered; any other level
// goes through NewLevel. Frames that cannot be read (a file changed under
// the run) are written as the format's silence. Returns the number of sample values the
// level change had to limit.
// Ends the run with exit status 2 when a file cannot be opened, has no
// "data" chunk, or the destination cannot be written.
int64_t INSERT_FILE(const NamedPath& destPath, const NamedPath& sourcePath, int64_t insertPoint,
                    const PcmFormat& format, int64_t readLength, int64_t readStart, double levelDb);

}  // namespace wavsplice
