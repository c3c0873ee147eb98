#include "task/driver.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "common/failure.h"
#include "render/render_loop.h"
#include "task/edit_plan.h"
#include "task/file_guards.h"
#include "task/run_state.h"
#include "task/task_reader.h"
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
      "Supported are 16 or 24 bits, 1 or 2 channels, and .wav files only.",
      "The destination track will match the source track specifications.",
      "\nCrossfades are added with the command 'xf' followed by a tab",
      "and the width in milliseconds, followed by a tab and a type 1, 2, or 3.",
      "\nType 1 achieves an equal mix of both tracks at the splice point.",
      "\nType 2 achieves an equal mix without power compensation",
      "\nWith type 3, the decay of the file to the left of the splice is slow",
      "at first and then more rapid with time.",
      "\nWith type 4, the decay is fast at first and then slower with time",
      "\nExample: A 200 msec type 1 crossfade:",
      "xf    200     1\n",
  };
  // clang-format on
  for (const char* line : kHelpLines) std::puts(line);
}

bool AsksForHelp(int argc, const char* const* argv) {
  return argc > 1 && (std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "-h") == 0);
}

void PrintFinalReport(const RunState& run) {
  std::printf("Built\t%s\n", run.destPath.c_str());
  if (run.sampleMode == 1) {
    std::printf("\tLength %i samples\n", run.destLength);
  } else {
    std::printf("\tLength %.3f sec\n", ReportSeconds(run.destLength, run.sampleRate));
  }
  std::printf("\tBits %i\n", run.bits);
  std::printf("\tChannels %i\n", run.channels);
  std::printf("\tSample rate %i\n\n", run.sampleRate);
}

}  // namespace

void RunTask(RunState& run) {
  ReadTaskFile(run);
  std::printf("\nRead %i entries in task file\n\n", run.entryCount);
  if (run.entryCount == 0) Fail(kExitTask, "No source tracks found in task file\n");
  if (run.destPath.empty()) Fail(kExitTask, "No destination file given in task file\n");

  ResolveEditPlan(run);
  CheckOutputsSpareInputs(run);
  PlanWriteOrder(run);
  CreateDestination(run);
  RenderEdits(run);
  PrintFinalReport(run);
}

int RunWavsplice(int argc, const char* const* argv) {
  if (AsksForHelp(argc, argv)) {
    PrintHelp();
    std::fflush(stdout);
    return kExitTask;
  }
  int status = kExitOk;
  try {
    RunState run;
    if (argc > 1) run.taskPath = argv[1];
    RunTask(run);
  } catch (const RunFailure& failure) {
    std::fputs(failure.message.c_str(), stdout);
    status = failure.exitCode;
  } catch (const std::bad_alloc&) {
    std::puts("Not enough memory for this task");
    status = kExitFile;
  }
  // Output that cannot be written leaves nothing else to report to.
  if (std::fflush(stdout) != 0 && status == kExitOk) status = kExitFile;
  return status;
}

}  // namespace wavsplice
