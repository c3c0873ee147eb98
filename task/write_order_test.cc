#include "task/write_order.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/staged_file.h"
#include "tests/stdout_capture.h"
#include "tests/temp_dir.h"
#include "tests/wav_fixture.h"
#include "wav/wav_writer.h"

namespace wavsplice {
namespace {

constexpr double kAppended = std::numeric_limits<double>::lowest();

// Entries with an `ins` each, or appended where the value is kAppended.
std::vector<int32_t> OrderOf(const std::vector<double>& ins) {
  std::vector<EditEntry> entries(ins.size());
  for (size_t i = 0; i < ins.size(); ++i) {
    entries[i].append = ins[i] == kAppended ? 1 : 0;
    entries[i].ins = ins[i] == kAppended ? 0 : ins[i];
  }
  std::vector<int32_t> order(ins.size(), -1);
  FindOrder(static_cast<int32_t>(ins.size()), entries, order);
  return order;
}

TEST(FindOrder, WorkedOrders) {
  const double app = kAppended;
  EXPECT_EQ(OrderOf({3, 1, 2, 0.5}), std::vector<int32_t>({3, 1, 2, 0}));
  EXPECT_EQ(OrderOf({1, 1, 0}), std::vector<int32_t>({2, 0, 1}));
  EXPECT_EQ(OrderOf({5, app, 1, app}), std::vector<int32_t>({2, 3, 0, 1}));
  EXPECT_EQ(OrderOf({app, app, 3, 1}), std::vector<int32_t>({0, 1, 3, 2}));
  EXPECT_EQ(OrderOf({app, app, app}), std::vector<int32_t>({0, 1, 2}));
  EXPECT_EQ(OrderOf({7}), std::vector<int32_t>({0}));
  EXPECT_EQ(OrderOf({2, app, app, 1, app, 0}), std::vector<int32_t>({5, 3, 4, 0, 1, 2}));
  EXPECT_EQ(OrderOf({-2, 0}), std::vector<int32_t>({0, 1}));
  EXPECT_EQ(OrderOf({0, -2}), std::vector<int32_t>({1, 0}));

  // An `ins` that the search bound cannot beat still yields a permutation.
  EXPECT_EQ(OrderOf({1e300, 1}), std::vector<int32_t>({1, 0}));
  EXPECT_EQ(OrderOf({std::numeric_limits<double>::infinity(), 2}), std::vector<int32_t>({1, 0}));
  EXPECT_EQ(OrderOf({std::nan(""), 1, app}), std::vector<int32_t>({1, 2, 0}));

  // An appended entry's `ins` only raises the search bound.
  std::vector<EditEntry> entries(3);
  entries[0].append = 0;
  entries[0].ins = 50;
  entries[1].append = 1;
  entries[1].ins = 1;
  entries[2].append = 0;
  entries[2].ins = 100;
  std::vector<int32_t> order(3, -1);
  FindOrder(3, entries, order);
  EXPECT_EQ(order, std::vector<int32_t>({0, 1, 2}));

  // Nothing is written for a count of 0 or less.
  order.assign(3, -1);
  FindOrder(0, entries, order);
  FindOrder(-4, entries, order);
  EXPECT_EQ(order, std::vector<int32_t>({-1, -1, -1}));
}

struct PlanEntry {
  const char* path;
  int32_t append;
  double ins, xin, xout;
  int64_t readLength;
};

RunState PlanOf(int32_t sampleMode, const std::vector<PlanEntry>& plan) {
  RunState run;
  run.sampleMode = sampleMode;
  run.format = IntegerFormat(2, 2, 44100);
  run.entryCount = static_cast<int32_t>(plan.size());
  run.entries.resize(plan.size());
  for (size_t i = 0; i < plan.size(); ++i) {
    EditEntry& entry = run.entries[i];
    entry.sourcePath = plan[i].path;
    entry.append = plan[i].append;
    entry.ins = plan[i].ins;
    entry.xin = plan[i].xin;
    entry.xout = plan[i].xout;
    entry.readLength = plan[i].readLength;
  }
  return run;
}

std::vector<int64_t> InsertPoints(const RunState& run) {
  std::vector<int64_t> points;
  for (int32_t i = 0; i < run.entryCount; ++i)
    points.push_back(run.entries[static_cast<size_t>(i)].insertPoint);
  return points;
}

TEST(PlanWriteOrder, InsertPointsAndDestLength) {
  // All appended, seconds at 44100.
  RunState run = PlanOf(
      0,
      {{"a.wav", 1, 0, 0, 2, 88200}, {"b.wav", 1, 0, 1, 3, 88200}, {"c.wav", 1, 0, 0, 0.5, 22050}});
  PlanWriteOrder(run);
  EXPECT_EQ(InsertPoints(run), std::vector<int64_t>({0, 88200, 176400}));
  EXPECT_EQ(run.destLength, 198450);
  EXPECT_EQ(run.entries[2].ins, 4.0);

  // ins 1.5 with a 2-second span, then an appended entry (xin 1, xout 3).
  run = PlanOf(0, {{"a.wav", 0, 1.5, 0, 2, 88200}, {"b.wav", 1, 0, 1, 3, 88200}});
  PlanWriteOrder(run);
  EXPECT_EQ(InsertPoints(run), std::vector<int64_t>({66150, 154350}));
  EXPECT_EQ(run.entries[1].ins, 3.5);
  EXPECT_EQ(run.destLength, 242550);
  EXPECT_EQ(run.writeOrder[0], 0);
  EXPECT_EQ(run.writeOrder[1], 1);

  // Sample mode truncates.
  run = PlanOf(1, {{"a.wav", 0, 50.7, 0, 100, 100}, {"b.wav", 1, 0, 0, 10, 10}});
  PlanWriteOrder(run);
  EXPECT_EQ(InsertPoints(run), std::vector<int64_t>({50, 150}));
  EXPECT_EQ(run.entries[1].ins, 150.7);
  EXPECT_EQ(run.destLength, 160);

  // A predecessor limited by its source: the appended entry still starts after the whole span asked
  // for.
  run = PlanOf(1, {{"a.wav", 0, 0, 0, 2000, 1000}, {"b.wav", 1, 0, 0, 500, 500}});
  PlanWriteOrder(run);
  EXPECT_EQ(InsertPoints(run), std::vector<int64_t>({0, 2000}));
  EXPECT_EQ(run.destLength, 2500);

  // Seconds: the sum is converted once, so the successor starts two samples before the
  // predecessor's end.
  run = PlanOf(0, {{"a.wav", 0, 0.1, 0.7, 3.3, 114661}, {"b.wav", 1, 0, 0, 1, 44100}});
  PlanWriteOrder(run);
  EXPECT_EQ(InsertPoints(run), std::vector<int64_t>({4410, 119069}));
  EXPECT_EQ(run.destLength, 119069 + 44100);

  // The furthest end, not the sum of the spans.
  run = PlanOf(0, {{"a.wav", 0, 0, 0, 1, 44100}, {"b.wav", 0, 0, 0, 3, 132300}});
  PlanWriteOrder(run);
  EXPECT_EQ(run.destLength, 132300);

  // An appended entry 0 starts at 0 whatever `ins` it held, and so does the leading appended run.
  run = PlanOf(
      0,
      {{"a.wav", 1, 7, 0, 1, 44100}, {"b.wav", 1, 0, 0, 1, 44100}, {"c.wav", 0, 0.5, 0, 1, 44100}});
  PlanWriteOrder(run);
  EXPECT_EQ(run.entries[0].ins, 0.0);
  EXPECT_EQ(InsertPoints(run), std::vector<int64_t>({0, 44100, 22050}));
  EXPECT_EQ(std::vector<int32_t>(run.writeOrder.begin(), run.writeOrder.begin() + 3),
            std::vector<int32_t>({0, 1, 2}));
  EXPECT_EQ(run.destLength, 88200);

  // A tiny negative `ins` truncates to 0 and is accepted.
  run = PlanOf(0, {{"a.wav", 0, -0.00001, 0, 1, 44100}});
  PlanWriteOrder(run);
  EXPECT_EQ(run.entries[0].insertPoint, 0);
  EXPECT_EQ(run.destLength, 44100);
}

std::string RefusalOf(RunState run) {
  const testing::Outcome outcome = testing::RunCaptured([&run] { PlanWriteOrder(run); });
  if (!outcome.failed) return "no failure";
  return std::to_string(outcome.exitCode) + " " + outcome.out + outcome.message;
}

TEST(PlanWriteOrder, InsertPointRefusals) {
  const std::string refusedB = "1 Insert point set incorrectly for b.wav\n";
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double bad : {nan, inf, -inf}) {
    EXPECT_EQ(RefusalOf(PlanOf(0, {{"a.wav", 0, 1, 0, 1, 10},
                                   {"b.wav", 0, bad, 0, 1, 10},
                                   {"c.wav", 0, nan, 0, 1, 10}})),
              refusedB)
        << bad;
  }
  // A non-finite `ins` left behind by `ins app` does not count.
  EXPECT_EQ(RefusalOf(PlanOf(0, {{"a.wav", 0, 1, 0, 1, 10}, {"b.wav", 1, nan, 0, 1, 10}})),
            "no failure");

  // Negative insert points.
  EXPECT_EQ(RefusalOf(PlanOf(0, {{"a.wav", 0, 1, 0, 1, 10}, {"b.wav", 0, -0.5, 0, 1, 10}})),
            refusedB);
  EXPECT_EQ(RefusalOf(PlanOf(1, {{"a.wav", 0, 0, 0, 1, 10}, {"b.wav", 0, -1, 0, 1, 10}})),
            refusedB);

  // 16-bit stereo, beyond 2 GiB and 4 GiB alike: refused only where an edit's end passes the last
  // frame a file offset reaches. `ins` is a double, so the edit starts at a double below that frame
  // and its span is sized to end exactly on it.
  const int64_t last = MaxDataFrames(4);
  const double near = 2305843009213660160.0;  // a double below last
  const int64_t room = last - static_cast<int64_t>(near);
  RunState fits = PlanOf(1, {{"a.wav", 0, 0, 0, 1, 10}, {"b.wav", 0, near, 0, 1, room}});
  EXPECT_EQ(RefusalOf(fits), "no failure");
  PlanWriteOrder(fits);
  EXPECT_EQ(fits.destLength, last);
  EXPECT_EQ(RefusalOf(PlanOf(1, {{"a.wav", 0, 0, 0, 1, 10}, {"b.wav", 0, near, 0, 1, room + 1}})),
            refusedB);
  RunState large = PlanOf(1, {{"a.wav", 0, 3e9, 0, 1, 10}, {"b.wav", 1, 0, 0, 1, 10}});
  PlanWriteOrder(large);
  EXPECT_EQ(InsertPoints(large), std::vector<int64_t>({3000000000, 3000000001}));
  EXPECT_EQ(large.destLength, 3000000011);
  // Beyond the 64-bit range, in seconds and in samples.
  EXPECT_EQ(RefusalOf(PlanOf(0, {{"a.wav", 0, 0, 0, 1, 10}, {"b.wav", 0, 2.1e14, 0, 1, 10}})),
            refusedB);
  EXPECT_EQ(RefusalOf(PlanOf(1, {{"a.wav", 0, 0, 0, 1, 10}, {"b.wav", 0, 9.3e18, 0, 1, 10}})),
            refusedB);
  EXPECT_EQ(RefusalOf(PlanOf(1, {{"a.wav", 0, 0, 0, 1, 10}, {"b.wav", 0, 1e300, 0, 1, 10}})),
            refusedB);
  // Appended after an enormous xout (limited by its source, so it resolved).
  EXPECT_EQ(RefusalOf(PlanOf(1, {{"a.wav", 0, 0, 0, 4e18, 1000}, {"b.wav", 1, 0, 0, 1, 10}})),
            refusedB);
  EXPECT_EQ(RefusalOf(PlanOf(0, {{"a.wav", 0, 0, 0, 1e300, 1000}, {"b.wav", 1, 0, 0, 1, 10}})),
            refusedB);
}

TEST(CreateDestination, HeaderAndSilence) {
  testing::TempDir dir;
  RunState run = PlanOf(1, {});
  run.destPath = "shown.wav";  // messages name it; the bytes go to its staged file
  run.destLength = 1000;
  {
    std::optional<StagedFile> staged = StagedFile::Create("out.wav", "out.wav");
    ASSERT_TRUE(staged.has_value());
    run.destFd = staged->fd();
    CreateDestination(run);
    EXPECT_EQ(run.destAudioStart, 44);
    EXPECT_EQ(testing::ReadFile(staged->path()),
              testing::CanonicalWav({2, 44100, 16}, std::vector<int32_t>(2000, 0)));
    EXPECT_FALSE(testing::FileExists("shown.wav"));
  }
  const Descriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
  run.destFd = full.get();
  const testing::Outcome outcome = testing::RunCaptured([&run] { CreateDestination(run); });
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.message, "Cannot write to file shown.wav\n");
}

}  // namespace
}  // namespace wavsplice
