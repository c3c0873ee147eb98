#include "task/driver.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/messages.h"
#include "common/signal_cleanup.h"
#include "render/render_loop.h"
#include "task/command_line.h"
#include "task/crossfade_handles.h"
#include "task/cut_list.h"
#include "task/destination.h"
#include "task/destination_metadata.h"
#include "task/edit_plan.h"
#include "task/file_guards.h"
#include "task/level_match.h"
#include "task/loudness_report.h"
#include "task/loudness_target.h"
#include "task/messages.h"
#include "task/plan_check.h"
#include "task/report.h"
#include "task/report_files.h"
#include "task/run_state.h"
#include "task/task_reader.h"
#include "task/timeline.h"
#include "task/version.h"
#include "task/write_order.h"

namespace wavsplice {

namespace {

void PrintHelp() {
  // Each line of the help text stays one literal.
  // clang-format off
  static const char* const kHelpLines[] = {
      "\nEditor version 2.21 (2f)",
      "wavsplice: builds one PCM WAV file from spans of others, as a task file says.",
      "\nHelp...",
      "You may run the program with an argument specifying the controlling text file.",
      "Otherwise, the program will look for task.txt.",
      "\nCommands (placed at the start of a line):",
      "\t'src' to specify a source file.",
      "\t'xin' to set source file copy start. Omitting assumes 0.",
      "\t'xout' to set source file copy stop. Omitting assumes end of file",
      "\t'trim' to modify xout.",
      "\t'ins' to set the insert point in the destination file.",
      "\tOmitting 'ins' assumes the current edit will be appended to previous.",
      "\t'lvl' to set the volume level of source.  Omitting sets it to 0 dB.",
      "\t'dest' to specify the destination file.",
      "\nAfter a command use a tab and then enter a value in seconds or a filename\nas appropriate.",
      "\nIf you prefer to enter sample values, type using_samples on the first line\nof the task file.",
      "\nOperation:",
      "\nxin, xout, trim and ins commands are placed on lines below the src command.",
      "\nOnly one dest command is needed per text file.",
      "\nEntries get re-sorted by insert values and earliest get written first.",
      "New edits overwrite overhanging previous edits.",
      "\nAll source tracks must be of the same bits, samplerate, and channels.",
      "Supported are 8, 16, 24 and 32-bit integer and 32 and 64-bit float PCM, 1 to 128 channels, .wav files only.",
      "The destination track will match the source track specifications.",
      "\nCrossfades are added with the command 'xf' followed by a tab",
      "and the width in milliseconds, followed by a tab and a type 1, 2, 3, or 4.",
      "\nType 1 achieves an equal mix of both tracks at the splice point.",
      "\nType 2 achieves an equal mix without power compensation",
      "\nWith type 3, the decay of the file to the left of the splice is slow",
      "at first and then more rapid with time.",
      "\nWith type 4, the decay is fast at first and then slower with time",
      "\nExample: A 200 msec type 1 crossfade:",
      "xf\t200\t1\n",
      "Options (anywhere on the line; -- ends them):",
      "\t--check\t\tread and plan the task, print what a run would do, write nothing",
      "\t--strict\trender only when --check finds no warning",
      "\t--warnings\tprint the check's warnings on standard error (done when it is a terminal)",
      "\t--timeline FILE\talso draw the plan as an SVG picture in FILE",
      "\t--json FILE\talso write the report as JSON to FILE",
      "\t--loudness\tmeasure the destination's loudness and peaks after the report",
      "\t--target NAME\tcheck them against podcast, podcast-mono, ebu or acx",
      "\t\t\t(with --strict, a missed target leaves the old destination)",
      "\t--help\t\tprint this help",
      "\t--version\tprint the version",
  };
  // clang-format on
  for (const char* line : kHelpLines) std::puts(line);
}

EditRender RenderOf(const EditEntry& entry) {
  EditRender edit;
  edit.sourcePath = entry.sourcePath;
  edit.sourceAudioStart = entry.attributes.dataOffset;
  edit.sourceAudioEnd = entry.attributes.audioEnd;
  edit.insertPoint = entry.insertPoint;
  edit.readStart = entry.readStart;
  edit.readLength = entry.readLength;
  edit.levelDb = entry.lvl;
  edit.xfType = entry.xfType;
  edit.xfWidth = entry.xfWidth;
  edit.xfSamples = entry.xfSamples;
  edit.finType = entry.finType;
  edit.finWidth = entry.finWidth;
  edit.foutType = entry.foutType;
  edit.foutWidth = entry.foutWidth;
  return edit;
}

RenderTarget TargetOf(const RunState& run) {
  RenderTarget target;
  target.destPath = run.destPath;
  target.scratchBeside = run.destWritePath;
  target.dest = OpenAudio{run.destFd, run.destAudioStart};
  target.destLength = run.destLength;
  target.format = run.format;
  return target;
}

// A crossfade that could not be made: why, then that it was not.
void PrintCrossfadeNotMade(RunState& run, CrossfadeOutcome outcome) {
  const char* cause = WordsOf(outcome).cause;
  if (*cause != '\0') PrintMessage(run, "%s", cause);
  PrintMessage(run, "%s", msg::kCrossfadeNotMade);
}

// Writes every entry in write order, each after its report block. With `handles` the edits written
// are those of the plain plan it stands for.
void RenderEdits(RunState& run) {
  EditRenderer renderer(TargetOf(run));
  std::optional<RunState> handled;
  const RunState& plain = PlainPlanOf(run, handled);
  for (int32_t k = 0; k < run.entryCount; ++k) {
    const int32_t index = run.writeOrder[static_cast<size_t>(k)];
    EditEntry& entry = run.entries[static_cast<size_t>(index)];
    const EditEntry& planned = plain.entries[static_cast<size_t>(index)];
    PrintEditBlock(run, index);
    PrintHandlesLine(run, entry);
    EditRender edit = RenderOf(planned);
    edit.fadeInsertPoint = entry.insertPoint;
    edit.fadeReadStart = entry.readStart;
    edit.fadeLength = entry.readLength;
    const EditOutcome outcome = renderer.Render(edit);
    entry.clipped = outcome.clipped;
    entry.rendered = true;
    if (outcome.crossfade != CrossfadeOutcome::kNone &&
        outcome.crossfade != CrossfadeOutcome::kMade &&
        outcome.crossfade != CrossfadeOutcome::kNotPlaced) {
      PrintCrossfadeNotMade(run, outcome.crossfade);
    }
    if (entry.clipped > 0) std::printf("\tClipped %" PRId64 " samples\n", entry.clipped);
    std::puts("\tDone\n");  // the extra newline leaves a blank line after each edit
  }
}

// A check's report: the diagnostics, then every edit as it would be written.
void PrintCheck(const RunState& run) {
  PrintDiagnostics(run);
  std::optional<RunState> handled;
  const RunState& plain = PlainPlanOf(run, handled);
  for (int32_t k = 0; k < run.entryCount; ++k) {
    const int32_t index = run.writeOrder[static_cast<size_t>(k)];
    PrintEditBlock(run, index);
    if (!PrintHandlesLine(run, run.entries[static_cast<size_t>(index)])) {
      PrintCrossfadeLine(plain, plain.entries[static_cast<size_t>(index)]);
    }
    std::puts("");
  }
  PrintMetadataPlan(run);
  PrintFinalReport(run, "Would build");
}

bool HasWarnings(const RunState& run) {
  return CountOf(run.diagnostics, DiagnosticKind::kWarning) > 0;
}

// The files the options ask for may not replace any file the run reads or writes, nor each other,
// nor any WAV file.
void CheckReportPaths(const RunState& run, const CommandLine& line) {
  for (const std::string* path : {&line.jsonPath, &line.timelinePath}) {
    if (path->empty()) continue;
    const std::string& other = path == &line.jsonPath ? line.timelinePath : line.jsonPath;
    const std::string refusal = ReportFileRefusal(*path, other, run);
    if (!refusal.empty()) Fail(kExitTask, "%s", refusal.c_str());
  }
}

struct Session {
  RunState run;
  RunRecord record;
  std::optional<StagedFile> destination;  // built, not yet in place
  bool diagnosticsPrinted = false;
  bool rendering = false;       // past the check: a failure is a plain run's failure
  bool reportsChecked = false;  // the report files passed their guard
  bool reportsRefused = false;  // ... or failed it: none is written
};

void RunPhases(Session& session, const CommandLine& line) {
  RunState& run = session.run;
  // The report files carry the diagnostics too; only a check prints them.
  const bool warnOnStderr = line.warnings || ::isatty(STDERR_FILENO) == 1;
  const bool checking = line.check || line.strict || warnOnStderr || !line.jsonPath.empty() ||
                        !line.timelinePath.empty();
  run.targetName = line.target;
  ReadTaskFile(run);
  std::printf("\nRead %i entries in task file\n\n", run.entryCount);
  if (run.entryCount == 0) Fail(kExitTask, msg::kNoSources);
  if (run.destPath.empty()) Fail(kExitTask, msg::kNoDestination);
  session.reportsRefused = true;
  CheckReportPaths(run, line);
  session.reportsRefused = false;
  session.reportsChecked = true;
  if (checking) CheckSourcePaths(run);

  ResolveEditPlan(run);
  run.refusedLine = run.destLine;
  CheckOutputsSpareInputs(run);
  run.refusedLine = 0;
  ExpandCuts(run);
  PlanWriteOrder(run);
  ApplyDefaultCrossfade(run);
  MatchSpanLevels(run, !line.check && !line.strict);
  PlanDestinationMetadata(run);
  session.record.planned = true;
  if (checking) {
    CheckPlan(run);
    WarnOfDiskRoom(run, BytesTheRunWrites(run));
  }
  if (line.check) {
    CheckDestinationCanBeStaged(run);
    NoteAbandonedFiles(run);
  }
  if (line.check || (line.strict && HasWarnings(run))) {
    session.diagnosticsPrinted = true;
    PrintCheck(run);
    if (!line.check) FailQuietly(kExitTask);
    return;
  }
  session.rendering = true;
  if (warnOnStderr) PrintWarningsToStderr(run);
  // Any ending before the commit, by failure or signal, removes the file; the commit comes after
  // everything the run prints and writes besides.
  session.destination = StageDestination(run);
  CreateDestination(run);
  RenderEdits(run);
  if (line.loudness) MeasureDestination(run);
  if (line.strict && TargetMissed(run)) RefuseDelivery(run);
  PrintFinalReport(run, "Built");
  PrintLoudnessReport(run);
  if (warnOnStderr) PrintWarningCountToStderr(run);
}

// Prints a failure of the run's last steps and records it for the JSON.
void FailLate(Session& session, int& status, const std::string& message) {
  PrintFailure(session.run, message);
  status = kExitFile;
}

// The report files the options ask for, when they may be written: a task the reader gave up on has
// not had its report files guarded yet.
std::vector<ReportText> ReportsToWrite(Session& session, const CommandLine& line) {
  if (session.reportsRefused || (line.jsonPath.empty() && line.timelinePath.empty())) return {};
  if (!session.reportsChecked) {
    try {
      CheckReportPaths(session.run, line);
    } catch (const RunFailure& refusal) {
      PrintFailure(session.run, refusal.message);
      return {};
    }
  }
  std::vector<ReportText> reports;
  if (!line.jsonPath.empty()) {
    reports.push_back({line.jsonPath, ReportJson(session.run, session.record)});
  }
  if (!line.timelinePath.empty() && session.record.planned) {
    reports.push_back({line.timelinePath, TimelineSvg(session.run)});
  }
  return reports;
}

// The run's last steps, in the order that keeps the old destination on every failure: everything
// printed is written out, then the report files are written, and only then is the destination put
// in place.
int Finish(Session& session, const CommandLine& line, int status) {
  // Output that cannot be written leaves nothing else to report to.
  if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status == kExitOk) status = kExitFile;
  session.record.exitStatus = status;
  std::string failedPath;
  std::vector<StagedReport> reports = StageReports(ReportsToWrite(session, line), failedPath);
  if (!failedPath.empty()) {
    FailLate(session, status, FormatMessage(msg::kCannotWriteToFile, failedPath.c_str()));
  } else if (status == kExitOk && session.destination) {
    try {
      CommitDestination(*session.destination, session.run);
    } catch (const RunFailure& failure) {
      FailLate(session, status, failure.message);
      reports.clear();
    }
  }
  for (StagedReport& report : reports) {
    if (!report.file.Commit())
      FailLate(session, status, FormatMessage(msg::kCannotWriteToFile, report.path.c_str()));
  }
  std::fflush(stdout);
  return status;
}

}  // namespace

int RunWavsplice(int argc, const char* const* argv) {
  int status = kExitOk;
  Session session;
  session.record.version = kVersion;
  CommandLine line;
  try {
    line = ReadCommandLine(argc, argv);
    if (line.help || line.version) {
      if (line.help) {
        PrintHelp();
      } else {
        std::printf("wavsplice %s\n", kVersion);
      }
      std::fflush(stdout);
      return line.help && !line.longHelp ? kExitTask : kExitOk;
    }
    session.run.taskPath = line.taskPath;
    session.record.check = line.check;
    RemoveListedFilesOnSignals();
    RunPhases(session, line);
  } catch (const RunFailure& failure) {
    if ((line.check || line.strict) && !session.diagnosticsPrinted && !session.rendering) {
      PrintDiagnostics(session.run);
      PrintRefusedLine(session.run, failure.message);
    }
    PrintFailure(session.run, failure.message);
    status = failure.exitCode;
  } catch (const std::bad_alloc&) {
    PrintFailure(session.run, msg::kNotEnoughMemory);
    status = kExitFile;
  }
  return Finish(session, line, status);
}

}  // namespace wavsplice
