#include "render/level_pipeline.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "render/span_chunks.h"

namespace wavsplice {

namespace {

// The most bytes a chunk writes: the file system keeps writes of 64 KiB on multiples of 64 KiB
// in whole pieces of that size, and writes of less in smaller ones (render/span_chunks.h).
constexpr int64_t kChunkBytes = 64 * 1024;

// A shorter span stays on one thread: waking the worker costs the caller a system call, for
// little in a span of a few chunks.
constexpr int64_t kLeastChunks = 4;

// How long a thread waits awake for the other before it sleeps. A chunk takes some tens of
// microseconds on each side, and putting a thread to sleep and waking it costs about as much (a
// sleeping virtual processor takes tens of microseconds to wake), so a thread waiting for the
// other's chunk waits 40 µs. The worker waits 200 µs for the next span: in a job of many short
// spans the next levelled one comes within that, and a worker that slept would join it late or
// not at all; a job whose levelled spans are further apart costs it at most that much processor
// time a span.
constexpr int64_t kChunkWaitNs = 40 * 1000;
constexpr int64_t kSpanWaitNs = 200 * 1000;

// When the processors are busy with other work, a worker costs the caller time: beside a program
// that keeps one of two cores busy, a worker sharing every span made the 24-bit jobs 1.9 times
// the strict bound, against 1.2 on one thread. The caller takes the rest of a span when a wait
// longer than the one above for the worker's chunk finds the worker off its processor a quarter of
// the wait or more (on its processor, it is only slower, without the fast kernels, say), or when,
// looking every eight chunks and at the span's end, it finds itself off its own processor a quarter
// of its time awake twice in a row. It then keeps the next spans to itself for 16 ms, then 32, 64,
// up to a quarter of a second, until a span goes well.
constexpr int64_t kFirstBackOffNs = 16 * 1000 * 1000;
constexpr int64_t kLookEveryChunks = 8;
constexpr int64_t kLongestBackOffNs = 256 * 1000 * 1000;

// Where the worker stands in a span, in the low two bits of LevelPipeline::state_: joined but
// waiting and touching nothing (the caller may close the span), free to join, busy with the span's
// fields or a buffer (the caller waits), or gone (closed by either thread).
constexpr int64_t kIdle = 0;
constexpr int64_t kOpen = 1;
constexpr int64_t kBusy = 2;
constexpr int64_t kClosed = 3;

// Tells the processor that this thread is waiting for another.
inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__) || (defined(__arm__) && defined(__ARM_ARCH) && __ARM_ARCH >= 7)
  __asm__ __volatile__("yield");
#endif
}

int64_t ClockNs(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t NowNs() { return ClockNs(CLOCK_MONOTONIC); }

// Whether a thread had its processor to itself since it was last asked, leaving out the time it
// slept waiting for the other thread: off it a quarter of that time or more, it shared it with
// other programs.
class ProcessorShare {
 public:
  explicit ProcessorShare(clockid_t clock, const int64_t* asleepNs = nullptr)
      : clock_(clock),
        asleepNs_(asleepNs),
        wallNs_(NowNs()),
        cpuNs_(ClockNs(clock)),
        sleptNs_(Slept()) {}

  bool Crowded() {
    const int64_t wallNs = NowNs();
    const int64_t cpuNs = ClockNs(clock_);
    const int64_t awakeNs = wallNs - wallNs_ - (Slept() - sleptNs_);
    const bool crowded = 4 * (cpuNs - cpuNs_) < 3 * awakeNs;
    wallNs_ = wallNs;
    cpuNs_ = cpuNs;
    sleptNs_ = Slept();
    return crowded;
  }

 private:
  int64_t Slept() const { return asleepNs_ != nullptr ? *asleepNs_ : 0; }

  clockid_t clock_;
  const int64_t* asleepNs_;
  int64_t wallNs_;
  int64_t cpuNs_;
  int64_t sleptNs_;
};

SpanChunks ChunksOf(const LevelSpan& span) {
  return PlanSpanChunks(span.destPos, span.byteCount, span.format.FrameBytes(), kChunkBytes);
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
  const int64_t chunkBytes = ChunksOf(span).chunkBytes;
  return twoThreads && chunkBytes > 0 && span.byteCount >= kLeastChunks * chunkBytes &&
         (resumeAtNs_ == 0 || NowNs() >= resumeAtNs_);
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
  if (started_ && pthread_getcpuclockid(worker_, &workerClock_) != 0) {
    workerClock_ = CLOCK_MONOTONIC;  // no clock of its own: judged by this thread's looks alone
  }
  return started_;
}

template <typename Ready>
bool LevelPipeline::Await(Ready ready, int64_t awakeNs, int64_t* asleepNs) {
  int64_t until = 0;  // read the clock only once a wait is not over at once
  for (int spin = 1;; ++spin) {
    if (ready()) return false;
    CpuRelax();
    if (spin % 32 != 0) continue;
    const int64_t now = NowNs();
    if (until == 0) {
      until = now + awakeNs;
    } else if (now > until) {
      break;
    }
  }
  const int64_t sleepNs = asleepNs != nullptr ? NowNs() : 0;
  pthread_mutex_lock(&mutex_);
  ++sleepers_;
  while (!ready()) pthread_cond_wait(&changed_, &mutex_);
  --sleepers_;
  pthread_mutex_unlock(&mutex_);
  if (asleepNs != nullptr) *asleepNs += NowNs() - sleepNs;
  return true;
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
  const SpanChunks chunks = ChunksOf(span);
  if (chunks.Count() == 0) return 0;
  const int64_t bufferBytes = chunks.BufferBytes();
  const std::unique_ptr<unsigned char[]> block(
      new unsigned char[static_cast<size_t>(kBuffers * bufferBytes)]);
  for (int64_t i = 0; i < kBuffers; ++i) buffers_[i] = block.get() + i * bufferBytes;
  span_ = span;
  chunks_ = chunks;
  chunkCount_ = chunks.Count();
  claimed_ = 0;
  workerFilled_ = 0;
  written_ = 0;
  const int64_t number = ++spanNumber_;
  const bool shared = chunkCount_ > 1 && StartWorker();
  if (shared) {
    state_ = number * 4 + kOpen;
    Announce();
  }
  ProcessorShare share(CLOCK_THREAD_CPUTIME_ID, &asleepNs_);
  bool crowded = false;
  int64_t alone = chunkCount_;  // from this chunk on, every chunk is this thread's
  const auto takeTheRest = [&] {
    crowded = true;
    alone = std::min(alone, claimed_.exchange(chunkCount_));
  };
  // One crowded look can be the scheduler settling the worker (it starts, or wakes, beside this
  // thread, on the same processor, for the first fraction of a millisecond); two in a row are not.
  const auto crowdedTwice = [&] {
    crowdedLooks_ = share.Crowded() ? crowdedLooks_ + 1 : 0;
    return crowdedLooks_ >= 2;
  };
  int64_t clipped = 0;
  bool failed = false;
  for (int64_t chunk = 0; chunk < chunkCount_ && !failed; ++chunk) {
    const size_t slot = static_cast<size_t>(chunk % kBuffers);
    int64_t unclaimed = chunk;
    if (chunk >= alone || claimed_.compare_exchange_strong(unclaimed, chunk + 1)) {
      clipped += FillChunk(chunk);
    } else {
      if (workerFilled_ <= chunk) {
        // The worker is reading or scaling it. A long wait is a worker slower than this thread
        // (without the fast kernels, say) when it had its processor, or one that lost it.
        ProcessorShare worker(workerClock_);
        if (Await([&] { return workerFilled_ > chunk; }, kChunkWaitNs, &asleepNs_) &&
            worker.Crowded()) {
          takeTheRest();
        }
      }
      clipped += workerClipped_[slot];
    }
    failed = !WriteLevelChunk(span_, chunks_, chunk, buffers_[slot]);
    if (!failed) {
      written_ = chunk + 1;
      Announce();
    }
    if (shared && !crowded && (chunk + 1) % kLookEveryChunks == 0 && crowdedTwice()) {
      takeTheRest();
    }
  }
  if (shared) {
    Close(number);  // the buffers are this thread's again
    BackOff(crowded || crowdedTwice());
  }
  return failed ? -1 : clipped;
}

// Moves the worker's standing in the current span from one state to another; false when the
// caller changed it first.
bool LevelPipeline::Enter(int64_t from, int64_t to) {
  return state_.compare_exchange_strong(from, to);
}

// Closes the span once the worker is not busy in it; it may be waiting in it, or gone.
void LevelPipeline::Close(int64_t number) {
  for (;;) {
    int64_t state = state_;
    if (state == number * 4 + kClosed) return;
    if (state != number * 4 + kBusy && state_.compare_exchange_strong(state, number * 4 + kClosed))
      return;
    Await([&] { return state_ != number * 4 + kBusy; }, kChunkWaitNs);
  }
}

// After a span in which the worker lagged, spans stay on this thread for a while, twice as long
// each time it lags again; a span it kept up with ends the back-off.
void LevelPipeline::BackOff(bool workerLagged) {
  if (!workerLagged) {
    backOffNs_ = 0;
    resumeAtNs_ = 0;
    return;
  }
  crowdedLooks_ = 0;
  backOffNs_ = std::min(backOffNs_ == 0 ? kFirstBackOffNs : 2 * backOffNs_, kLongestBackOffNs);
  resumeAtNs_ = NowNs() + backOffNs_;
}

// Reads and scales the chunk into its buffer; returns the values limited.
int64_t LevelPipeline::FillChunk(int64_t chunk) {
  return FillLevelChunk(span_, chunks_, chunk, buffers_[static_cast<size_t>(chunk % kBuffers)]);
}

// Joins each span opened to it, unless the caller closed it first.
void LevelPipeline::Work() {
  for (;;) {
    int64_t state = 0;
    Await(
        [&] {
          state = state_;
          return stopping_ || state % 4 == kOpen;
        },
        kSpanWaitNs);
    if (stopping_) return;
    if (Enter(state, state - kOpen + kBusy)) WorkOn(state / 4);
  }
}

// Takes each next chunk whose buffer the caller has written out, reads and scales it, until none
// is left; waits, touching nothing, while the caller writes.
void LevelPipeline::WorkOn(int64_t number) {
  const int64_t busy = number * 4 + kBusy;
  const int64_t idle = number * 4 + kIdle;
  for (;;) {
    int64_t chunk = claimed_;
    if (chunk >= chunkCount_) break;
    // One reading of the written count decides and is waited on: read again after deciding to
    // wait, a chunk written in between would leave the worker waiting for the next one.
    const int64_t seen = written_;
    if (seen >= chunk - (kBuffers - 1)) {  // its buffer's chunk before it is written
      if (claimed_.compare_exchange_strong(chunk, chunk + 1)) {
        workerClipped_[static_cast<size_t>(chunk % kBuffers)] = FillChunk(chunk);
        workerFilled_ = chunk + 1;
        Announce();
      }
      continue;
    }
    // The caller may be waiting to close the span while the worker is busy in it: after a failed
    // write it writes no more, and would otherwise wait for this thread, and this thread for it.
    Enter(busy, idle);
    Announce();
    Await([&] { return stopping_ || written_ != seen || state_ != idle; }, kChunkWaitNs);
    if (stopping_ || !Enter(idle, busy)) return;  // closed while waiting
  }
  state_ = number * 4 + kClosed;
  Announce();
}

}  // namespace wavsplice
