// Microbenchmarks of the operations the render time goes to: the PCM codec, NewLevel and CROSSFADE
// (samples per second, a sample being one value of one channel), the splice copy, the chunk scan of
// a file without a "data" tag (the scan's worst case: every candidate examined), and putting a
// finished destination in place.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/staged_file.h"
#include "render/crossfade.h"
#include "render/insert_file.h"
#include "render/level.h"
#include "wav/chunk_scan.h"
#include "wav/pcm_codec.h"
#include "wav/pcm_format.h"
#include "wav/wav_writer.h"

namespace {

using wavsplice::kBlockSamples;

constexpr int kChannels = 2;

// Packed stereo audio of the given width at a moderate level (within a quarter of full scale, as
// the benchmark's sources are), so that a level change of a few dB either way limits nothing.
std::vector<unsigned char> PackedAudio(int bytesPerSample, int64_t frames) {
  std::vector<unsigned char> bytes;
  const int32_t quarter = bytesPerSample == 2 ? 8192 : 2097152;
  uint32_t random = 0x12345;
  for (int64_t i = 0; i < frames * kChannels; ++i) {
    random = random * 1103515245u + 12345u;
    const int32_t value = static_cast<int32_t>(random >> 8) % quarter;
    for (int b = 0; b < bytesPerSample; ++b) {
      bytes.push_back(static_cast<unsigned char>((static_cast<uint32_t>(value) >> (8 * b)) & 0xff));
    }
  }
  return bytes;
}

// A folder of its own under the system's temporary folder, removed at exit.
const std::filesystem::path& ScratchDir() {
  static const struct Dir {
    std::filesystem::path path;
    Dir() : path(std::filesystem::temp_directory_path() / "wavsplice_microbench") {
      std::filesystem::create_directories(path);
    }
    ~Dir() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } dir;
  return dir.path;
}

// A WAV file of the format holding frames frames of audio, written as the program writes its files.
std::string Written(const std::string& name, const wavsplice::PcmFormat& format, int64_t frames,
                    const std::vector<unsigned char>& audio) {
  const std::string path = (ScratchDir() / name).string();
  const wavsplice::Descriptor file(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644));
  wavsplice::WavWriter wav(file.get(), format, path);
  if (!wavsplice::MAKE_HEADER(wav, frames) || !wav.Append(audio.data(), audio.size())) {
    std::abort();
  }
  return path;
}

// A canonical WAV file of frames stereo frames of the given width.
std::string WavFile(const std::string& name, int bytesPerSample, int64_t frames) {
  return Written(name, wavsplice::IntegerFormat(bytesPerSample, kChannels, 44100), frames,
                 PackedAudio(bytesPerSample, frames));
}

void BM_DecodeStereo(benchmark::State& state) {
  const int bytesPerSample = static_cast<int>(state.range(0));
  const std::vector<unsigned char> bytes = PackedAudio(bytesPerSample, kBlockSamples);
  std::vector<int32_t> left(kBlockSamples);
  std::vector<int32_t> right(kBlockSamples);
  for (auto _ : state) {
    wavsplice::CHAR_TO_NUM32_STEREO(bytes.data(), left.data(), right.data(), bytesPerSample,
                                    kBlockSamples);
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
  }
  state.SetItemsProcessed(state.iterations() * kBlockSamples * kChannels);
}
BENCHMARK(BM_DecodeStereo)->Arg(2)->Arg(3);

void BM_EncodeStereo(benchmark::State& state) {
  const int bytesPerSample = static_cast<int>(state.range(0));
  std::vector<int32_t> left(kBlockSamples);
  std::vector<int32_t> right(kBlockSamples);
  for (int32_t i = 0; i < kBlockSamples; ++i) {
    left[static_cast<size_t>(i)] = i * 31 - 16000;
    right[static_cast<size_t>(i)] = 16000 - i * 29;
  }
  std::vector<unsigned char> bytes(static_cast<size_t>(kBlockSamples * kChannels * bytesPerSample));
  for (auto _ : state) {
    if (bytesPerSample == 2) {
      wavsplice::NUM16STER_TO_CHAR(left.data(), right.data(), bytes.data(), kBlockSamples);
    } else {
      wavsplice::NUM24STER_TO_CHAR(left.data(), right.data(), bytes.data(), kBlockSamples);
    }
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(state.iterations() * kBlockSamples * kChannels);
}
BENCHMARK(BM_EncodeStereo)->Arg(2)->Arg(3);

// One block levelled in place; the level alternates between -3 and +3 dB so the audio keeps its
// size from one iteration to the next.
void BM_NewLevel(benchmark::State& state) {
  const int bytesPerSample = static_cast<int>(state.range(0));
  std::vector<unsigned char> bytes = PackedAudio(bytesPerSample, kBlockSamples);
  double levelDb = -3.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wavsplice::NewLevel(
        bytes.data(), levelDb, wavsplice::IntegerFormat(bytesPerSample, kChannels), kBlockSamples));
    levelDb = -levelDb;
  }
  state.SetItemsProcessed(state.iterations() * kBlockSamples * kChannels);
}
BENCHMARK(BM_NewLevel)->Arg(2)->Arg(3);

// One block of each format levelled in place, in bytes per second, so that the formats compare per
// byte: args are bytes per value, float (0 or 1) and channels. The values lie within a quarter of
// full scale.
void BM_NewLevelFormat(benchmark::State& state) {
  wavsplice::PcmFormat format = wavsplice::IntegerFormat(
      static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(2)), 48000);
  if (state.range(1) == 1) format.encoding = wavsplice::SampleEncoding::kFloat;
  const int64_t values = int64_t{kBlockSamples} * format.channels;
  std::vector<double> decoded(static_cast<size_t>(values));
  const double quarter = format.IsFloat() ? 0.25 : (format.HighestValue() + 1) / 4;
  uint32_t random = 0x12345;
  for (double& value : decoded) {
    random = random * 1103515245u + 12345u;
    value = std::trunc((static_cast<double>(random >> 8) / 16777216.0 - 0.5) * 2 * quarter);
    if (format.IsFloat()) value /= quarter * 4 + 1;
  }
  std::vector<unsigned char> bytes(static_cast<size_t>(values * format.containerBytes));
  for (double& value : decoded) value *= wavsplice::ResultScale(format);
  wavsplice::EncodeValues(format, decoded.data(), bytes.data(), values);
  double levelDb = -3.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wavsplice::NewLevel(bytes.data(), levelDb, format, kBlockSamples));
    levelDb = -levelDb;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_NewLevelFormat)
    ->Args({2, 0, 2})
    ->Args({3, 0, 2})
    ->Args({1, 0, 1})
    ->Args({1, 0, 2})
    ->Args({2, 0, 6})
    ->Args({3, 0, 6})
    ->Args({4, 0, 2})
    ->Args({4, 0, 6})
    ->Args({4, 1, 1})
    ->Args({4, 1, 2})
    ->Args({4, 1, 6})
    ->Args({8, 1, 2})
    ->Args({8, 1, 6});

// A float WAV file of frames frames of the given channels at 48 kHz, values within a quarter of
// full scale.
std::string FloatWavFile(const std::string& name, int channels, int64_t frames) {
  wavsplice::PcmFormat format = wavsplice::IntegerFormat(4, channels, 48000);
  format.encoding = wavsplice::SampleEncoding::kFloat;
  std::vector<double> values(static_cast<size_t>(frames * channels));
  uint32_t random = 0x12345;
  for (double& value : values) {
    random = random * 1103515245u + 12345u;
    value = (static_cast<double>(random >> 8) / 16777216.0 - 0.5) * 0.5;
  }
  std::vector<unsigned char> audio(values.size() * 4);
  wavsplice::EncodeValues(format, values.data(), audio.data(), static_cast<int64_t>(values.size()));
  return Written(name, format, frames, audio);
}

// A file held open as the render loop holds it.
struct OpenWav {
  wavsplice::FileHandle file;
  wavsplice::OpenAudio audio;
  explicit OpenWav(const std::string& path, const char* mode = "rb")
      : file(wavsplice::OpenFile(path, mode)),
        audio{fileno(file.get()), wavsplice::FindAudioStart(file.get())} {}
};

// A crossfade of each curve type between two 16-bit stereo files (and of type 1 between 24-bit
// stereo and 32-bit float 6-channel files) held open, including the temp file's header as the
// render loop writes it. Args: curve type, bytes per value, float (0 or 1), channels, milliseconds
// (100: the benchmark's joins, whose curve is kept from one to the next; 1000: worked out frame by
// frame).
void BM_Crossfade(benchmark::State& state) {
  const int xfType = static_cast<int>(state.range(0));
  const int bytesPerSample = static_cast<int>(state.range(1));
  const bool isFloat = state.range(2) == 1;
  const int channels = static_cast<int>(state.range(3));
  const int32_t rate = isFloat ? 48000 : 44100;
  const int32_t xfSamples = static_cast<int32_t>(rate * state.range(4) / 1000);
  wavsplice::PcmFormat format = wavsplice::IntegerFormat(bytesPerSample, channels, rate);
  if (isFloat) format.encoding = wavsplice::SampleEncoding::kFloat;
  const OpenWav dest(isFloat ? FloatWavFile("xf_dest.wav", channels, 3 * xfSamples)
                             : WavFile("xf_dest.wav", bytesPerSample, 3 * xfSamples));
  const OpenWav source(isFloat ? FloatWavFile("xf_source.wav", channels, 3 * xfSamples)
                               : WavFile("xf_source.wav", bytesPerSample, 3 * xfSamples));
  const std::string temp = (ScratchDir() / "xfade_temp.wav").string();
  const wavsplice::Descriptor scratch(::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644));
  int64_t clipped = 0;
  for (auto _ : state) {
    if (::ftruncate(scratch.get(), 0) != 0) state.SkipWithError("cannot empty the scratch file");
    wavsplice::WavWriter wav(scratch.get(), format, temp);
    wavsplice::MAKE_HEADER(wav, xfSamples);
    const wavsplice::CrossfadeOutcome result = wavsplice::CROSSFADE(
        xfSamples, xfSamples, xfSamples, xfType, dest.audio, source.audio, wav, -3.0, clipped);
    if (result != wavsplice::CrossfadeOutcome::kMade) state.SkipWithError("CROSSFADE failed");
  }
  state.SetItemsProcessed(state.iterations() * xfSamples * channels);
}
BENCHMARK(BM_Crossfade)
    ->ArgsProduct({{1, 2, 3, 4}, {2}, {0}, {2}, {100, 1000}})
    ->Args({1, 3, 0, 2, 100})
    ->Args({1, 4, 1, 6, 100})
    ->Args({1, 4, 1, 6, 1000});

// The splice copy of ten seconds of 16-bit stereo audio at 0 dB (a byte copy) and at -3 dB (through
// NewLevel), both files in the page cache.
void BM_InsertFile(benchmark::State& state) {
  const double levelDb = static_cast<double>(state.range(0));
  constexpr int32_t kFrames = 441000;
  const OpenWav source(WavFile("copy_source.wav", 2, kFrames));
  const OpenWav dest(WavFile("copy_dest.wav", 2, kFrames), "rb+");
  wavsplice::KernelCopy kernel;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wavsplice::INSERT_FILE(dest.audio, source.audio,
                                                    wavsplice::IntegerFormat(2, kChannels), 0, 0,
                                                    kFrames, levelDb, "copy_dest.wav", kernel));
  }
  state.SetItemsProcessed(state.iterations() * kFrames * kChannels);
  state.SetBytesProcessed(state.iterations() * kFrames * kChannels * 2);
}
BENCHMARK(BM_InsertFile)->Arg(0)->Arg(-3)->Unit(benchmark::kMillisecond);

// The chunk scan of a 200 KiB file holding no "data" tag: all 65536 candidates are examined before
// the scan gives up.
void BM_FindChunkWithoutData(benchmark::State& state) {
  const std::string path = (ScratchDir() / "no_data.wav").string();
  {
    std::vector<unsigned char> bytes(200 * 1024, 'x');
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  wavsplice::FileHandle file = wavsplice::OpenFile(path, "rb");
  for (auto _ : state) {
    const int64_t found = wavsplice::FIND_CHUNK(file.get(), "data");
    if (found != -1) state.SkipWithError("found a data tag");
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * 65536);  // candidates
}
BENCHMARK(BM_FindChunkWithoutData)->Unit(benchmark::kMicrosecond);

// What a run adds to put its destination in place: creating the temporary file beside the
// destination, taking the old file's rights and renaming it over the old file (a small one, so that
// freeing its blocks costs nothing).
void BM_StageAndCommit(benchmark::State& state) {
  const std::string dest = WavFile("replaced.wav", 2, 16);
  for (auto _ : state) {
    std::optional<wavsplice::StagedFile> staged = wavsplice::StagedFile::Create(dest, "replaced");
    if (!staged || !staged->Commit()) state.SkipWithError("could not replace the file");
  }
}
BENCHMARK(BM_StageAndCommit)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
