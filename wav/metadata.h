// What a WAV file carries beside its audio, as plain values: markers (the "cue " chunk with its
// LIST/adtl labels, notes and regions), the broadcast extension ("bext"), "iXML" and LIST/INFO.
// Read from a source's chunks, every count and size checked against its chunk; written as the
// chunks a destination's header holds before its "data" chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavsplice {

// The largest metadata chunk read: an iXML or a cue table of this size is far beyond any
// recorder's.
constexpr uint32_t kMostMetadataBytes = 16u << 20;
// The fixed part of a "bext" chunk, before its coding history.
constexpr size_t kBextFixedBytes = 602;
// The loudness fields' value for "not measured".
constexpr uint16_t kLoudnessNotMeasured = 0x7FFF;

// The fields of an "ltxt" entry: a region's length and how its text reads.
struct RegionText {
  uint32_t length = 0;  // frames
  char purpose[4] = {'r', 'g', 'n', ' '};
  uint16_t country = 0;
  uint16_t language = 0;
  uint16_t dialect = 0;
  uint16_t codePage = 0;
  std::string text;
};

// One marker: a frame of the file's audio, with what the adtl list says of it.
struct Marker {
  int64_t frame = 0;
  std::string label;  // "labl"; empty when it has none
  std::string note;   // "note"
  bool isRegion = false;
  RegionText region;  // "ltxt", when isRegion
};

// The broadcast extension's fields; texts without their padding zeros.
struct BroadcastExtension {
  std::string description;  // at most 256 bytes
  std::string originator;   // at most 32
  std::string originatorReference;
  std::string originationDate;  // "yyyy-mm-dd"
  std::string originationTime;  // "hh:mm:ss"
  uint64_t timeReference = 0;   // frames since midnight
  uint16_t version = 0;
  std::vector<unsigned char> umid = std::vector<unsigned char>(64, 0);
  uint16_t loudness[5] = {kLoudnessNotMeasured, kLoudnessNotMeasured, kLoudnessNotMeasured,
                          kLoudnessNotMeasured, kLoudnessNotMeasured};
  std::string codingHistory;
};

// Why a source's chunk was left unread.
enum class MetadataFault {
  kCueCountTooLarge,   // more cue points than the "cue " chunk holds
  kAdtlEntryTooLarge,  // an adtl entry runs past its list or is shorter than its fields
  kLabelWithoutCue,    // a labl, note or ltxt names no cue point
  kTextWithoutZero,    // a labl or note text lacks its terminating zero
  kBextTooShort,       // a "bext" chunk shorter than its fixed fields
  kChunkPastFile,      // a chunk whose size runs past the end of the file
  kChunkTooLarge,      // a chunk larger than kMostMetadataBytes
};

struct MetadataFaultAt {
  MetadataFault fault;
  std::string chunk;  // the chunk's tag: "cue ", "adtl", "bext" ...
};

// What a source carries beside its audio.
struct SourceMetadata {
  std::vector<Marker> markers;  // in the order of its cue table
  bool hasBext = false;
  BroadcastExtension bext;
  std::vector<unsigned char> ixml;  // the "iXML" payload as stored
  std::vector<unsigned char> info;  // the LIST/INFO payload, "INFO" included
  std::vector<MetadataFaultAt> faults;
};

// The chunks of one file as the walk of its chunk list finds them.
struct ChunkPayload {
  std::string tag;
  std::vector<unsigned char> bytes;
};

// Reads the metadata from the payloads of a file's chunks, in file order. A "cue " chunk whose
// count runs past its payload, or an adtl list with an entry that is malformed, is ignored (the
// markers of a good cue table keep their frames without names) and recorded in faults; nothing is
// read past a payload.
SourceMetadata ParseMetadata(const std::vector<ChunkPayload>& chunks);

// What a destination carries: markers in order (their IDs are 1, 2, ...), and optionally a bext, an
// iXML and a LIST/INFO payload.
struct DestinationMetadata {
  std::vector<Marker> markers;
  bool hasBext = false;
  BroadcastExtension bext;
  std::vector<unsigned char> ixml;
  std::vector<unsigned char> info;
};

// The chunks of the metadata as they go before a destination's "data" chunk: "bext", "iXML",
// LIST/INFO, "cue ", LIST/adtl (every labl and note before any ltxt), each padded to an even
// length. Each cue point holds its frame in both dwPosition and dwSampleOffset, fccChunk "data",
// chunk and block start 0. Markers past frame 0xFFFFFFFF must have been dropped. Empty when there
// is nothing to carry.
std::vector<unsigned char> MetadataChunkBytes(const DestinationMetadata& metadata);

}  // namespace wavsplice
