#include "common/signal_cleanup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace wavsplice {

namespace {

constexpr std::array<int, 4> kHandledSignals = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// A run holds at most two temporary files at once (the destination's and a crossfade's); two spare
// slots cost nothing.
constexpr size_t kSlots = 4;

// The handler only reads: a slot's path is complete before its flag is set, and the flag is cleared
// before the path is reused.
struct Slot {
  std::atomic<bool> listed{false};
  char path[PATH_MAX] = {};
};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler reads the flags");

std::array<Slot, kSlots> slots;

// Async-signal-safe: unlink, sigaction and raise only.
void RemoveListedFilesAndEnd(int signalNumber) {
  for (Slot& slot : slots) {
    if (slot.listed.load()) ::unlink(slot.path);
  }
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signalNumber, &fallback, nullptr);
  // Delivered with its default action as soon as the handler returns.
  ::raise(signalNumber);
}

sigset_t HandledSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signalNumber : kHandledSignals) sigaddset(&set, signalNumber);
  return set;
}

}  // namespace

void RemoveListedFilesOnSignals() {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);

  struct sigaction handler = {};
  handler.sa_handler = RemoveListedFilesAndEnd;
  handler.sa_mask = HandledSet();  // one handler at a time
  for (int signalNumber : kHandledSignals) {
    struct sigaction current = {};
    if (::sigaction(signalNumber, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_IGN) continue;  // as nohup and background jobs ask
    ::sigaction(signalNumber, &handler, nullptr);
  }
}

int ListForRemoval(const char* path) {
  const size_t length = std::strlen(path);
  if (length >= PATH_MAX) return -1;
  for (size_t i = 0; i < slots.size(); ++i) {
    Slot& slot = slots[i];
    if (slot.listed.load()) continue;
    std::memcpy(slot.path, path, length + 1);
    slot.listed.store(true);
    return static_cast<int>(i);
  }
  return -1;
}

void UnlistForRemoval(int slot) {
  if (slot >= 0 && static_cast<size_t>(slot) < slots.size()) {
    slots[static_cast<size_t>(slot)].listed.store(false);
  }
}

HandledSignalsHeld::HandledSignalsHeld() {
  const sigset_t handled = HandledSet();
  ::sigprocmask(SIG_BLOCK, &handled, &previous_);
}

HandledSignalsHeld::~HandledSignalsHeld() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace wavsplice
