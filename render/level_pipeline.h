// Level changes on a second thread: while it scales one chunk of a span,
// the caller reads the next chunk and writes the one before, so that the
// arithmetic costs next to nothing beside the reads and writes. On a
// machine with one processor, or where no thread can be started, the
// chunk is scaled at once on the caller's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "wav/pcm_format.h"

namespace wavsplice {

class LevelPipeline {
 public:
  LevelPipeline() = default;
  ~LevelPipeline();
  LevelPipeline(const LevelPipeline&) = delete;
  LevelPipeline& operator=(const LevelPipeline&) = delete;

  // Starts scaling frames frames of audio of the format at bytes by levelDb,
  // as NewLevel does block by block. The bytes belong to the pipeline until
  // Finish() returns; one chunk is in hand at a time.
  void Begin(unsigned char* bytes, int64_t frames, double levelDb, const PcmFormat& format);

  // Waits for the chunk begun last and returns the number of sample values
  // its level change had to limit (0 when none was begun).
  int64_t Finish();

 private:
  struct Chunk {
    unsigned char* bytes = nullptr;
    int64_t frames = 0;
    double levelDb = 0;
    PcmFormat format;
  };

  bool StartHelper();
  void Serve();

  enum class State { kIdle, kWaiting, kWorking };

  std::thread helper_;
  bool helperTried_ = false;
  bool chunkBegun_ = false;  // the caller's own: a chunk begun, not yet finished
  // Shared with the helper, under mutex_; changed_ is signalled whenever
  // state_ or stopping_ changes.
  std::mutex mutex_;
  std::condition_variable changed_;
  State state_ = State::kIdle;
  bool stopping_ = false;
  Chunk chunk_;
  int64_t clipped_ = 0;
};

}  // namespace wavsplice
