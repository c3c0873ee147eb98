#include "render/level_pipeline.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/file_io.h"
#include "render/level.h"

namespace wavsplice {

namespace {

// The most bytes of each read and write: two of them take the 96 KiB that a copy on one thread
// takes, so that peak memory stays where it was.
constexpr int64_t kHalfBytes = 48 * 1024;

// A shorter span stays on one thread. In a longer one the caller reads and scales the first chunk
// itself while the worker wakes, and the worker's reading and scaling of each later chunk hides
// behind the caller's write of the one before. Each span costs the two threads some waking and
// waiting: on a shared virtual machine of two cores that outweighed the gain for spans of 5 to 40
// chunks and not for spans of 59 chunks and more (docs/performance.md has the figures).
constexpr int64_t kLeastChunks = 64;

// Checks of the other thread's progress before going to sleep, each after a pause of some tens of
// nanoseconds: a chunk takes some tens of microseconds on each side, and putting a thread to sleep
// and waking it costs about as much. Waiting awake much longer starves the system's own work on a
// machine of two cores.
constexpr int kSpins = 2000;

// Tells the processor that this thread is waiting for another.
inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__) || (defined(__arm__) && defined(__ARM_ARCH) && __ARM_ARCH >= 7)
  __asm__ __volatile__("yield");
#endif
}

// The bytes of each of the span's reads and writes but the last: as many whole frames as fit half
// of the buffer (0 when not one frame fits).
int64_t ChunkBytesOf(const LevelSpan& span) {
  const int64_t frameSize = span.format.FrameBytes();
  return frameSize > 0 ? kHalfBytes / frameSize * frameSize : 0;
}

int64_t ChunksOf(const LevelSpan& span, int64_t chunkBytes) {
  return (span.byteCount + chunkBytes - 1) / chunkBytes;
}

size_t BytesOfChunk(const LevelSpan& span, int64_t chunkBytes, int64_t chunk) {
  return static_cast<size_t>(std::min(chunkBytes, span.byteCount - chunk * chunkBytes));
}

}  // namespace

void* LevelPipeline::RunWorker(void* pipeline) {
  static_cast<LevelPipeline*>(pipeline)->Work();
  return nullptr;
}

LevelPipeline::~LevelPipeline() {
  if (started_) {
    stopping_ = true;
    Announce();
    pthread_join(worker_, nullptr);
  }
  pthread_cond_destroy(&changed_);
  pthread_mutex_destroy(&mutex_);
}

bool LevelPipeline::Takes(const LevelSpan& span) const {
  static const bool twoThreads = sysconf(_SC_NPROCESSORS_ONLN) >= 2;
  const int64_t chunkBytes = ChunkBytesOf(span);
  return twoThreads && chunkBytes > 0 && span.byteCount >= kLeastChunks * chunkBytes;
}

bool LevelPipeline::StartWorker() {
  if (started_) return true;
  // The worker starts with every signal blocked and keeps them so: the handlers that remove
  // temporary files run on the main thread, which blocks them while it creates or renames a file.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  // Without a thread to be had (a limit on processes, say) the caller reads and scales itself.
  started_ = pthread_create(&worker_, nullptr, RunWorker, this) == 0;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started_;
}

template <typename Ready>
void LevelPipeline::Await(Ready ready) {
  for (int spin = 0; spin < kSpins; ++spin) {
    if (ready()) return;
    CpuRelax();
  }
  pthread_mutex_lock(&mutex_);
  ++sleepers_;
  while (!ready()) pthread_cond_wait(&changed_, &mutex_);
  --sleepers_;
  pthread_mutex_unlock(&mutex_);
}

// A sleeper counts itself, under the lock, before it last checks: either it sees the change or it
// is asleep by the time the lock is taken here, and the notice wakes it.
void LevelPipeline::Announce() {
  if (sleepers_ == 0) return;
  pthread_mutex_lock(&mutex_);
  pthread_mutex_unlock(&mutex_);
  pthread_cond_broadcast(&changed_);
}

int64_t LevelPipeline::Copy(const LevelSpan& span) {
  const int64_t chunkBytes = ChunkBytesOf(span);
  if (chunkBytes == 0) return 0;
  const std::unique_ptr<unsigned char[]> block(new unsigned char[2 * kHalfBytes]);
  buffers_[0] = block.get();
  buffers_[1] = block.get() + kHalfBytes;
  const int64_t chunks = ChunksOf(span, chunkBytes);
  const bool onWorker = chunks > 1 && StartWorker();
  span_ = span;
  chunkBytes_ = chunkBytes;
  // The first chunk is this thread's: it reads and scales it while the worker wakes.
  filled_ = 1;
  written_ = 0;
  abandoned_ = false;
  if (onWorker) {
    ++spanNumber_;
    Announce();
  }
  int64_t clipped = 0;
  for (int64_t chunk = 0; chunk < chunks; ++chunk) {
    if (onWorker && chunk > 0) {
      Await([&] { return filled_ > chunk; });
    } else {
      FillChunk(span, chunkBytes, chunk);
    }
    const size_t slot = static_cast<size_t>(chunk % 2);
    if (!WriteAt(span.destFd, span.destPos + chunk * chunkBytes, buffers_[slot],
                 BytesOfChunk(span, chunkBytes, chunk))) {
      abandoned_ = true;
      Announce();
      if (onWorker) Await([&] { return filled_ == chunks; });  // done with the buffers
      return -1;
    }
    clipped += clipped_[slot];
    written_ = chunk + 1;
    Announce();
  }
  return clipped;
}

// Reads the chunk into its buffer, silence where the source has no bytes, and scales it.
void LevelPipeline::FillChunk(const LevelSpan& span, int64_t chunkBytes, int64_t chunk) {
  const size_t slot = static_cast<size_t>(chunk % 2);
  unsigned char* buffer = buffers_[slot];
  const size_t count = BytesOfChunk(span, chunkBytes, chunk);
  const size_t got = ReadAt(span.sourceFd, span.sourcePos + chunk * chunkBytes, buffer, count);
  std::memset(buffer + got, span.format.SilenceByte(), count - got);
  clipped_[slot] = LevelFrames(buffer, span.levelDb, span.format,
                               static_cast<int64_t>(count) / span.format.FrameBytes());
}

// For each span: fills each chunk's buffer once the chunk two before it, which used the buffer, is
// written.
void LevelPipeline::Work() {
  int64_t seen = 0;
  for (;;) {
    Await([&] { return stopping_ || spanNumber_ != seen; });
    if (stopping_) return;
    seen = spanNumber_;
    const LevelSpan span = span_;
    const int64_t chunkBytes = chunkBytes_;
    const int64_t chunks = ChunksOf(span, chunkBytes);
    for (int64_t chunk = 1; chunk < chunks; ++chunk) {
      Await([&] { return stopping_ || abandoned_ || written_ >= chunk - 1; });
      if (stopping_) return;
      if (abandoned_) {
        filled_ = chunks;
        Announce();
        break;
      }
      FillChunk(span, chunkBytes, chunk);
      filled_ = chunk + 1;
      Announce();
    }
  }
}

}  // namespace wavsplice
