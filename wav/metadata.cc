#include "wav/metadata.h"

#include <algorithm>
#include <cstring>

#include "wav/byte_order.h"
#include "wav/byte_writer.h"

namespace wavsplice {

namespace {

constexpr size_t kCuePointBytes = 24;
constexpr size_t kCueCountBytes = 4;
constexpr size_t kListTypeBytes = 4;
constexpr size_t kSubChunkPreamble = 8;  // tag and size
constexpr size_t kCueIdBytes = 4;
constexpr size_t kLtxtFieldBytes = 20;  // cue ID, length, purpose, four 16-bit codes

// bext field offsets and widths.
constexpr size_t kDescriptionBytes = 256;
constexpr size_t kOriginatorAt = 256;
constexpr size_t kOriginatorBytes = 32;
constexpr size_t kOriginatorReferenceAt = 288;
constexpr size_t kOriginationDateAt = 320;
constexpr size_t kOriginationDateBytes = 10;
constexpr size_t kOriginationTimeAt = 330;
constexpr size_t kOriginationTimeBytes = 8;
constexpr size_t kTimeReferenceAt = 338;
constexpr size_t kVersionAt = 346;
constexpr size_t kUmidAt = 348;
constexpr size_t kUmidBytes = 64;
constexpr size_t kLoudnessAt = 412;

bool TagIs(const unsigned char* at, const char* tag) { return std::memcmp(at, tag, 4) == 0; }

// The text of a fixed-width field: up to its first zero, or all of it.
std::string FixedText(const unsigned char* field, size_t width) {
  const unsigned char* end = std::find(field, field + width, 0);
  return std::string(field, end);
}

// The cue table: frames by cue ID. A point's frame is its dwSampleOffset (what players read);
// writers that fill only dwPosition leave the offset 0.
bool ParseCue(const std::vector<unsigned char>& bytes, std::vector<uint32_t>& ids,
              std::vector<Marker>& markers) {
  if (bytes.size() < kCueCountBytes) return false;
  const uint64_t count = ReadLe32(bytes.data());
  if (count > (bytes.size() - kCueCountBytes) / kCuePointBytes) return false;
  for (uint64_t i = 0; i < count; ++i) {
    const unsigned char* point = bytes.data() + kCueCountBytes + i * kCuePointBytes;
    const uint32_t id = ReadLe32(point);
    // A repeated ID names the point already read.
    if (std::find(ids.begin(), ids.end(), id) != ids.end()) continue;
    const uint32_t position = ReadLe32(point + 4);
    const uint32_t offset = ReadLe32(point + 20);
    Marker marker;
    marker.frame = offset != 0 ? offset : position;
    ids.push_back(id);
    markers.push_back(marker);
  }
  return true;
}

// A labl or note text: up to its terminating zero, which must be inside the entry.
bool ZeroEndedText(const unsigned char* text, size_t bytes, std::string& out) {
  const unsigned char* end = std::find(text, text + bytes, 0);
  if (end == text + bytes) return false;
  out.assign(text, end);
  return true;
}

// Applies the adtl list to the markers of the cue table; false (and the markers unchanged) when any
// entry is malformed.
bool ParseAdtl(const std::vector<unsigned char>& bytes, const std::vector<uint32_t>& ids,
               std::vector<Marker>& markers, MetadataFault& fault) {
  std::vector<Marker> named = markers;
  for (size_t at = kListTypeBytes; at < bytes.size();) {
    fault = MetadataFault::kAdtlEntryTooLarge;
    if (bytes.size() - at < kSubChunkPreamble) return false;
    const unsigned char* entry = bytes.data() + at;
    const size_t size = ReadLe32(entry + 4);
    if (size > bytes.size() - at - kSubChunkPreamble) return false;
    const unsigned char* body = entry + kSubChunkPreamble;
    const bool isLabel = TagIs(entry, "labl") || TagIs(entry, "note");
    const bool isRegion = TagIs(entry, "ltxt");
    if (isLabel || isRegion) {
      if (size < (isRegion ? kLtxtFieldBytes : kCueIdBytes)) return false;
      const auto found = std::find(ids.begin(), ids.end(), ReadLe32(body));
      fault = MetadataFault::kLabelWithoutCue;
      if (found == ids.end()) return false;
      Marker& marker = named[static_cast<size_t>(found - ids.begin())];
      fault = MetadataFault::kTextWithoutZero;
      if (isLabel && !ZeroEndedText(body + kCueIdBytes, size - kCueIdBytes,
                                    TagIs(entry, "labl") ? marker.label : marker.note)) {
        return false;
      }
      if (isRegion) {
        marker.isRegion = true;
        RegionText& region = marker.region;
        region.length = ReadLe32(body + 4);
        std::memcpy(region.purpose, body + 8, 4);
        region.country = static_cast<uint16_t>(ReadLe16(body + 12));
        region.language = static_cast<uint16_t>(ReadLe16(body + 14));
        region.dialect = static_cast<uint16_t>(ReadLe16(body + 16));
        region.codePage = static_cast<uint16_t>(ReadLe16(body + 18));
        // Region text is optional and need not end in a zero.
        region.text = FixedText(body + kLtxtFieldBytes, size - kLtxtFieldBytes);
      }
    }
    at += kSubChunkPreamble + size + (size & 1);
  }
  markers = std::move(named);
  return true;
}

BroadcastExtension ParseBext(const std::vector<unsigned char>& bytes) {
  BroadcastExtension bext;
  const unsigned char* b = bytes.data();
  bext.description = FixedText(b, kDescriptionBytes);
  bext.originator = FixedText(b + kOriginatorAt, kOriginatorBytes);
  bext.originatorReference = FixedText(b + kOriginatorReferenceAt, kOriginatorBytes);
  bext.originationDate = FixedText(b + kOriginationDateAt, kOriginationDateBytes);
  bext.originationTime = FixedText(b + kOriginationTimeAt, kOriginationTimeBytes);
  bext.timeReference = ReadLe64(b + kTimeReferenceAt);
  bext.version = static_cast<uint16_t>(ReadLe16(b + kVersionAt));
  bext.umid.assign(b + kUmidAt, b + kUmidAt + kUmidBytes);
  for (size_t i = 0; i < 5; ++i) {
    bext.loudness[i] = static_cast<uint16_t>(ReadLe16(b + kLoudnessAt + 2 * i));
  }
  bext.codingHistory = FixedText(b + kBextFixedBytes, bytes.size() - kBextFixedBytes);
  return bext;
}

std::vector<unsigned char> BextPayload(const BroadcastExtension& bext) {
  ByteWriter out;
  out.Fixed(bext.description, kDescriptionBytes);
  out.Fixed(bext.originator, kOriginatorBytes);
  out.Fixed(bext.originatorReference, kOriginatorBytes);
  out.Fixed(bext.originationDate, kOriginationDateBytes);
  out.Fixed(bext.originationTime, kOriginationTimeBytes);
  out.Le64(bext.timeReference);
  out.Le16(bext.version);
  std::vector<unsigned char> umid = bext.umid;
  umid.resize(kUmidBytes, 0);
  out.bytes.insert(out.bytes.end(), umid.begin(), umid.end());
  for (uint16_t value : bext.loudness) out.Le16(value);
  out.bytes.resize(kBextFixedBytes, 0);  // the reserved bytes
  out.Text(bext.codingHistory);
  return out.bytes;
}

std::vector<unsigned char> CuePayload(const std::vector<Marker>& markers) {
  ByteWriter out;
  out.Le32(static_cast<uint32_t>(markers.size()));
  for (size_t i = 0; i < markers.size(); ++i) {
    const uint32_t frame = static_cast<uint32_t>(markers[i].frame);
    out.Le32(static_cast<uint32_t>(i + 1));
    out.Le32(frame);  // dwPosition
    out.Tag("data");
    out.Le32(0);      // dwChunkStart
    out.Le32(0);      // dwBlockStart
    out.Le32(frame);  // dwSampleOffset
  }
  return out.bytes;
}

// A labl or note entry: cue ID, zero-ended text, padded.
void TextEntry(ByteWriter& out, const char* tag, size_t id, const std::string& text) {
  ByteWriter entry;
  entry.Le32(static_cast<uint32_t>(id));
  entry.Text(text);
  entry.bytes.push_back(0);
  out.Chunk(tag, entry.bytes);
}

// Readers stop at the first entry that is not a label, or file labels only in order: every labl,
// then every note, then every ltxt.
std::vector<unsigned char> AdtlPayload(const std::vector<Marker>& markers) {
  ByteWriter out;
  out.Tag("adtl");
  for (size_t i = 0; i < markers.size(); ++i) {
    if (!markers[i].label.empty()) TextEntry(out, "labl", i + 1, markers[i].label);
  }
  for (size_t i = 0; i < markers.size(); ++i) {
    if (!markers[i].note.empty()) TextEntry(out, "note", i + 1, markers[i].note);
  }
  for (size_t i = 0; i < markers.size(); ++i) {
    if (!markers[i].isRegion) continue;
    const RegionText& region = markers[i].region;
    ByteWriter entry;
    entry.Le32(static_cast<uint32_t>(i + 1));
    entry.Le32(region.length);
    entry.bytes.insert(entry.bytes.end(), region.purpose, region.purpose + 4);
    entry.Le16(region.country);
    entry.Le16(region.language);
    entry.Le16(region.dialect);
    entry.Le16(region.codePage);
    entry.Text(region.text);
    out.Chunk("ltxt", entry.bytes);
  }
  return out.bytes;
}

}  // namespace

SourceMetadata ParseMetadata(const std::vector<ChunkPayload>& chunks) {
  SourceMetadata metadata;
  std::vector<uint32_t> ids;
  bool cueRead = false;
  const std::vector<unsigned char>* adtl = nullptr;
  for (const ChunkPayload& chunk : chunks) {
    const std::vector<unsigned char>& bytes = chunk.bytes;
    const bool isList = chunk.tag == "LIST" && bytes.size() >= kListTypeBytes;
    if (chunk.tag == "cue " && !cueRead) {
      cueRead = true;
      if (!ParseCue(bytes, ids, metadata.markers)) {
        metadata.faults.push_back({MetadataFault::kCueCountTooLarge, chunk.tag});
      }
    } else if (isList && TagIs(bytes.data(), "adtl") && adtl == nullptr) {
      adtl = &bytes;
    } else if (isList && TagIs(bytes.data(), "INFO") && metadata.info.empty()) {
      metadata.info = bytes;
    } else if (chunk.tag == "iXML" && metadata.ixml.empty()) {
      metadata.ixml = bytes;
    } else if (chunk.tag == "bext" && !metadata.hasBext) {
      if (bytes.size() < kBextFixedBytes) {
        metadata.faults.push_back({MetadataFault::kBextTooShort, chunk.tag});
      } else {
        metadata.hasBext = true;
        metadata.bext = ParseBext(bytes);
      }
    }
  }
  // The adtl list names the cue table's points, wherever it stands.
  MetadataFault fault = MetadataFault::kAdtlEntryTooLarge;
  if (adtl != nullptr && !ParseAdtl(*adtl, ids, metadata.markers, fault)) {
    metadata.faults.push_back({fault, "adtl"});
  }
  return metadata;
}

std::vector<unsigned char> MetadataChunkBytes(const DestinationMetadata& metadata) {
  ByteWriter out;
  if (metadata.hasBext) out.Chunk("bext", BextPayload(metadata.bext));
  if (!metadata.ixml.empty()) out.Chunk("iXML", metadata.ixml);
  if (!metadata.info.empty()) out.Chunk("LIST", metadata.info);
  if (!metadata.markers.empty()) {
    out.Chunk("cue ", CuePayload(metadata.markers));
    const std::vector<unsigned char> adtl = AdtlPayload(metadata.markers);
    if (adtl.size() > kListTypeBytes) out.Chunk("LIST", adtl);
  }
  return out.bytes;
}

}  // namespace wavsplice
