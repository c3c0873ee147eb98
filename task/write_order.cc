#include "task/write_order.h"

#include <cmath>
#include <ctime>

#include "common/failure.h"
#include "common/messages.h"
#include "task/destination_metadata.h"
#include "task/task_units.h"
#include "wav/wav_writer.h"

namespace wavsplice {

namespace {

[[noreturn]] void FailInsertPoint(const EditEntry& entry) {
  Fail(kExitTask, msg::kInsertPointIncorrect, entry.sourcePath.c_str());
}

// Sets insertPoint from `ins`, refusing a point below 0 or an edit whose end no file offset can
// reach.
void SetInsertPoint(const RunState& run, EditEntry& entry) {
  int64_t point = 0;
  if (!ToFrames(run, entry.ins, point) || point < 0) FailInsertPoint(entry);
  int64_t end = 0;
  if (__builtin_add_overflow(point, entry.readLength, &end) ||
      end > MaxDataFrames(run.format.FrameBytes())) {
    FailInsertPoint(entry);
  }
  entry.insertPoint = point;
}

// Puts the piece at index right after the piece before it.
void FollowPreviousPiece(RunState& run, int32_t index) {
  EditEntry& entry = run.entries[static_cast<size_t>(index)];
  const EditEntry& previous = run.entries[static_cast<size_t>(index - 1)];
  entry.insertPoint = previous.insertPoint + previous.readLength;
  int64_t end = 0;
  if (__builtin_add_overflow(entry.insertPoint, entry.readLength, &end) ||
      end > MaxDataFrames(run.format.FrameBytes())) {
    FailInsertPoint(entry);
  }
}

}  // namespace

void FindOrder(int32_t count, const std::vector<EditEntry>& entries, std::vector<int32_t>& order) {
  if (count <= 0) return;
  const auto at = [&entries](int32_t i) -> const EditEntry& {
    return entries[static_cast<size_t>(i)];
  };
  std::vector<int32_t> placed(static_cast<size_t>(count));
  double bound = 0;
  for (int32_t i = 0; i < count; ++i) {
    placed[static_cast<size_t>(i)] = at(i).append == 1;
    if (at(i).ins > bound) bound = at(i).ins;
  }
  bound += 1;

  int32_t next = 0;
  if (at(0).append == 1) {
    while (next < count && at(next).append == 1) {
      order[static_cast<size_t>(next)] = next;
      ++next;
    }
  }
  while (next < count) {
    int32_t chosen = -1;
    double best = bound;
    for (int32_t i = 0; i < count; ++i) {
      if (!placed[static_cast<size_t>(i)] && at(i).ins < best) {
        best = at(i).ins;
        chosen = i;
      }
    }
    // An `ins` too large to be beaten by the bound (refused later as an insert point) must not
    // stall the order: take the first unplaced entry.
    for (int32_t i = 0; chosen < 0 && i < count; ++i) {
      if (!placed[static_cast<size_t>(i)]) chosen = i;
    }
    if (chosen < 0) break;
    order[static_cast<size_t>(next++)] = chosen;
    for (int32_t k = chosen + 1; k < count && at(k).append == 1 && next < count; ++k) {
      order[static_cast<size_t>(next++)] = k;
    }
    placed[static_cast<size_t>(chosen)] = 1;
  }
}

void PlanWriteOrder(RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = run.entries[static_cast<size_t>(j)];
    run.refusedLine = entry.line;
    if (entry.append == 0 && !std::isfinite(entry.ins)) FailInsertPoint(entry);
  }
  FindOrder(run.entryCount, run.entries, run.writeOrder);

  int64_t furthest = 0;
  for (int32_t k = 0; k < run.entryCount; ++k) {
    EditEntry& entry = run.entries[static_cast<size_t>(k)];
    if (entry.append == 1) {
      if (k == 0) {
        entry.ins = 0;
      } else {
        const EditEntry& previous = run.entries[static_cast<size_t>(k - 1)];
        entry.ins = (previous.xout - previous.xin) + previous.ins;
      }
    }
    run.refusedLine = entry.line;
    SetInsertPoint(run, entry);
    // The pieces of an edit with cuts join frame to frame, whatever the rounding of their times.
    if (entry.piece > 1) FollowPreviousPiece(run, k);
    const int64_t end = entry.insertPoint + entry.readLength;
    if (end > furthest) furthest = end;
  }
  run.destLength = furthest;
  run.refusedLine = 0;
}

void CreateDestination(RunState& run) {
  const PcmFormat format = run.format;
  // The bext's origination is the moment the destination is made.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  WavWriter destination(run.destFd, format, run.destPath);
  if (!MAKE_HEADER(destination, run.destLength,
                   MetadataChunkBytes(DestinationMetadataOf(run, local)))) {
    Fail(kExitFile, msg::kCannotWriteToFile, run.destPath.c_str());
  }
  PAD_FILE(destination, 0, run.destLength);
  run.destAudioStart = destination.audioStart();
}

}  // namespace wavsplice
