#include "task/crossfade_plan.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "common/messages.h"
#include "render/crossfade_fit.h"
#include "render/crossfade_steps.h"

namespace wavsplice {

namespace {

const EditEntry& EntryAt(const RunState& run, int32_t index) {
  return run.entries[static_cast<size_t>(index)];
}

int64_t EndOf(const EditEntry& entry) { return entry.insertPoint + entry.readLength; }

// The words of each outcome, in the order of CrossfadeOutcome, and of a crossfade made with
// silence.
constexpr CrossfadeWords kWords[] = {
    {"", "none", "", "", ""},
    {"", "made", "will be made", "made", "made"},
    {"", "not placed", "made but not placed (it would start at the first frame)", "not placed",
     "not placed"},
    {msg::kCrossfadeDestinationShort, msg::kCrossfadeDestinationShort,
     msg::kCrossfadeDestinationShort, "fails (destination)", msg::kCrossfadeDestinationShort},
    {msg::kCrossfadeSourceShort, msg::kCrossfadeSourceShort, msg::kCrossfadeSourceShort,
     "fails (source)", msg::kCrossfadeSourceShort},
    {"", msg::kCrossfadeNotMade, msg::kCrossfadeNotMade, "fails", msg::kCrossfadeNotMade},
    {"", msg::kCrossfadeNotMade, msg::kCrossfadeNotMade, "fails", msg::kCrossfadeNotMade},
};
constexpr CrossfadeWords kMadeWithSilence = {"", "made, with silence", "will be made, with silence",
                                             "made, with silence", "made, with silence"};

}  // namespace

// Frames of [start, end) that no entry written before position k of the write order covers.
int64_t UncoveredBefore(const RunState& run, int32_t k, int64_t start, int64_t end) {
  std::vector<std::pair<int64_t, int64_t>> covered;
  for (int32_t i = 0; i < k; ++i) {
    const EditEntry& earlier = EntryAt(run, run.writeOrder[static_cast<size_t>(i)]);
    const int64_t from = std::max<int64_t>(start, earlier.insertPoint);
    const int64_t to = std::min<int64_t>(end, EndOf(earlier));
    if (from < to) covered.emplace_back(from, to);
  }
  std::sort(covered.begin(), covered.end());
  int64_t uncovered = 0;
  int64_t at = start;
  for (const auto& span : covered) {
    if (span.first > at) uncovered += span.first - at;
    at = std::max(at, span.second);
  }
  return uncovered + std::max<int64_t>(0, end - at);
}

std::string TaskUnits(const RunState& run, int64_t frames) {
  char text[64];
  if (run.sampleMode == 1 || run.format.sampleRate <= 0) {
    std::snprintf(text, sizeof text, "%lld samples", static_cast<long long>(frames));
  } else {
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(frames) / run.format.sampleRate);
  }
  return text;
}

bool BlendsWithSilence(const RunState& run, const EditEntry& entry, const CrossfadePlan& plan) {
  if (plan.outcome != CrossfadeOutcome::kMade) return false;
  const int32_t index = static_cast<int32_t>(&entry - run.entries.data());
  const int32_t k = static_cast<int32_t>(
      std::find(run.writeOrder.begin(), run.writeOrder.begin() + run.entryCount, index) -
      run.writeOrder.begin());
  const int64_t half = plan.xfSamples / 2;
  const int64_t splice = entry.insertPoint;
  return UncoveredBefore(run, k, splice - half, splice) * 2 > half ||
         UncoveredBefore(run, k, splice, splice + half) * 2 > half;
}

CrossfadePlan PlanCrossfade(const RunState& run, const EditEntry& entry) {
  CrossfadePlan plan;
  if (entry.xfType == 0) return plan;
  plan.xfSamples = entry.xfSamples;
  if (!CrossfadeSamples(run.format.sampleRate, entry.xfWidth, plan.xfSamples) ||
      !CrossfadeWithinReach(entry.insertPoint, plan.xfSamples, run.format.FrameBytes())) {
    plan.outcome = CrossfadeOutcome::kTooLong;
    return plan;
  }
  plan.destStart = entry.insertPoint - plan.xfSamples / 2;
  plan.outcome = FitCrossfade(entry.insertPoint, entry.readStart, plan.xfSamples, run.destLength,
                              entry.attributes.lengthSamples);
  if (plan.outcome != CrossfadeOutcome::kMade) return plan;
  if (plan.destStart < 1) plan.outcome = CrossfadeOutcome::kNotPlaced;
  plan.pastEnd =
      plan.xfSamples - CrossfadeFramesPlaced(entry.insertPoint, plan.xfSamples, run.destLength);
  return plan;
}

const CrossfadeWords& WordsOf(CrossfadeOutcome outcome) {
  return kWords[static_cast<size_t>(outcome)];
}

const CrossfadeWords& WordsOf(const RunState& run, const EditEntry& entry,
                              const CrossfadePlan& plan) {
  return BlendsWithSilence(run, entry, plan) ? kMadeWithSilence : WordsOf(plan.outcome);
}

std::vector<HeardSpan> HeardMap(const RunState& run) {
  std::vector<int64_t> cuts{0, run.destLength};
  for (int32_t j = 0; j < run.entryCount; ++j) {
    cuts.push_back(EntryAt(run, j).insertPoint);
    cuts.push_back(EndOf(EntryAt(run, j)));
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  std::vector<HeardSpan> heard;
  for (size_t c = 0; c + 1 < cuts.size(); ++c) {
    int32_t owner = -1;
    for (int32_t k = 0; k < run.entryCount; ++k) {
      const int32_t index = run.writeOrder[static_cast<size_t>(k)];
      const EditEntry& entry = EntryAt(run, index);
      if (entry.insertPoint <= cuts[c] && EndOf(entry) >= cuts[c + 1]) owner = index;
    }
    if (!heard.empty() && heard.back().entry == owner) {
      heard.back().end = cuts[c + 1];
    } else {
      heard.push_back({cuts[c], cuts[c + 1], owner});
    }
  }
  return heard;
}

}  // namespace wavsplice
