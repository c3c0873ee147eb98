// Level changes on a second thread: while the caller writes one chunk of a long span to the
// destination, a worker reads and scales the next, so that on a processor with a core to spare the
// arithmetic of a level change costs little time of its own. Each chunk goes to whichever thread
// takes it first, and the caller never waits for a worker that has not started on the chunk it
// needs: a worker slow to wake or to be scheduled only leaves the caller more to do. Only the
// caller writes (two threads writing one file take turns at its lock). Each chunk is scaled alone,
// so the bytes are those of reading, scaling and writing each chunk in turn. The thread, its lock
// and its condition are the system's own: the standard library's wrappers would bring pages of
// libstdc++ that nothing else uses into the run's memory (64 KiB of peak resident memory,
// measured).
#pragma once

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstdint>

#include "render/level_chunk.h"
#include "render/span_chunks.h"

namespace wavsplice {

class LevelPipeline {
 public:
  // The buffers the two threads pass between them, each a chunk's bytes.
  static constexpr int64_t kBuffers = 2;

  LevelPipeline() = default;
  ~LevelPipeline();
  LevelPipeline(const LevelPipeline&) = delete;
  LevelPipeline& operator=(const LevelPipeline&) = delete;

  // Whether the span is worth the worker: the processor runs two threads at once, the span is
  // long enough to repay waking it (four chunks), and the worker has not lately lagged behind on a
  // machine busy with other work.
  bool Takes(const LevelSpan& span) const;

  // Copies the span with its level change, in two buffers that live as long as the copy; frames
  // that cannot be read are written as silence. Starts the worker with the first span; reads and
  // scales each chunk the worker has not taken itself, so that a worker slow to wake or to be
  // scheduled only leaves this thread more to do, and takes the rest of the span when the
  // processors are busy with other work. Returns the values limited, or -1 when a write
  // failed (the rest of the span is then not written). Copies nothing when a frame is larger than a
  // chunk, which Takes() refuses.
  int64_t Copy(const LevelSpan& span);

 private:
  bool StartWorker();
  static void* RunWorker(void* pipeline);
  void Work();
  void WorkOn(int64_t number);
  bool Enter(int64_t from, int64_t to);
  void Close(int64_t number);
  int64_t FillChunk(int64_t chunk);
  template <typename Ready>
  bool Await(Ready ready, int64_t awakeNs, int64_t* asleepNs = nullptr);
  void BackOff(bool workerLagged);
  void Announce();

  unsigned char* buffers_[kBuffers] = {};  // chunk k uses buffer k % kBuffers
  int64_t workerClipped_[kBuffers] = {};   // the values the worker's chunks limited

  // The span under way, set by Copy() before it opens the span to the worker.
  LevelSpan span_;
  SpanChunks chunks_;
  int64_t chunkCount_ = 0;
  int64_t spanNumber_ = 0;
  std::atomic<int64_t> claimed_{0};       // chunks taken, by either thread, in order
  std::atomic<int64_t> workerFilled_{0};  // one past the last chunk the worker read and scaled
  std::atomic<int64_t> written_{0};       // chunks written, in order, by the caller
  // The span's number times four plus where the worker stands in it (kOpen, kBusy, kIdle,
  // kClosed): the caller closes a span the worker is not busy in, and then the worker never
  // touches it again.
  std::atomic<int64_t> state_{3};  // span 0, closed
  std::atomic<bool> stopping_{false};

  // A thread that has waited long sleeps on changed_ and counts itself in sleepers_.
  pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t changed_ = PTHREAD_COND_INITIALIZER;
  std::atomic<int> sleepers_{0};

  pthread_t worker_{};
  clockid_t workerClock_ = CLOCK_MONOTONIC;  // the worker's processor time
  bool started_ = false;

  // The caller's own: how long spans stay off the worker after it lagged, and until when.
  int64_t backOffNs_ = 0;
  int64_t resumeAtNs_ = 0;
  int crowdedLooks_ = 0;  // looks in a row that found this thread off its processor
  int64_t asleepNs_ = 0;  // this thread's time asleep waiting for the worker
};

}  // namespace wavsplice
