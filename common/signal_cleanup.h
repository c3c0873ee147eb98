// Temporary files removed when a signal ends the run. While a run writes files under temporary
// names they are listed here; SIGINT, SIGTERM, SIGHUP and SIGPIPE remove them and then end the
// process by the same signal, so that the caller still sees it. SIGXFSZ is ignored: a write past
// the file size limit then fails like a write to a full disk, and the run ends through its failure
// path.
#pragma once

#include <csignal>

namespace wavsplice {

// Installs the handlers. A signal the caller ignores stays ignored.
void RemoveListedFilesOnSignals();

// Lists path for removal by the handlers; returns its slot, or -1 when the list is full or the path
// does not fit a slot (no such path can be opened).
int ListForRemoval(const char* path);

// Takes the path in slot (from ListForRemoval) off the list; -1 is ignored.
void UnlistForRemoval(int slot);

// Holds the handled signals back for its life, so that a file is never created, renamed or removed
// without the list knowing.
class HandledSignalsHeld {
 public:
  HandledSignalsHeld();
  ~HandledSignalsHeld();
  HandledSignalsHeld(const HandledSignalsHeld&) = delete;
  HandledSignalsHeld& operator=(const HandledSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace wavsplice
