#include "task/destination_metadata.h"

#include <gtest/gtest.h>

#include <string>

#include "task/version.h"
#include "wav/pcm_format.h"

namespace wavsplice {
namespace {

TEST(SourceTimeLabel, MinutesSecondsAndRoundedMilliseconds) {
  const struct {
    int64_t frame;
    int32_t rate;
    const char* label;
  } cases[] = {
      {19200, 48000, "take2.wav 0:00.400"},
      {0, 44100, "take2.wav 0:00.000"},
      {47999, 48000, "take2.wav 0:01.000"},  // 999.98 ms rounds up a second
      {48000 * 75 + 24, 48000, "take2.wav 1:15.001"},
      {44100LL * 3600 * 25, 44100, "take2.wav 1500:00.000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SourceTimeLabel("take2.wav", c.frame, c.rate), c.label);
  }
}

// One source: a stretch laid at insertPoint from readStart.
RunState OneEdit(int64_t insertPoint, int64_t readStart, int64_t readLength) {
  RunState run;
  run.format = IntegerFormat(1, 1, 8000);
  run.entryCount = 1;
  run.entries.resize(1);
  EditEntry& entry = run.entries[0];
  entry.sourcePath = "a.wav";
  entry.line = 3;
  entry.insertPoint = insertPoint;
  entry.readStart = readStart;
  entry.readLength = readLength;
  entry.readEnd = readStart + readLength;
  entry.attributes.lengthSamples = readStart + readLength;
  run.destLength = insertPoint + readLength;
  run.writeOrder[0] = 0;
  return run;
}

TEST(PlanDestinationMetadata, MarkersMovedCutAndDropped) {
  RunState run = OneEdit(1000, 500, 2000);
  run.markersLine = 1;
  SourceMetadata& source = run.sourceMetadata["a.wav"];
  source.markers.resize(4);
  source.markers[0].frame = 499;  // before the span
  source.markers[1].frame = 500;
  source.markers[1].label = "first";
  source.markers[2].frame = 2400;
  source.markers[2].isRegion = true;
  source.markers[2].region.length = 1000;  // cut to the 100 frames left
  source.markers[3].frame = 2500;          // the span's end: not in it
  PlanDestinationMetadata(run);
  ASSERT_EQ(run.destMarkers.size(), 3u);
  EXPECT_EQ(run.destMarkers[0].marker.label, "a.wav 0:00.063");
  EXPECT_EQ(run.destMarkers[0].marker.frame, 1000);
  EXPECT_EQ(run.destMarkers[1].marker.label, "first");
  EXPECT_EQ(run.destMarkers[1].marker.frame, 1000);
  EXPECT_EQ(run.destMarkers[2].marker.frame, 2900);
  EXPECT_EQ(run.destMarkers[2].marker.region.length, 100u);
  EXPECT_TRUE(run.diagnostics.empty());

  // Up to the last frame a cue point can hold; past it, dropped with a warning.
  RunState far = OneEdit(kLastMarkerFrame, 0, 10);
  far.entries[0].marks.push_back({"late", 4});
  PlanDestinationMetadata(far);
  EXPECT_EQ(far.destMarkers.size(), 1u);  // the last frame a cue point holds
  RunState edge = OneEdit(kLastMarkerFrame + 1, 0, 10);
  edge.entries[0].marks.push_back({"late", 4});
  PlanDestinationMetadata(edge);
  EXPECT_TRUE(edge.destMarkers.empty());
  ASSERT_EQ(edge.diagnostics.size(), 1u);
  EXPECT_EQ(edge.diagnostics[0].kind, DiagnosticKind::kWarning);
  EXPECT_EQ(edge.diagnostics[0].line, 4);
  EXPECT_EQ(edge.diagnostics[0].text,
            "the marker 'late' of task 1 at 536870.912 s is dropped: markers reach frame "
            "4294967295 at most");
}

TEST(DestinationBext, MovedTimeReferenceAndOneMoreHistoryLine) {
  RunState run = OneEdit(0, 4800, 100);
  run.format = IntegerFormat(3, 2, 48000);
  run.keepMetadataLine = 1;
  SourceMetadata& source = run.sourceMetadata["a.wav"];
  source.hasBext = true;
  source.bext.description = "take";
  source.bext.originatorReference = "unique";
  source.bext.timeReference = 1000000;
  source.bext.codingHistory = "A=PCM,T=recorder";  // without its line end
  source.ixml = {'<', '/', '>'};
  PlanDestinationMetadata(run);
  ASSERT_EQ(run.metadataEntry, 0);
  EXPECT_EQ(CarriedChunks(run), "bext, iXML");
  std::tm when{};
  when.tm_year = 124;
  when.tm_mon = 1;
  when.tm_mday = 29;
  when.tm_hour = 23;
  when.tm_min = 5;
  when.tm_sec = 9;
  const BroadcastExtension bext = DestinationBext(run, when);
  EXPECT_EQ(bext.description, "take");
  EXPECT_EQ(bext.originator, "wavsplice");
  EXPECT_EQ(bext.originatorReference, "");
  EXPECT_EQ(bext.originationDate, "2024-02-29");
  EXPECT_EQ(bext.originationTime, "23:05:09");
  EXPECT_EQ(bext.timeReference, 1004800u);
  EXPECT_EQ(bext.version, 2);
  EXPECT_EQ(bext.loudness[0], kLoudnessNotMeasured);
  EXPECT_EQ(bext.codingHistory,
            std::string("A=PCM,T=recorder\r\nA=PCM,F=48000,W=24,M=stereo,T=wavsplice ") + kVersion +
                "\r\n");
}

}  // namespace
}  // namespace wavsplice
