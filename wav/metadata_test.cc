#include "wav/metadata.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"
#include "wav/attributes.h"
#include "wav/byte_order.h"
#include "wav/pcm_format.h"
#include "wav/wav_header.h"

namespace wavsplice {
namespace {

using testing::Bytes;
using testing::WavBuilder;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Le32(uint32_t value) {
  Bytes bytes(4);
  WriteLe32(bytes.data(), value);
  return bytes;
}

Bytes Join(std::vector<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A cue table of points (ID, dwPosition, dwSampleOffset), count as given.
Bytes CueTable(uint32_t count, const std::vector<std::array<uint32_t, 3>>& points) {
  Bytes bytes = Le32(count);
  for (const auto& p : points) {
    bytes = Join({bytes, Le32(p[0]), Le32(p[1]), Text("data"), Le32(0), Le32(0), Le32(p[2])});
  }
  return bytes;
}

// A labl or note entry with its size as the bytes give it.
Bytes Entry(const std::string& tag, const Bytes& body) {
  Bytes bytes = Join({Text(tag), Le32(static_cast<uint32_t>(body.size())), body});
  if (body.size() % 2 != 0) bytes.push_back(0);
  return bytes;
}

SourceMetadata ReadBack(const Bytes& wav) {
  testing::WriteFile("meta.wav", wav);
  SourceMetadata metadata;
  TrackAttributes attributes;
  GET_ATTRIBUTES("meta.wav", attributes, &metadata);
  return metadata;
}

DestinationMetadata ThreeMarkers() {
  DestinationMetadata metadata;
  metadata.markers.resize(3);
  metadata.markers[0].frame = 0;
  metadata.markers[0].label = "take1.wav 0:00.000";
  metadata.markers[1].frame = 12000;
  metadata.markers[1].label = "Chapter Two";
  metadata.markers[1].note = "from the data room";  // "data" in a text before the audio
  metadata.markers[2].frame = 24001;
  metadata.markers[2].isRegion = true;
  metadata.markers[2].region.length = 500;
  metadata.markers[2].region.text = "odd";
  metadata.hasBext = true;
  metadata.bext.description = "A data description";
  metadata.bext.originator = "wavsplice";
  metadata.bext.version = 2;
  metadata.bext.timeReference = 0x100000007ull;
  metadata.bext.codingHistory = "A=PCM,F=8000,W=16,M=mono,T=x\r\n";
  metadata.ixml = Text("<BWFXML/>");
  metadata.info = Text("INFOINAM\4\0\0\0abc\0");
  return metadata;
}

TEST(Metadata, WrittenChunksReadBackInTheirLayout) {
  testing::TempDir dir;
  const DestinationMetadata written = ThreeMarkers();
  const std::vector<unsigned char> chunks = MetadataChunkBytes(written);
  const PcmFormat format = IntegerFormat(2, 1, 8000);
  const std::vector<unsigned char> header = HeaderBytes(format, 4, chunks);
  ASSERT_EQ(header.size(), 44 + chunks.size());
  Bytes wav(header.begin(), header.end());
  wav.resize(wav.size() + 8, 0);
  testing::WriteFile("meta.wav", wav);

  SourceMetadata read;
  TrackAttributes attributes;
  ASSERT_EQ(GET_ATTRIBUTES("meta.wav", attributes, &read), AttributesRead::kRead);
  EXPECT_EQ(attributes.dataOffset, static_cast<int64_t>(header.size()));
  EXPECT_EQ(attributes.lengthSamples, 4);
  EXPECT_TRUE(read.faults.empty());
  ASSERT_EQ(read.markers.size(), 3u);
  EXPECT_EQ(read.markers[1].frame, 12000);
  EXPECT_EQ(read.markers[1].label, "Chapter Two");
  EXPECT_EQ(read.markers[1].note, "from the data room");
  EXPECT_EQ(read.markers[2].frame, 24001);
  EXPECT_TRUE(read.markers[2].isRegion);
  EXPECT_EQ(read.markers[2].region.length, 500u);
  EXPECT_EQ(std::string(read.markers[2].region.purpose, 4), "rgn ");
  EXPECT_EQ(read.markers[2].region.text, "odd");
  ASSERT_TRUE(read.hasBext);
  EXPECT_EQ(read.bext.description, "A data description");
  EXPECT_EQ(read.bext.timeReference, 0x100000007ull);
  EXPECT_EQ(read.bext.version, 2);
  EXPECT_EQ(read.bext.loudness[4], kLoudnessNotMeasured);
  EXPECT_EQ(read.bext.codingHistory, "A=PCM,F=8000,W=16,M=mono,T=x\r\n");
  EXPECT_EQ(read.ixml, written.ixml);
  EXPECT_EQ(read.info, written.info);

  // The order readers need: bext, iXML, INFO, cue, adtl with every labl and note before the ltxt;
  // every chunk at an even position.
  std::vector<std::string> order;
  for (size_t at = 36; at + 8 <= header.size();) {
    order.emplace_back(reinterpret_cast<const char*>(&header[at]), 4);
    if (order.back() == "LIST")
      order.back() += std::string(reinterpret_cast<const char*>(&header[at + 8]), 4);
    at += 8 + ReadLe32(&header[at + 4]) + (ReadLe32(&header[at + 4]) & 1);
    EXPECT_EQ(at % 2, 0u);
  }
  EXPECT_EQ(order,
            (std::vector<std::string>{"bext", "iXML", "LISTINFO", "cue ", "LISTadtl", "data"}));
  const std::string text(header.begin(), header.end());
  const size_t cueAt = text.find("cue ");
  EXPECT_EQ(ReadLe32(&header[cueAt + 4]), 4u + 3 * 24);
  const unsigned char* second = &header[cueAt + 12 + 24];
  EXPECT_EQ(ReadLe32(second), 2u);          // dwName
  EXPECT_EQ(ReadLe32(second + 4), 12000u);  // dwPosition
  EXPECT_EQ(std::memcmp(second + 8, "data", 4), 0);
  EXPECT_EQ(ReadLe32(second + 12), 0u);
  EXPECT_EQ(ReadLe32(second + 16), 0u);
  EXPECT_EQ(ReadLe32(second + 20), 12000u);  // dwSampleOffset
  EXPECT_LT(text.rfind("labl"), text.find("ltxt"));
  EXPECT_LT(text.find("note"), text.find("ltxt"));
}

TEST(Metadata, NothingToCarryWritesNothing) {
  EXPECT_TRUE(MetadataChunkBytes(DestinationMetadata()).empty());
  const PcmFormat format = IntegerFormat(2, 2, 44100);
  EXPECT_EQ(HeaderBytes(format, 10, {}), HeaderBytes(format, 10));
}

TEST(Metadata, HostileChunksAreIgnoredWithTheirFault) {
  testing::TempDir dir;
  const Bytes goodCue = CueTable(2, {{{7, 0, 100}}, {{9, 300, 0}}});
  const Bytes label = Entry("labl", Join({Le32(9), Text("nine"), Bytes{0}}));
  struct Case {
    const char* name;
    Bytes wav;
    std::vector<MetadataFault> faults;
    size_t markers;
    std::string secondLabel;
  };
  const Bytes audio(4, 0);
  const std::vector<Case> cases = {
      {"good table, position-only point",
       WavBuilder()
           .Fmt({1, 8000, 16})
           .Chunk("cue ", goodCue)
           .Data(audio)
           .Chunk("LIST", Join({Text("adtl"), label}))
           .Build(),
       {},
       2,
       "nine"},
      {"count larger than the chunk",
       WavBuilder()
           .Fmt({1, 8000, 16})
           .Chunk("cue ", CueTable(1000000, {{{1, 0, 5}}}))
           .Data(audio)
           .Build(),
       {MetadataFault::kCueCountTooLarge},
       0,
       ""},
      {"count of 2^32 - 1",
       WavBuilder().Fmt({1, 8000, 16}).Chunk("cue ", CueTable(0xFFFFFFFFu, {})).Data(audio).Build(),
       {MetadataFault::kCueCountTooLarge},
       0,
       ""},
      {"label naming no cue",
       WavBuilder()
           .Fmt({1, 8000, 16})
           .Chunk("cue ", goodCue)
           .Data(audio)
           .Chunk("LIST", Join({Text("adtl"), Entry("labl", Join({Le32(8), Text("x"), Bytes{0}}))}))
           .Build(),
       {MetadataFault::kLabelWithoutCue},
       2,
       ""},
      {"text without its zero",
       WavBuilder()
           .Fmt({1, 8000, 16})
           .Chunk("cue ", goodCue)
           .Data(audio)
           .Chunk("LIST", Join({Text("adtl"), Entry("labl", Join({Le32(9), Text("nine")}))}))
           .Build(),
       {MetadataFault::kTextWithoutZero},
       2,
       ""},
      {"entry running past its list",
       WavBuilder()
           .Fmt({1, 8000, 16})
           .Chunk("cue ", goodCue)
           .Data(audio)
           .Chunk("LIST", Join({Text("adtl"), Text("labl"), Le32(4000), Le32(9)}))
           .Build(),
       {MetadataFault::kAdtlEntryTooLarge},
       2,
       ""},
      {"ltxt shorter than its fields",
       WavBuilder()
           .Fmt({1, 8000, 16})
           .Chunk("cue ", goodCue)
           .Data(audio)
           .Chunk("LIST", Join({Text("adtl"), Entry("ltxt", Le32(9))}))
           .Build(),
       {MetadataFault::kAdtlEntryTooLarge},
       2,
       ""},
      {"short bext",
       WavBuilder().Fmt({1, 8000, 16}).Chunk("bext", Bytes(100, 'a')).Data(audio).Build(),
       {MetadataFault::kBextTooShort},
       0,
       ""},
      {"cue chunk past the file",
       WavBuilder().Fmt({1, 8000, 16}).Data(audio).ChunkWithSize("cue ", 5000, goodCue).Build(),
       {MetadataFault::kChunkPastFile},
       0,
       ""},
      {"huge iXML",
       WavBuilder()
           .Fmt({1, 8000, 16})
           .Data(audio)
           .ChunkWithSize("iXML", 0x7FFFFFF0u, Bytes(8, 0))
           .Build(),
       {MetadataFault::kChunkTooLarge},
       0,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SourceMetadata read = ReadBack(c.wav);
    std::vector<MetadataFault> faults;
    for (const MetadataFaultAt& fault : read.faults) faults.push_back(fault.fault);
    EXPECT_EQ(faults, c.faults);
    ASSERT_EQ(read.markers.size(), c.markers);
    if (c.markers == 2) {
      EXPECT_EQ(read.markers[0].frame, 100);
      EXPECT_EQ(read.markers[1].frame, 300);
      EXPECT_EQ(read.markers[1].label, c.secondLabel);
    }
  }
}

}  // namespace
}  // namespace wavsplice
