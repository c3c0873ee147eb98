#include "render/level_pipeline.h"

#include <signal.h>

#include <system_error>

#include "render/level.h"

namespace wavsplice {

LevelPipeline::~LevelPipeline() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  helper_.join();
}

bool LevelPipeline::StartHelper() {
  if (helperTried_) return helper_.joinable();
  helperTried_ = true;
  if (std::thread::hardware_concurrency() < 2) return false;
  // The helper starts with every signal blocked, so that an interruption is
  // always handled on the main thread, which owns the run's files.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  try {
    helper_ = std::thread(&LevelPipeline::Serve, this);
  } catch (const std::system_error&) {
    // No thread to be had: every chunk is scaled on the caller's thread.
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return helper_.joinable();
}

void LevelPipeline::Begin(unsigned char* bytes, int64_t frames, double levelDb,
                          const PcmFormat& format) {
  chunkBegun_ = true;
  if (!StartHelper()) {
    clipped_ = LevelFrames(bytes, levelDb, format, frames);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    chunk_ = Chunk{bytes, frames, levelDb, format};
    state_ = State::kWaiting;
  }
  changed_.notify_all();
}

int64_t LevelPipeline::Finish() {
  if (!chunkBegun_) return 0;
  chunkBegun_ = false;
  if (!helper_.joinable()) return clipped_;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return state_ == State::kIdle; });
  return clipped_;
}

void LevelPipeline::Serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || state_ == State::kWaiting; });
    if (state_ != State::kWaiting) return;
    state_ = State::kWorking;
    const Chunk chunk = chunk_;
    lock.unlock();
    const int64_t clipped = LevelFrames(chunk.bytes, chunk.levelDb, chunk.format, chunk.frames);
    lock.lock();
    clipped_ = clipped;
    state_ = State::kIdle;
    changed_.notify_all();
  }
}

}  // namespace wavsplice
