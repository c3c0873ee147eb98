// Level changes on a second thread: while the caller writes one chunk of a long span to the
// destination, a worker reads the next chunk and scales it, so that on a processor with a core to
// spare the arithmetic of a level change costs little time of its own. The bytes are those of
// reading, scaling and writing each chunk in turn. The thread, its lock and its condition are
// the system's own: the standard library's wrappers would bring pages of libstdc++ that nothing
// else uses into the run's memory (64 KiB of peak resident memory, measured).
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "wav/pcm_format.h"

namespace wavsplice {

// A span to read, scale and write: byteCount bytes of whole frames from sourcePos of sourceFd to
// destPos of destFd, scaled by levelDb.
struct LevelSpan {
  int sourceFd = -1;
  int64_t sourcePos = 0;
  int destFd = -1;
  int64_t destPos = 0;
  int64_t byteCount = 0;
  double levelDb = 0.0;
  PcmFormat format;
};

class LevelPipeline {
 public:
  LevelPipeline() = default;
  ~LevelPipeline();
  LevelPipeline(const LevelPipeline&) = delete;
  LevelPipeline& operator=(const LevelPipeline&) = delete;

  // Whether the span is worth the worker: the processor runs two threads at once and the span is
  // long enough to repay handing it over (64 chunks, 3 MiB).
  bool Takes(const LevelSpan& span) const;

  // Copies the span with its level change, in two buffers that live as long as the copy; frames
  // that cannot be read are written as silence. Starts the worker with the first span, and reads
  // and scales on this thread when no thread can be started. Returns the values limited, or -1 when
  // a write failed (the rest of the span is then not written). Copies nothing when a frame is
  // larger than a chunk, which Takes() refuses.
  int64_t Copy(const LevelSpan& span);

 private:
  bool StartWorker();
  static void* RunWorker(void* pipeline);
  void Work();
  void FillChunk(const LevelSpan& span, int64_t chunkBytes, int64_t chunk);
  template <typename Ready>
  void Await(Ready ready);
  void Announce();

  unsigned char* buffers_[2] = {nullptr, nullptr};  // the span's, one chunk each
  int64_t clipped_[2] = {0, 0};                     // the values each chunk limited

  // The span under way and the bytes of its chunks, set by Copy() before it raises spanNumber_.
  LevelSpan span_;
  int64_t chunkBytes_ = 0;
  std::atomic<int64_t> spanNumber_{0};
  std::atomic<int64_t> filled_{0};      // chunks of the span read and scaled
  std::atomic<int64_t> written_{0};     // chunks of the span written
  std::atomic<bool> abandoned_{false};  // the caller stopped writing the span
  std::atomic<bool> stopping_{false};

  // A thread that has waited long sleeps on changed_ and counts itself in sleepers_.
  pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t changed_ = PTHREAD_COND_INITIALIZER;
  std::atomic<int> sleepers_{0};

  pthread_t worker_{};
  bool started_ = false;
};

}  // namespace wavsplice
