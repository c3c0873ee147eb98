// Builds WAV files byte by byte for the tests: canonical files from sample values, and arbitrary
// chunk layouts (extra chunks, odd sizes, lying size fields, truncation) for the malformed cases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavsplice::testing {

using Bytes = std::vector<unsigned char>;

struct WavFormat {
  int channels = 1;
  uint32_t sampleRate = 44100;
  int bits = 16;
  int audioFormat = 1;
};

// Little-endian bytes of sample values in the units of their width (16-bit: -32768..32767),
// interleaved as given.
Bytes EncodeSamples(const std::vector<int32_t>& values, int bits);

// Little-endian IEEE float bytes (bits 32 or 64) of sample values, interleaved as given.
Bytes EncodeFloatSamples(const std::vector<double>& values, int bits);

// Decodes little-endian samples of the given width from bytes.
std::vector<int32_t> DecodeSamples(const Bytes& bytes, int bits);

// A canonical 44-byte-header PCM file holding the given interleaved values.
Bytes CanonicalWav(const WavFormat& format, const std::vector<int32_t>& values);

// Chunk by chunk. Bytes() fills the RIFF size unless Riff() set one.
class WavBuilder {
 public:
  // The file's first tag: "RIFF" unless set ("RF64", "BW64").
  WavBuilder& RiffId(const std::string& id);
  WavBuilder& RiffSize(uint32_t size);
  // A 16-byte fmt chunk (or 40 bytes, extensible, with sub-format code).
  WavBuilder& Fmt(const WavFormat& format);
  WavBuilder& FmtExtensible(const WavFormat& format, uint16_t subFormat);
  WavBuilder& FmtExtensible(const WavFormat& format, uint16_t subFormat, int validBits,
                            uint32_t channelMask);
  // A chunk with the given tag and payload; its size field is the payload's length unless
  // declaredSize is given; pad adds a byte after odd payloads.
  WavBuilder& Chunk(const std::string& tag, const Bytes& payload, bool pad = true);
  WavBuilder& ChunkWithSize(const std::string& tag, uint32_t declaredSize, const Bytes& payload);
  WavBuilder& Data(const Bytes& audio);
  WavBuilder& DataWithSize(uint32_t declaredSize, const Bytes& audio);
  WavBuilder& Raw(const Bytes& bytes);
  Bytes Build() const;

 private:
  Bytes body_;
  std::string riffId_ = "RIFF";
  bool riffSizeSet_ = false;
  uint32_t riffSize_ = 0;
};

// A marker of a source made for the tests: a cue point at frame with its label; a region when
// regionLength is above 0.
struct FixtureMarker {
  uint32_t frame = 0;
  std::string label;
  uint32_t regionLength = 0;
};

// The payloads of a "cue " chunk (IDs 1, 2, ..., the frame in both dwPosition and dwSampleOffset)
// and of its LIST/adtl chunk ("adtl", every labl, then an ltxt "rgn " for each region), written
// independently of the program's own writer.
Bytes CuePayload(const std::vector<FixtureMarker>& markers);
Bytes AdtlPayload(const std::vector<FixtureMarker>& markers);

// The payload of a version 1 "bext" chunk: description, originator "fixture", the time reference
// and the coding history.
Bytes BextPayload(const std::string& description, uint64_t timeReference,
                  const std::string& codingHistory);

void WriteFile(const std::string& path, const Bytes& bytes);
void WriteTextFile(const std::string& path, const std::string& text);
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// A piece of a sparse file: bytes at a byte position.
struct Piece {
  int64_t at;
  Bytes bytes;
};
// Writes a file of size bytes holding the pieces and zeros elsewhere; the zeros are holes, so a
// file of gigabytes costs the disk only its pieces.
void WriteSparseFile(const std::string& path, int64_t size, const std::vector<Piece>& pieces);
// count bytes of the file at byte position at.
Bytes ReadFileAt(const std::string& path, int64_t at, size_t count);

// The audio bytes after a canonical 44-byte header.
Bytes AudioOf(const Bytes& wav);

// size deterministic bytes, different for each seed, that are neither silence nor the tag "data".
Bytes PatternBytes(size_t size, unsigned seed);

}  // namespace wavsplice::testing
