// Loudness of a stretch of a WAV file's audio, as listeners and delivery requirements judge it:
// integrated loudness, loudness range and true peak (ITU-R BS.1770 and EBU R 128, measured by
// libebur128), sample peak, and the unweighted RMS level and noise floor that audiobook deliveries
// ask for. The frames are read through the program's PCM codec; nothing is printed.
#pragma once

#include <cstdint>
#include <string>

#include "wav/pcm_format.h"

namespace wavsplice {

// What MeasureLoudness works out. Levels are in dB relative to full scale; a level of silence (or
// of no audio) is -infinity.
struct LoudnessMeasure {
  double integratedLufs = 0;  // gated integrated loudness, LUFS
  double rangeLu = 0;         // loudness range, LU (0 when not measured)
  double truePeakDbtp = 0;    // highest oversampled peak of any channel, dBTP
  double samplePeakDbfs = 0;  // highest sample of any channel, dBFS
  double rmsDbfs = 0;         // unweighted RMS of every value of every channel
  double noiseFloorDbfs = 0;  // RMS of the quietest 500 ms window
};

// How much to measure: a programme gets every value; a span whose level is to be matched needs only
// its integrated loudness and sample peak.
enum class LoudnessScope { kProgramme, kSpan };

// Where the audio to measure lies: frameCount frames from frame firstFrame of the audio that starts
// at byte audioStart of the file at path, or of the file open at fd (the destination, held by its
// owner) when that is not -1.
struct AudioStretch {
  std::string path;
  int64_t audioStart = 0;
  int64_t firstFrame = 0;
  int64_t frameCount = 0;
  int fd = -1;
};

enum class MeterOutcome { kMeasured, kUnreadable, kUnmeasurable };

// Measures the stretch, in any format the codec takes. Channel weights come from the format's
// channel mask when it has one (left, right and centre 0 dB, surrounds +1.5 dB, LFE unused) and are
// 0 dB for every channel when it has none. NaN and infinite float values count as silence.
// kUnreadable when the file cannot be opened or ends before the stretch does; kUnmeasurable for a
// rate the meter does not take (below 16 Hz). Throws std::bad_alloc when the meter runs out of
// memory.
MeterOutcome MeasureLoudness(const AudioStretch& stretch, const PcmFormat& format,
                             LoudnessScope scope, LoudnessMeasure& measure);

}  // namespace wavsplice
