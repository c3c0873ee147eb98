// The chunk scan: the one rule by which the program finds the "fmt" and "data" chunks of a WAV
// file. Tags are looked for at even positions 2 .. 131072, not by walking the RIFF chunk list.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace wavsplice {

constexpr int64_t kLastChunkCandidate = 131072;
constexpr int32_t kDataTagToAudio = 8;  // the 4-byte tag and the 4-byte size

// Returns the position of the first even position p (2 <= p <= 131072) whose bytes equal chunkTag
// ("data", or "fmt" with three bytes compared), or -1 when none does. A candidate that would run
// past the end of the file is no match. Moves the file position.
int64_t FIND_CHUNK(std::FILE* wavFile, std::string_view chunkTag);

// One chunk as the walk of a file's chunk list finds it.
struct ChunkPlace {
  char tag[5] = {};   // four bytes and a zero
  int64_t at = 0;     // file position of its tag
  uint32_t size = 0;  // its size field
};

// The chunks of the list that starts after "RIFF", its size and "WAVE", in file order, from
// position from (12 for the file's first chunk) up to the first chunk at or past stop, a header
// that cannot be read, or a chunk that runs past the end of the file (which is listed, as the
// last). Each chunk is followed by the next at an even position.
std::vector<ChunkPlace> WalkChunks(std::FILE* wavFile, int64_t from, int64_t stop);

// Whether a chunk's tag is one of the metadata chunks the program reads: "cue ", "LIST", "bext",
// "iXML".
bool IsMetadataChunk(const ChunkPlace& chunk);

// Where a file's audio starts: the file position of its first audio byte, after the "data" chunk's
// tag and size, or -1 when the chunk scan finds no "data" chunk. The first candidate wins, except
// one that lies inside the payload of a well-formed cue table, adtl or INFO list, bext or iXML on
// the file's chunk list (a cue point's fccChunk, a label's text): the scan goes on after that
// chunk. Every file is looked at once; the run keeps the answer.
int64_t FindAudioStart(std::FILE* wavFile);

}  // namespace wavsplice
