// The program's own messages, each text written here once. Texts that end a run carry their line
// end, as Fail() takes them; the notices a run prints on its way carry none, as the report prints
// and records them (one line each). Report lines (the edit blocks, the final report) and the
// check's diagnostics are not messages: they live with the code that writes them.
#pragma once

namespace wavsplice::msg {

// Files.
constexpr char kCannotOpenFile[] = "Cannot open file %s\n";
constexpr char kCannotReadFile[] = "Cannot read file %s\n";
constexpr char kCannotWriteToFile[] = "Cannot write to file %s\n";
constexpr char kCannotMakeDestination[] = "Cannot %s destination file %s\n";  // create, replace
constexpr char kSourceNotFound[] = "Cannot find file in track list called %s!!\n";
constexpr char kNoDataChunk[] =
    "Can't find data block in %s: the audio must start within the first 128 KiB of the file\n";
constexpr char kTaskFileNotFound[] = "Cannot find file %s that holds your instructions\n";
constexpr char kDestinationIsInput[] = "Destination file %s is also an input file\n";
constexpr char kNotEnoughMemory[] = "Not enough memory for this task\n";

// The command line.
constexpr char kUnknownOption[] = "Unknown option %s\n";
constexpr char kOptionNeedsFile[] = "Option %s needs a file name\n";
constexpr char kOptionNeedsTarget[] = "Option %s needs a target name\n";
constexpr char kOneTaskFile[] = "Only one task file can be given, not also %s\n";
constexpr char kUnknownTarget[] = "Unknown loudness target %s: podcast, podcast-mono, ebu or acx\n";

// The task file.
constexpr char kCommandBeforeSource[] = "Command %s comes before any src command\n";
constexpr char kValueMissing[] = "Value missing after %s at end of task file\n";
constexpr char kLoudnessAfterSource[] = "Command loudness comes after a src command\n";
constexpr char kLoudnessTwice[] = "Command loudness is given twice\n";
constexpr char kLoudnessOutOfRange[] = "Loudness %s is not a level from -70 to 0 LUFS\n";
constexpr char kSourceNameMissing[] = "Source track %i appears to be too short or missing\n";
constexpr char kTooManySources[] = "Too many source tracks, at most 512 are allowed\n";
constexpr char kDestinationNameMissing[] =
    "Your destination name appears to be too short or missing\n";
constexpr char kNoSources[] = "No source tracks found in task file\n";
constexpr char kNoDestination[] = "No destination file given in task file\n";
constexpr char kReadingSamples[] = "Reading time values as samples.";
constexpr char kInvalidCrossfadeType[] = "Crossfade-type (parameter 2) is invalid";

// The plan.
constexpr char kNoFormatChunk[] = "Can't find format chunk in wave file!";
constexpr char kRatesDiffer[] = "Sample rates do not match for source tracks:";
constexpr char kChannelsDiffer[] = "Number of channels do not match for source tracks:";
constexpr char kBitsDiffer[] = "Number of bits do not match for source tracks:";
constexpr char kSampleTypesDiffer[] = "Sample types do not match for source tracks:";
constexpr char kUnsupportedFormat[] = "Unsupported audio format in %s\n";
constexpr char kSpanIncorrect[] = "Edit start/stop set incorrectly for %s\n";
constexpr char kInsertPointIncorrect[] = "Insert point set incorrectly for %s\n";

// Cut lists.
constexpr char kNothingLeft[] = "Cuts leave nothing of %s\n";
constexpr char kTooManyPieces[] =
    "Too many pieces: the cuts make %i edits, at most %i are allowed\n";
constexpr char kLabelFileUnreadable[] = "%s:%i: error: cannot read label file %s\n";
constexpr char kLabelFileLineError[] = "%s:%i: error: %s\n";

// The render.
constexpr char kCrossfadeNotMade[] = "Could not generate crossfade";
constexpr char kCrossfadeDestinationShort[] = "Invalid crossfade for destination file";
constexpr char kCrossfadeSourceShort[] = "Invalid crossfade for source file";

// Loudness.
constexpr char kCannotMeasure[] = "Cannot measure the loudness of %s\n";
constexpr char kTargetMissed[] = "Target %s missed: %s left as it was\n";

}  // namespace wavsplice::msg
