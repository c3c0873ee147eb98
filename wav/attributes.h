// Reading a source's format and the location and length of its audio.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "wav/metadata.h"
#include "wav/track_attributes.h"

namespace wavsplice {

// What reading a source came to.
enum class AttributesRead {
  kRead,
  kNoFile,  // it cannot be opened
  kNoData,  // it has no "data" chunk where the chunk scan looks
};

// Reads the source at wavPath: channels, sample rate, bits and format tag from its "fmt" chunk, the
// first audio byte from its "data" chunk, and the number of whole frames of audio. The data chunk's
// size counts when it is above 0 and the chunk lies wholly inside the file; in an RF64 or BW64 file
// a size field of 0xFFFFFFFF stands for the 64-bit size in its ds64 chunk. Otherwise (0, 0xFFFFFFFF
// in a plain RIFF file, a size that runs past the file) every byte to the end of the file is audio.
// Fields missing from a short file read as 0; a frame size of 0 gives a length of 0. Without a
// "fmt" chunk it reads the fields at the last candidate position and sets formatChunkMissing.
// Prints nothing: the caller tells the user. With metadata given, also reads the file's markers,
// bext, iXML and LIST/INFO into it, from the chunks of its chunk list before its "data" chunk and,
// when the data chunk's size counts, after its audio.
AttributesRead GET_ATTRIBUTES(const std::string& wavPath, TrackAttributes& attributes,
                              SourceMetadata* metadata = nullptr);

// The file position just past the audio of a file whose first audio byte is at dataOffset, by the
// rule above: the end of its "data" chunk when the declared size counts, else the end of the file.
// What lies beyond (chunks after the audio) is never audio.
int64_t AudioEnd(std::FILE* wavFile, int64_t dataOffset);

// Whether the program reads, writes and processes the audio of a source: integer PCM of 8, 16, 24
// or 32 bits or float of 32 or 64 bits, 1 to 128 channels, a rate above 0, under format tag 1 or 3
// or extensible with the PCM or float sub-format.
bool IsSupportedFormat(const TrackAttributes& attributes);

}  // namespace wavsplice
