#include "task/edit_plan.h"

#include <cstdio>
#include <string>

#include "common/failure.h"
#include "common/messages.h"
#include "task/messages.h"
#include "task/task_units.h"
#include "wav/attributes.h"
#include "wav/pcm_format.h"

namespace wavsplice {

namespace {

// A mismatch's heading, then one line of format per source: its path and the value field reads from
// its attributes.
template <typename Field>
void ListSources(RunState& run, const char* heading, const char* format, Field field) {
  PrintMessage(run, "%s", heading);
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = run.entries[static_cast<size_t>(j)];
    PrintMessage(run, format, entry.sourcePath.c_str(), field(entry.attributes));
  }
}

const char* EncodingName(const TrackAttributes& attributes) {
  return attributes.format.IsFloat() ? "float" : "integer";
}

// The source's attributes, with the notice of a missing format chunk; ends the run when it cannot
// be opened or has no data chunk.
TrackAttributes ReadSource(RunState& run, const std::string& path, SourceMetadata* metadata) {
  TrackAttributes attributes;
  switch (GET_ATTRIBUTES(path, attributes, metadata)) {
    case AttributesRead::kNoFile:
      Fail(kExitFile, msg::kSourceNotFound, path.c_str());
    case AttributesRead::kNoData:
      if (attributes.formatChunkMissing) PrintMessage(run, "%s", msg::kNoFormatChunk);
      Fail(kExitFile, msg::kNoDataChunk, path.c_str());
    case AttributesRead::kRead:
      break;
  }
  if (attributes.formatChunkMissing) PrintMessage(run, "%s", msg::kNoFormatChunk);
  return attributes;
}

[[noreturn]] void FailSpan(const EditEntry& entry) {
  Fail(kExitTask, msg::kSpanIncorrect, entry.sourcePath.c_str());
}

// In seconds mode, a time past the source's end that would lie within it, and not near its start,
// as a count of samples: the task probably meant using_samples.
void HintSampleMode(RunState& run, const EditEntry& entry, const char* command, double value) {
  const double seconds =
      static_cast<double>(entry.attributes.lengthSamples) / run.format.sampleRate;
  const double frames = static_cast<double>(entry.attributes.lengthSamples);
  if (run.sampleMode == 1 || !(value > seconds) || value > frames || value < frames / 10) return;
  Warn(run.diagnostics, entry.line,
       "%s %g of task %i is past the end of %s, which lasts %.3f s, but within it as a count of "
       "samples: did you mean using_samples?",
       command, value, static_cast<int>(&entry - run.entries.data()) + 1, entry.sourcePath.c_str(),
       seconds);
}

void ResolveSpan(RunState& run, EditEntry& entry) {
  const int64_t length = entry.attributes.lengthSamples;
  if (entry.xout != 0 && entry.xin >= entry.xout + entry.trim) {
    Warn(run.diagnostics, entry.line,
         "xin of task %i is at or after its stop (xout %g%s): the span is empty and the run is "
         "refused; swap xin and xout",
         static_cast<int>(&entry - run.entries.data()) + 1, entry.xout + entry.trim,
         entry.trim != 0 ? " with trim" : "");
  }
  HintSampleMode(run, entry, "xin", entry.xin);
  HintSampleMode(run, entry, "xout", entry.xout + entry.trim);
  int64_t start = 0;
  if (!ToFrames(run, entry.xin, start) || start < 0 || start >= length) FailSpan(entry);

  int64_t end = 0;
  if (entry.xout == 0) {
    end = length;
    entry.xout = run.sampleMode == 1 ? static_cast<double>(length)
                                     : static_cast<double>(length) / run.format.sampleRate;
  } else if (!ToFrames(run, entry.xout, end)) {
    FailSpan(entry);
  }
  if (entry.trim != 0) {
    int64_t trim = 0;
    if (!ToFrames(run, entry.trim, trim) || __builtin_add_overflow(end, trim, &end)) {
      FailSpan(entry);
    }
    entry.xout += entry.trim;
  }
  if (end > length) end = length;
  if (end <= start) FailSpan(entry);

  entry.readStart = start;
  entry.readEnd = end;
  entry.readLength = end - start;
}

}  // namespace

void CompareSourceFormats(RunState& run) {
  const TrackAttributes& first = run.entries[0].attributes;
  bool mismatch = false;
  for (int32_t m = 1; m < run.entryCount; ++m) {
    const TrackAttributes& other = run.entries[static_cast<size_t>(m)].attributes;
    if (!mismatch) run.refusedLine = run.entries[static_cast<size_t>(m)].line;
    if (other.format.sampleRate != first.format.sampleRate) {
      ListSources(run, msg::kRatesDiffer, "%s\t%i Hz",
                  [](const TrackAttributes& a) { return a.format.sampleRate; });
      mismatch = true;
    }
    if (other.format.channels != first.format.channels) {
      ListSources(run, msg::kChannelsDiffer, "%s\t%i channels",
                  [](const TrackAttributes& a) { return a.format.channels; });
      mismatch = true;
    }
    if (other.bits != first.bits) {
      ListSources(run, msg::kBitsDiffer, "%s\t%i", [](const TrackAttributes& a) { return a.bits; });
      mismatch = true;
    }
    if (other.format.encoding != first.format.encoding) {
      PrintMessage(run, "%s", msg::kSampleTypesDiffer);
      for (int32_t j = 0; j < run.entryCount; ++j) {
        const EditEntry& entry = run.entries[static_cast<size_t>(j)];
        PrintMessage(run, "%s\t%s", entry.sourcePath.c_str(), EncodingName(entry.attributes));
      }
      mismatch = true;
    }
  }
  if (mismatch) FailQuietly(kExitTask);
  run.refusedLine = 0;
}

void CheckSupportedFormats(RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = run.entries[static_cast<size_t>(j)];
    if (!IsSupportedFormat(entry.attributes)) {
      run.refusedLine = entry.line;
      Fail(kExitTask, msg::kUnsupportedFormat, entry.sourcePath.c_str());
    }
  }
}

void ResolveSpans(RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    EditEntry& entry = run.entries[static_cast<size_t>(j)];
    run.refusedLine = entry.line;
    ResolveSpan(run, entry);
  }
  run.refusedLine = 0;
}

void ReadSources(RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    EditEntry& entry = run.entries[static_cast<size_t>(j)];
    const EditEntry& first = FirstEntryNaming(run, j);
    if (&first == &entry) {
      run.refusedLine = entry.line;
      // Markers and metadata are read only for a task that asks for them.
      const bool wantsMetadata = run.markersLine != 0 || run.keepMetadataLine != 0;
      entry.attributes = ReadSource(
          run, entry.sourcePath, wantsMetadata ? &run.sourceMetadata[entry.sourcePath] : nullptr);
      run.refusedLine = 0;
      continue;
    }
    entry.attributes = first.attributes;
    // Every entry of a file without a format chunk gets the notice.
    if (entry.attributes.formatChunkMissing) PrintMessage(run, "%s", msg::kNoFormatChunk);
  }
}

void ResolveEditPlan(RunState& run) {
  ReadSources(run);
  run.format = run.entries[0].attributes.format;

  CompareSourceFormats(run);
  CheckSupportedFormats(run);
  ResolveSpans(run);
}

}  // namespace wavsplice
