// Writes the source recordings of the bundled example and of the recipes in examples/recipes into a
// folder. They are made of tones, so that splices, levels and crossfades can be heard:
//   take1.wav, take2.wav, take3.wav  4 s takes, 16-bit stereo, 44.1 kHz
//   narration.wav                    8 s "recording" whose loudness pulses
//                                    like speech, 16-bit stereo, 44.1 kHz
//   retake.wav                       4 s replacement for part of it
//   jingle.wav                       3 s chord to insert
//   bells48k.wav                     1 s, 24-bit mono, 48 kHz: four bell
//                                    strikes, one every 12000 samples
//   narration-ums.labels             the regions of narration.wav to cut, as
//                                    an audio editor exports a label track
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Format {
  int rate;
  int channels;
  int bits;
};

constexpr Format kCd{44100, 2, 16};
constexpr Format kBells{48000, 1, 24};

// Value of a channel at time t in seconds, as a fraction of full scale.
using Signal = std::function<double(int channel, double t)>;

void PutLe(std::vector<unsigned char>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<unsigned char>((value >> (8 * i)) & 0xff));
}

double Tone(double hz, double t) { return std::sin(2 * kPi * hz * t); }

bool WriteWav(const std::string& path, const Format& format, double seconds, const Signal& signal) {
  const int bytesPerSample = format.bits / 8;
  const uint32_t frames = static_cast<uint32_t>(seconds * format.rate);
  const uint32_t frameSize = static_cast<uint32_t>(format.channels * bytesPerSample);
  const uint32_t dataSize = frames * frameSize;
  // Full scale of the format; values are truncated toward zero.
  const double fullScale = format.bits == 16 ? 32767.0 : 8388607.0;
  const uint32_t mask = format.bits == 16 ? 0xffffu : 0xffffffu;
  std::vector<unsigned char> bytes;
  bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
  PutLe(bytes, dataSize + 36, 4);
  bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(bytes, 16, 4);
  PutLe(bytes, 1, 2);
  PutLe(bytes, static_cast<uint32_t>(format.channels), 2);
  PutLe(bytes, static_cast<uint32_t>(format.rate), 4);
  PutLe(bytes, static_cast<uint32_t>(format.rate) * frameSize, 4);
  PutLe(bytes, frameSize, 2);
  PutLe(bytes, static_cast<uint32_t>(format.bits), 2);
  bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
  PutLe(bytes, dataSize, 4);
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / format.rate;
    for (int channel = 0; channel < format.channels; ++channel) {
      const double value = signal(channel, t) * fullScale;
      PutLe(bytes, static_cast<uint32_t>(static_cast<int32_t>(value)) & mask, bytesPerSample);
    }
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// A steady two-tone take, one tone per channel.
Signal Take(double leftHz, double rightHz) {
  return [=](int channel, double t) { return 0.4 * Tone(channel == 0 ? leftHz : rightHz, t); };
}

// A low voice whose loudness rises and falls about three times a second.
Signal Voice(double hz) {
  return [=](int channel, double t) {
    const double syllables = 0.55 + 0.45 * std::sin(2 * kPi * 2.7 * t);
    return 0.35 * syllables * Tone(channel == 0 ? hz : hz * 1.5, t);
  };
}

double Chord(int, double t) { return 0.15 * (Tone(523.25, t) + Tone(659.25, t) + Tone(783.99, t)); }

// A strike every 0.25 s (12000 samples at 48 kHz), each dying away.
double Bells(int, double t) {
  const double sinceStrike = std::fmod(t, 0.25);
  return 0.5 * std::exp(-12.0 * sinceStrike) * Tone(1200.0 + 200.0 * std::floor(t / 0.25), t);
}

// Labels as an audio editor exports them: START, END and text by tabs, in seconds; a label with a
// frequency range has a line after it that starts with a backslash, and a point label has START
// equal to END.
bool WriteLabels(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fputs(
                           "1.200000\t1.450000\tum\n"
                           "\\\t120.000000\t800.000000\n"
                           "3.600000\t3.600000\tcheck the level here\n"
                           "5.100000\t5.500000\tbreath\n",
                           file) >= 0;
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? std::string(argv[1]) + "/" : std::string();
  const bool written = WriteWav(folder + "take1.wav", kCd, 4.0, Take(440.0, 554.37)) &&
                       WriteWav(folder + "take2.wav", kCd, 4.0, Take(659.25, 830.61)) &&
                       WriteWav(folder + "take3.wav", kCd, 4.0, Take(523.25, 659.25)) &&
                       WriteWav(folder + "narration.wav", kCd, 8.0, Voice(196.0)) &&
                       WriteWav(folder + "retake.wav", kCd, 4.0, Voice(246.94)) &&
                       WriteWav(folder + "jingle.wav", kCd, 3.0, Chord) &&
                       WriteWav(folder + "bells48k.wav", kBells, 1.0, Bells) &&
                       WriteLabels(folder + "narration-ums.labels");
  if (!written) {
    std::puts("Cannot write the example sources");
    return 1;
  }
  return 0;
}
