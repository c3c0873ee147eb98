// The guard that keeps a run from destroying its own inputs: the destination may not be a source or
// the task file. (The run's temporary files are created under names no file has, so they can never
// be an input.)
#pragma once

#include <sys/types.h>

#include <string>

#include "task/run_state.h"

namespace wavsplice {

// What tells one file from another, learned once per path and compared any number of times: the
// device and inode where the file exists, otherwise its absolute, normalised path (worked out when
// first needed).
class FileIdentity {
 public:
  explicit FileIdentity(std::string path);

  // SameFile's rule.
  bool Same(const FileIdentity& other) const;

 private:
  const std::string& Normalised() const;

  std::string path_;
  bool exists_ = false;
  bool special_ = false;  // neither a regular file nor a folder: a device, a pipe
  dev_t device_ = 0;
  ino_t inode_ = 0;
  mutable std::string normalised_;
  mutable bool normalisedKnown_ = false;
};

// The absolute path that path names, in its normal form: links followed as far as they lead (also a
// link to a file not yet there, so that a destination the run will create through a link is
// recognised as the input it would replace), the longest leading part that exists resolved, the
// rest in lexical normal form.
std::string NormalisedPath(const std::string& path);

// True when both paths name one file: the same device and inode where both exist (a device or pipe
// is no regular file or folder, and two of them compare by path), otherwise the same absolute,
// normalised path.
bool SameFile(const std::string& first, const std::string& second);

// Why a report file (--json, --timeline) may not be written at path, as the message that says so,
// with its line end; empty when it may. It may not be the task file, a source or the destination
// the run knows, the other report file (otherReport, empty for none), a file that a `src` or `dest`
// line of the task file names (the text is read again for this, so that a task the reader gave up
// on is covered too), nor an existing file that begins as a WAV file does; and while the task file
// cannot be read, no existing file at all. Each of these compares files as SameFile does.
std::string ReportFileRefusal(const std::string& path, const std::string& otherReport,
                              const RunState& run);

// Ends the run with exit status 1 when the destination is an input. Each distinct path is
// identified once, however many entries name it.
void CheckOutputsSpareInputs(const RunState& run);

}  // namespace wavsplice
