#include "render/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "common/file_io.h"
#include "wav/pcm_codec.h"

namespace wavsplice {

namespace {

constexpr int64_t kBlockBytes = 256 * 1024;  // read at a time, whatever the frame size
constexpr int kHopsPerWindow = 10;           // the noise floor's window moves in tenths

struct StateCloser {
  void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using MeterState = std::unique_ptr<ebur128_state, StateCloser>;

// The speaker of each bit of a WAVE_FORMAT_EXTENSIBLE channel mask, in bit order, as libebur128
// names the BS.1770 positions; bits past these (and channels past the mask's bits) are weighted 0
// dB.
constexpr int kSpeakerOfMaskBit[] = {
    EBUR128_LEFT,           EBUR128_RIGHT, EBUR128_CENTER, EBUR128_UNUSED, EBUR128_LEFT_SURROUND,
    EBUR128_RIGHT_SURROUND, EBUR128_Mp030, EBUR128_Mm030,  EBUR128_Mp180,  EBUR128_Mp090,
    EBUR128_Mm090,          EBUR128_Tp000, EBUR128_Up030,  EBUR128_Up000,  EBUR128_Um030,
    EBUR128_Up135,          EBUR128_Up180, EBUR128_Um135,
};
constexpr int kKnownMaskBits = sizeof kSpeakerOfMaskBit / sizeof kSpeakerOfMaskBit[0];

void MapChannels(ebur128_state* state, const PcmFormat& format) {
  int bit = 0;
  for (int channel = 0; channel < format.channels; ++channel) {
    while (bit < 32 && (format.channelMask & (1u << bit)) == 0) ++bit;
    const int speaker = bit < kKnownMaskBits ? kSpeakerOfMaskBit[bit] : EBUR128_CENTER;
    ebur128_set_channel(state, static_cast<unsigned int>(channel), speaker);
    if (bit < 32) ++bit;
  }
}

// The value of full scale in the units DecodeValues gives.
double FullScale(const PcmFormat& format) {
  if (format.IsFloat()) return 1.0;
  return (format.HighestValue() + 1.0) / ResultScale(format);
}

double Decibels(double amplitude) {
  return amplitude > 0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

double MeanSquareDecibels(double sumOfSquares, int64_t valueCount) {
  if (valueCount <= 0 || sumOfSquares <= 0) return -std::numeric_limits<double>::infinity();
  return 10.0 * std::log10(sumOfSquares / static_cast<double>(valueCount));
}

// The unweighted levels: the whole stretch's mean square and the quietest window of kHopsPerWindow
// hops, the window moving one hop at a time.
class PowerTracker {
 public:
  PowerTracker(int64_t hopFrames, int32_t channels) : hopFrames_(hopFrames), channels_(channels) {}

  void Add(const double* values, int64_t frames) {
    for (int64_t frame = 0; frame < frames; ++frame) {
      double square = 0;
      for (int32_t channel = 0; channel < channels_; ++channel) {
        const double value = values[frame * channels_ + channel];
        square += value * value;
      }
      hopSum_ += square;
      if (++hopFill_ == hopFrames_) EndHop();
    }
  }

  double RmsDecibels() const { return MeanSquareDecibels(total_ + hopSum_, valueCount()); }

  // Shorter than one window: the whole stretch is the quietest window.
  double NoiseFloorDecibels() const {
    if (hops_.size() < kHopsPerWindow) return RmsDecibels();
    return MeanSquareDecibels(quietest_, hopFrames_ * kHopsPerWindow * channels_);
  }

 private:
  int64_t valueCount() const { return (hopsDone_ * hopFrames_ + hopFill_) * channels_; }

  void EndHop() {
    total_ += hopSum_;
    windowSum_ += hopSum_;
    hops_.push_back(hopSum_);
    if (hops_.size() > kHopsPerWindow) {
      windowSum_ -= hops_.front();
      hops_.erase(hops_.begin());
    }
    // The window's sum is kept by adding and taking away; a drift below 0 would be rounding, not
    // sound.
    if (hops_.size() == kHopsPerWindow) quietest_ = std::min(quietest_, std::max(0.0, windowSum_));
    ++hopsDone_;
    hopSum_ = 0;
    hopFill_ = 0;
  }

  int64_t hopFrames_;
  int32_t channels_;
  std::vector<double> hops_;  // the last kHopsPerWindow hops' sums of squares
  double hopSum_ = 0;
  int64_t hopFill_ = 0;
  int64_t hopsDone_ = 0;
  double total_ = 0;
  double windowSum_ = 0;
  double quietest_ = std::numeric_limits<double>::infinity();
};

// The gating blocks are kept one by one (some 1.2 MB an hour), not in libebur128's histogram, whose
// 0.01 LU bins move a steady tone's integrated loudness by up to 0.05 LU: half the step the report
// prints.
MeterState OpenMeter(const PcmFormat& format, LoudnessScope scope) {
  const int mode =
      scope == LoudnessScope::kProgramme
          ? EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_SAMPLE_PEAK
          : EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK;
  MeterState state(ebur128_init(static_cast<unsigned int>(format.channels),
                                static_cast<unsigned long>(format.sampleRate), mode));
  if (state) MapChannels(state.get(), format);
  return state;
}

// Decoded values as fractions of full scale, non-finite ones as silence.
void Normalise(double* values, int64_t count, double fullScale) {
  const double factor = 1.0 / fullScale;
  for (int64_t i = 0; i < count; ++i) {
    values[i] = std::isfinite(values[i]) ? values[i] * factor : 0.0;
  }
}

// The highest peak of any channel, as ebur128_sample_peak or ebur128_true_peak gives each.
template <typename PeakOf>
double HighestPeak(ebur128_state* state, int32_t channels, PeakOf peakOf) {
  double highest = 0;
  for (int32_t channel = 0; channel < channels; ++channel) {
    double peak = 0;
    if (peakOf(state, static_cast<unsigned int>(channel), &peak) == EBUR128_SUCCESS) {
      highest = std::max(highest, peak);
    }
  }
  return highest;
}

void ReadResults(ebur128_state* state, const PcmFormat& format, LoudnessScope scope,
                 LoudnessMeasure& measure) {
  double value = 0;
  measure.integratedLufs = ebur128_loudness_global(state, &value) == EBUR128_SUCCESS
                               ? value
                               : -std::numeric_limits<double>::infinity();
  measure.samplePeakDbfs = Decibels(HighestPeak(state, format.channels, ebur128_sample_peak));
  if (scope == LoudnessScope::kSpan) return;
  measure.rangeLu = ebur128_loudness_range(state, &value) == EBUR128_SUCCESS ? value : 0.0;
  measure.truePeakDbtp = Decibels(HighestPeak(state, format.channels, ebur128_true_peak));
}

}  // namespace

MeterOutcome MeasureLoudness(const AudioStretch& stretch, const PcmFormat& format,
                             LoudnessScope scope, LoudnessMeasure& measure) {
  const Descriptor opened = stretch.fd < 0 ? OpenCheckedFile(stretch.path) : Descriptor();
  const int fd = stretch.fd < 0 ? opened.get() : stretch.fd;
  if (fd < 0) return MeterOutcome::kUnreadable;
  MeterState state = OpenMeter(format, scope);
  if (!state) return MeterOutcome::kUnmeasurable;
  const int64_t frameBytes = format.FrameBytes();
  const int64_t blockFrames = std::max<int64_t>(1, kBlockBytes / frameBytes);
  std::vector<unsigned char> bytes(static_cast<size_t>(blockFrames * frameBytes));
  std::vector<double> values(static_cast<size_t>(blockFrames * format.channels));
  PowerTracker power(std::max<int64_t>(1, format.sampleRate / (2 * kHopsPerWindow)),
                     format.channels);
  const double fullScale = FullScale(format);
  for (int64_t done = 0; done < stretch.frameCount;) {
    const int64_t frames = std::min(blockFrames, stretch.frameCount - done);
    const size_t want = static_cast<size_t>(frames * frameBytes);
    const int64_t at = stretch.audioStart + (stretch.firstFrame + done) * frameBytes;
    if (ReadAt(fd, at, bytes.data(), want) != want) return MeterOutcome::kUnreadable;
    DecodeValues(format, bytes.data(), values.data(), frames * format.channels);
    Normalise(values.data(), frames * format.channels, fullScale);
    if (ebur128_add_frames_double(state.get(), values.data(), static_cast<size_t>(frames)) !=
        EBUR128_SUCCESS) {
      throw std::bad_alloc();  // the only way adding frames fails
    }
    power.Add(values.data(), frames);
    done += frames;
  }
  ReadResults(state.get(), format, scope, measure);
  measure.rmsDbfs = power.RmsDecibels();
  measure.noiseFloorDbfs = power.NoiseFloorDecibels();
  return MeterOutcome::kMeasured;
}

}  // namespace wavsplice
