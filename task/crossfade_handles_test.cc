#include "task/crossfade_handles.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace wavsplice {
namespace {

TEST(CrossfadeHandles, ZoneGoesWhereTheMaterialIs) {
  const struct {
    int64_t xfSamples, pre, post;
    HandlesZoneKind kind;
    int64_t frames, before;
  } cases[] = {
      {40, 50, 100, HandlesZoneKind::kCentred, 40, 20},
      {40, 20, 20, HandlesZoneKind::kCentred, 40, 20},  // exactly enough on both sides
      {41, 20, 21, HandlesZoneKind::kCentred, 41, 20},  // the odd frame goes after the splice
      {1, 0, 1, HandlesZoneKind::kCentred, 1, 0},
      {40, 0, 100, HandlesZoneKind::kMoved, 40, 0},  // no pre-roll: starts at the splice
      {40, 5, 100, HandlesZoneKind::kMoved, 40, 5},
      {40, 10, 30, HandlesZoneKind::kMoved, 40, 10},
      {40, 50, 0, HandlesZoneKind::kMoved, 40, 40},  // no post-roll: ends at the splice
      {40, 50, 10, HandlesZoneKind::kMoved, 40, 30},
      {40, 30, 10, HandlesZoneKind::kMoved, 40, 30},
      {40, 30, 9, HandlesZoneKind::kShrunk, 39, 30},  // both short
      {40, 10, 29, HandlesZoneKind::kShrunk, 39, 10},
      {40, 15, 10, HandlesZoneKind::kShrunk, 25, 15},
      {40, 1, 1, HandlesZoneKind::kShrunk, 2, 1},
      {40, 1, 0, HandlesZoneKind::kNone, 0, 0},  // shrunk below 2 frames
      {40, 0, 1, HandlesZoneKind::kNone, 0, 0},
      {40, 0, 0, HandlesZoneKind::kNone, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("xfSamples " + std::to_string(c.xfSamples) + ", pre " + std::to_string(c.pre) +
                 ", post " + std::to_string(c.post));
    const HandlesZone zone = PlaceHandlesZone(c.xfSamples, c.pre, c.post);
    EXPECT_EQ(zone.kind, c.kind);
    EXPECT_EQ(zone.xfSamples, c.frames);
    EXPECT_EQ(zone.before, c.before);
  }
}

EditEntry Entry(int64_t insertPoint, int64_t readStart, int64_t readLength, int64_t sourceFrames,
                int32_t xfType) {
  EditEntry entry;
  entry.insertPoint = insertPoint;
  entry.readStart = readStart;
  entry.readLength = readLength;
  entry.readEnd = readStart + readLength;
  entry.attributes.lengthSamples = static_cast<int32_t>(sourceFrames);
  entry.xfType = xfType;
  entry.xfWidth = 40.0f;  // 40 frames at 1000 per second
  return entry;
}

// Three takes end to end: the middle one is moved for its own crossfade (no pre-roll) and extended
// for the next (centred); the first is extended to the end of the middle one's zone.
TEST(CrossfadeHandles, PlainPlanExtendsOutgoingSpansAndMovesSplices) {
  RunState run;
  run.handles = true;
  run.format.sampleRate = 1000;
  run.entryCount = 3;
  run.entries = {Entry(0, 0, 100, 300, 0), Entry(100, 0, 100, 300, 1), Entry(200, 50, 100, 300, 2)};
  run.writeOrder = {0, 1, 2};
  const std::vector<HandlesCrossfade> handles = PlanHandles(run);
  EXPECT_EQ(handles[0].outgoing, -1);
  EXPECT_EQ(handles[1].outgoing, 0);
  EXPECT_EQ(handles[1].zone.kind, HandlesZoneKind::kMoved);
  EXPECT_EQ(handles[1].shift, 20);
  EXPECT_EQ(handles[1].destStart, 100);
  EXPECT_EQ(handles[2].outgoing, 1);
  EXPECT_EQ(handles[2].zone.kind, HandlesZoneKind::kCentred);
  EXPECT_EQ(handles[2].destStart, 180);

  const std::vector<EditEntry> plain = EntriesWithHandles(run, handles);
  EXPECT_EQ(plain[0].readEnd, 140);  // to the end of the second edit's zone
  EXPECT_EQ(plain[1].insertPoint, 120);
  EXPECT_EQ(plain[1].readStart, 20);
  EXPECT_EQ(plain[1].readEnd, 120);  // its own end 100, extended to frame 220's
  EXPECT_EQ(plain[1].readLength, 100);
  EXPECT_EQ(plain[2].insertPoint, 200);
  EXPECT_EQ(plain[2].xfSamples, 40);
  EXPECT_EQ(plain[2].xfWidth, 0.0f);

  std::optional<RunState> storage;
  EXPECT_EQ(PlainPlanOf(run, storage).entries[1].insertPoint, 120);
  EXPECT_TRUE(storage.has_value());

  // Without handles nothing is planned, and the plain plan is the run itself, not a copy.
  run.handles = false;
  EXPECT_EQ(PlanHandles(run)[1].outgoing, -1);
  EXPECT_EQ(PlainPlan(run).entries[1].insertPoint, 100);
  storage.reset();
  EXPECT_EQ(&PlainPlanOf(run, storage), &run);
  EXPECT_FALSE(storage.has_value());
}

}  // namespace
}  // namespace wavsplice
