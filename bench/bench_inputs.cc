// Writes the inputs of the wavsplice benchmark into a folder, deterministic from run to run:
//   src16_a.wav, src16_b.wav   16-bit stereo 44.1 kHz
//   src24_a.wav, src24_b.wav   24-bit stereo 48 kHz
//   srcf32x6_a.wav, ...        32-bit float, 6 channels (5.1), 48 kHz
// each SECONDS long (600 for the full benchmark): a few slowly swelling tones plus noise at a
// moderate level, so level changes and crossfades do real arithmetic. For every scenario and format
// it also writes one job folder, <scenario>_<bits>/, holding the same job for each tool:
//   task.txt     the wavsplice task (sample units)
//   sox.args     the SoX command line, one argument a line
//   ffmpeg.args  the FFmpeg command line, one argument a line
//   bound.txt    the plan of bench_bound: the spans' bytes to read and the
//                destination bytes to write
// Scenarios (times scaled by SECONDS / 600, the 50 ms overlap and the 100 ms crossfade kept as they
// are):
//   assemble  20 spans of 30 s alternating between the two sources, every
//             other one at -3 dB, each after the first inserted so that it
//             overlaps its predecessor by 50 ms, with a 100 ms type 1
//             crossfade centred on the splice;
//   copy      the same 20 spans at 0 dB without crossfades;
//   many      500 appended spans of 1.2 s alternating between the sources,
//             every other one at -1.5 dB.
// The float format has the assemble job only. And two memory jobs, memshort_16 (one source long)
// and memlong_16 (six sources long: one hour in the full benchmark), of appended whole sources.
//
// Usage: bench_inputs FOLDER SECONDS
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFullSeconds = 600.0;  // the sources' length in the full run

struct Format {
  int32_t rate;
  int32_t bits;
  const char* tag;  // "16", "24" or "f32x6", in file and folder names
  int32_t channels;
  bool isFloat;
};

const Format kFormats[] = {
    {44100, 16, "16", 2, false}, {48000, 24, "24", 2, false}, {48000, 32, "f32x6", 6, true}};

// 44 bytes for the canonical header; WAVE_FORMAT_EXTENSIBLE with a fact chunk for the 6-channel
// float sources.
int64_t HeaderBytes(const Format& format) { return format.channels > 2 ? 80 : 44; }

// One span of a job: frames [start, start + length) of source src (0 or 1), placed at frame insert
// of the destination.
struct Span {
  int src;
  int64_t start;
  int64_t length;
  int64_t insert;
  bool appended;
  double levelDb;
  bool crossfade;
};

void PutLe(std::vector<unsigned char>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<unsigned char>((value >> (8 * i)) & 0xff));
}

std::vector<unsigned char> Header(const Format& format, int64_t frames) {
  const uint32_t frameSize = static_cast<uint32_t>(format.channels * format.bits / 8);
  const uint32_t dataSize = static_cast<uint32_t>(frames) * frameSize;
  const bool extensible = format.channels > 2;
  std::vector<unsigned char> bytes{'R', 'I', 'F', 'F'};
  PutLe(bytes, dataSize + static_cast<uint32_t>(HeaderBytes(format)) - 8, 4);
  for (char c : std::string("WAVEfmt ")) bytes.push_back(static_cast<unsigned char>(c));
  PutLe(bytes, extensible ? 40 : 16, 4);
  PutLe(bytes, extensible ? 0xFFFE : format.isFloat ? 3 : 1, 2);
  PutLe(bytes, static_cast<uint32_t>(format.channels), 2);
  PutLe(bytes, static_cast<uint32_t>(format.rate), 4);
  PutLe(bytes, static_cast<uint32_t>(format.rate) * frameSize, 4);
  PutLe(bytes, frameSize, 2);
  PutLe(bytes, static_cast<uint32_t>(format.bits), 2);
  if (extensible) {
    PutLe(bytes, 22, 2);
    PutLe(bytes, static_cast<uint32_t>(format.bits), 2);
    PutLe(bytes, 0x3F, 4);  // 5.1
    PutLe(bytes, format.isFloat ? 3 : 1, 2);
    for (const unsigned char b :
         {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) {
      bytes.push_back(b);
    }
    for (char c : std::string("fact")) bytes.push_back(static_cast<unsigned char>(c));
    PutLe(bytes, 4, 4);
    PutLe(bytes, static_cast<uint32_t>(frames), 4);
  }
  for (char c : std::string("data")) bytes.push_back(static_cast<unsigned char>(c));
  PutLe(bytes, dataSize, 4);
  return bytes;
}

// A sine oscillator stepped by rotation, so that the sources are the same on every machine without
// calling sin per sample.
struct Oscillator {
  double c;
  double s;
  double stepCos;
  double stepSin;
  void Init(double hz, double rate, double phase) {
    c = std::cos(phase);
    s = std::sin(phase);
    stepCos = std::cos(2 * kPi * hz / rate);
    stepSin = std::sin(2 * kPi * hz / rate);
  }
  double Next() {
    const double value = s;
    const double nc = c * stepCos - s * stepSin;
    s = s * stepCos + c * stepSin;
    c = nc;
    return value;
  }
};

// xorshift64*: deterministic noise.
struct Noise {
  uint64_t state;
  double Next() {  // uniform in [-1, 1)
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    const uint64_t bits = state * 2685821657736338717ULL;
    return static_cast<double>(bits >> 11) / 4503599627370496.0 - 1.0;
  }
};

// Source `which` (0 or 1): per channel three tones, the first swelling slowly, plus noise; peaks
// stay below about -6 dBFS.
bool WriteSource(const std::string& path, const Format& format, int which, int64_t frames) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const std::vector<unsigned char> header = Header(format, frames);
  bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();

  const double rate = format.rate;
  const double base = which == 0 ? 220.0 : 311.13;
  std::vector<std::array<Oscillator, 3>> tones(static_cast<size_t>(format.channels));
  std::vector<Oscillator> swell(static_cast<size_t>(format.channels));
  for (size_t ch = 0; ch < tones.size(); ++ch) {
    const double shift = 1.0 + 0.5 * static_cast<double>(ch);
    tones[ch][0].Init(base * shift, rate, 0.1 * ch);
    tones[ch][1].Init(base * shift * 2.01, rate, 0.7);
    tones[ch][2].Init(base * shift * 3.97, rate, 1.3 + ch);
    swell[ch].Init(0.13 + 0.05 * which + 0.02 * ch, rate, 0.0);
  }
  Noise noise{0x9e3779b97f4a7c15ULL + static_cast<uint64_t>(which) * 7919 +
              static_cast<uint64_t>(format.bits)};
  const double fullScale = format.isFloat ? 1.0 : format.bits == 16 ? 32767.0 : 8388607.0;
  const int bytesPerSample = format.bits / 8;

  std::vector<unsigned char> block;
  constexpr int64_t kBlockFrames = 65536;
  for (int64_t done = 0; ok && done < frames; done += kBlockFrames) {
    block.clear();
    const int64_t n = std::min<int64_t>(kBlockFrames, frames - done);
    for (int64_t i = 0; i < n; ++i) {
      for (size_t ch = 0; ch < tones.size(); ++ch) {
        const double amplitude = 0.5 + 0.5 * swell[ch].Next();
        const double value = 0.22 * amplitude * tones[ch][0].Next() + 0.1 * tones[ch][1].Next() +
                             0.05 * tones[ch][2].Next() + 0.08 * (noise.Next() + noise.Next()) / 2;
        if (format.isFloat) {
          const float sample = static_cast<float>(value);
          uint32_t pattern;
          std::memcpy(&pattern, &sample, sizeof pattern);
          PutLe(block, pattern, bytesPerSample);
        } else {
          const int32_t sample = static_cast<int32_t>(value * fullScale);
          PutLe(block, static_cast<uint32_t>(sample), bytesPerSample);
        }
      }
    }
    ok = std::fwrite(block.data(), 1, block.size(), file) == block.size();
  }
  return std::fclose(file) == 0 && ok;
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  for (const std::string& line : lines) std::fprintf(file, "%s\n", line.c_str());
  return std::fclose(file) == 0;
}

std::string Num(int64_t value) { return std::to_string(value); }

std::string Db(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string SourceName(const Format& format, int which) {
  return std::string("src") + format.tag + (which == 0 ? "_a.wav" : "_b.wav");
}

// The wavsplice task, in sample units so that every tool sees the same spans.
std::vector<std::string> Task(const Format& format, const std::vector<Span>& spans) {
  std::vector<std::string> lines{"using_samples"};
  for (const Span& span : spans) {
    lines.push_back("src\t../" + SourceName(format, span.src));
    lines.push_back("xin\t" + Num(span.start));
    lines.push_back("xout\t" + Num(span.start + span.length));
    if (!span.appended) lines.push_back("ins\t" + Num(span.insert));
    if (span.levelDb != 0.0) lines.push_back("lvl\t" + Db(span.levelDb));
    if (span.crossfade) lines.push_back("xf\t100\t1");
  }
  lines.push_back("dest\tout_wavsplice.wav");
  return lines;
}

// Frames of span k that stay in the destination: up to the next span's insert point, which
// overwrites the rest.
int64_t VisibleFrames(const std::vector<Span>& spans, size_t k) {
  if (k + 1 == spans.size()) return spans[k].length;
  return std::min(spans[k].length, spans[k + 1].insert - spans[k].insert);
}

// Frames of span k that SoX and FFmpeg take from its start: what stays visible, plus the audio
// after the join that a crossfade of the next span blends, plus the audio before the join that its
// own crossfade blends.
int64_t SectionFrames(const std::vector<Span>& spans, size_t k, int64_t half) {
  int64_t frames = VisibleFrames(spans, k);
  if (k + 1 < spans.size() && spans[k + 1].crossfade) frames += half;
  if (spans[k].crossfade) frames += half;
  return frames;
}

// Each span's bytes are read once; the destination's bytes are written once.
std::vector<std::string> BoundPlan(const Format& format, const std::vector<Span>& spans) {
  const int64_t frameSize = format.channels * format.bits / 8;
  std::vector<std::string> lines{"out_bound.wav"};
  for (size_t k = 0; k < spans.size(); ++k) {
    const Span& span = spans[k];
    lines.push_back("../" + SourceName(format, span.src) + "\t" +
                    Num(HeaderBytes(format) + span.start * frameSize) + "\t" +
                    Num(span.length * frameSize) + "\t" + Num(VisibleFrames(spans, k) * frameSize));
  }
  return lines;
}

// Crossfaded spans are joined by SoX's splice effect (quarter-cosine, the equal-power curve) with
// an excess of half the crossfade on either side of each join, which is exactly the audio wavsplice
// blends; plain spans are cut to what stays visible and concatenated. Each span is an input of its
// own, trimmed (and its level changed) by an inner SoX.
std::vector<std::string> SoxArgs(const Format& format, const std::vector<Span>& spans,
                                 int64_t half) {
  std::vector<std::string> args{"sox", "-D", "-V1"};
  std::vector<std::string> splices;
  int64_t position = 0;
  for (size_t k = 0; k < spans.size(); ++k) {
    const Span& span = spans[k];
    int64_t start = span.start;
    int64_t length = SectionFrames(spans, k, half);
    if (span.crossfade) {
      start -= half;
      splices.push_back(Num(position) + "s," + Num(half) + "s,0");
    }
    position += length;
    std::string input = "|sox -D -V1 ../" + SourceName(format, span.src) + " -p trim " +
                        Num(start) + "s " + Num(length) + "s";
    if (span.levelDb != 0.0) input += " vol " + Db(span.levelDb) + "dB";
    args.push_back(input);
  }
  if (format.isFloat) args.insert(args.end(), {"-e", "floating-point"});
  args.insert(args.end(), {"-b", Num(format.bits), "out_sox.wav"});
  if (!splices.empty()) {
    args.insert(args.end(), {"splice", "-q"});
    args.insert(args.end(), splices.begin(), splices.end());
  }
  return args;
}

// One filter graph: every span an input seeked to its start, cut exactly by atrim, levelled by
// volume; crossfaded spans chained with acrossfade over the whole crossfade (quarter-sine curves),
// plain spans joined by concat.
std::vector<std::string> FfmpegArgs(const Format& format, const std::vector<Span>& spans,
                                    int64_t half) {
  std::vector<std::string> args{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
  std::string graph;
  const bool crossfades = spans.size() > 1 && spans[1].crossfade;
  for (size_t k = 0; k < spans.size(); ++k) {
    const Span& span = spans[k];
    int64_t start = span.start;
    int64_t length = SectionFrames(spans, k, half);
    if (span.crossfade) {
      start -= half;
    }
    char seconds[40];
    std::snprintf(seconds, sizeof seconds, "%.9f", static_cast<double>(start) / format.rate);
    args.insert(args.end(), {"-ss", seconds, "-i", "../" + SourceName(format, span.src)});
    graph += "[" + Num(static_cast<int64_t>(k)) + ":a]atrim=end_sample=" + Num(length);
    if (span.levelDb != 0.0) graph += ",volume=" + Db(span.levelDb) + "dB";
    graph += "[s" + Num(static_cast<int64_t>(k)) + "];";
  }
  if (crossfades) {
    std::string previous = "s0";
    for (size_t k = 1; k < spans.size(); ++k) {
      const std::string next = k + 1 == spans.size() ? "out" : "x" + Num(static_cast<int64_t>(k));
      graph += "[" + previous + "][s" + Num(static_cast<int64_t>(k)) +
               "]acrossfade=ns=" + Num(2 * half) + ":c1=qsin:c2=qsin[" + next + "]";
      if (next != "out") graph += ";";
      previous = next;
    }
  } else {
    for (size_t k = 0; k < spans.size(); ++k) graph += "[s" + Num(static_cast<int64_t>(k)) + "]";
    graph += "concat=n=" + Num(static_cast<int64_t>(spans.size())) + ":v=0:a=1[out]";
  }
  args.insert(args.end(),
              {"-filter_complex", graph, "-map", "[out]", "-c:a",
               std::string(format.isFloat ? "pcm_f" : "pcm_s") + Num(format.bits) + "le",
               "out_ffmpeg.wav"});
  return args;
}

// 20 spans of 30 s, alternating sources, spread over each source, each after the first inserted to
// overlap its predecessor by half a crossfade.
std::vector<Span> TwentySpans(const Format& format, int64_t sourceFrames, double scale,
                              bool levelsAndCrossfades) {
  const int64_t length = static_cast<int64_t>(30.0 * scale * format.rate);
  const int64_t overlap = format.rate / 20;  // 50 ms: half the 100 ms crossfade
  const int64_t margin = format.rate / 2;    // audio before every start, for the crossfade
  const int64_t step = (sourceFrames - margin - length) / 9;
  std::vector<Span> spans;
  for (int k = 0; k < 20; ++k) {
    Span span{k % 2, margin + (k / 2) * step, length, k * (length - overlap), k == 0, 0.0, false};
    if (levelsAndCrossfades) {
      span.levelDb = k % 2 == 1 ? -3.0 : 0.0;
      span.crossfade = k > 0;
    }
    spans.push_back(span);
  }
  return spans;
}

std::vector<Span> ManySpans(const Format& format, int64_t sourceFrames, double scale) {
  const int64_t length = static_cast<int64_t>(1.2 * scale * format.rate);
  const int64_t margin = format.rate / 2;
  const int64_t step = (sourceFrames - margin - length) / 249;
  std::vector<Span> spans;
  for (int k = 0; k < 500; ++k) {
    spans.push_back(Span{k % 2, margin + (k / 2) * step, length, k * length, true,
                         k % 2 == 1 ? -1.5 : 0.0, false});
  }
  return spans;
}

// Whole sources appended `count` times, every other one at -1.5 dB.
std::vector<Span> WholeSources(int64_t sourceFrames, int count) {
  std::vector<Span> spans;
  for (int k = 0; k < count; ++k) {
    spans.push_back(
        Span{k % 2, 0, sourceFrames, k * sourceFrames, true, k % 2 == 1 ? -1.5 : 0.0, false});
  }
  return spans;
}

bool WriteJob(const std::string& folder, const std::string& name, const Format& format,
              const std::vector<Span>& spans) {
  const std::string dir = folder + "/" + name + "_" + format.tag;
  std::filesystem::create_directories(dir);
  const int64_t half = format.rate / 20;  // half of a 100 ms crossfade
  return WriteLines(dir + "/task.txt", Task(format, spans)) &&
         WriteLines(dir + "/bound.txt", BoundPlan(format, spans)) &&
         WriteLines(dir + "/sox.args", SoxArgs(format, spans, half)) &&
         WriteLines(dir + "/ffmpeg.args", FfmpegArgs(format, spans, half));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::puts("Usage: bench_inputs FOLDER SECONDS");
    return 1;
  }
  const std::string folder = argv[1];
  const double seconds = std::strtod(argv[2], nullptr);
  if (!(seconds >= 3.0 && seconds <= 1200.0)) {
    std::puts("SECONDS must lie between 3 and 1200");
    return 1;
  }
  std::filesystem::create_directories(folder);
  const double scale = seconds / kFullSeconds;
  bool ok = true;
  for (const Format& format : kFormats) {
    const int64_t frames = static_cast<int64_t>(seconds * format.rate);
    for (int which = 0; which < 2 && ok; ++which) {
      ok = WriteSource(folder + "/" + SourceName(format, which), format, which, frames);
    }
    ok = ok && WriteJob(folder, "assemble", format, TwentySpans(format, frames, scale, true));
    if (!format.isFloat) {
      ok = ok && WriteJob(folder, "copy", format, TwentySpans(format, frames, scale, false)) &&
           WriteJob(folder, "many", format, ManySpans(format, frames, scale));
    }
    if (format.bits == 16) {
      ok = ok && WriteJob(folder, "memshort", format, WholeSources(frames / 10, 1)) &&
           WriteJob(folder, "memlong", format, WholeSources(frames, 6));
    }
  }
  if (!ok) {
    std::printf("Cannot write the benchmark inputs in %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
