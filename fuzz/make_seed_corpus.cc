// Writes the fuzzers' seed corpus: well-formed and odd WAV files, typical task files, and whole
// runs made of both, one file per seed in OUT_DIR/task_reader, OUT_DIR/wav_attributes and
// OUT_DIR/whole_run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/seed_layout.h"

namespace {

using Bytes = std::string;

void PutLe(Bytes& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

struct Format {
  uint32_t channels = 1;
  uint32_t sampleRate = 8000;
  uint32_t bits = 16;
  uint32_t audioFormat = 1;
};

Bytes Chunk(const std::string& tag, const Bytes& payload, uint32_t declaredSize, bool pad) {
  Bytes out = tag;
  PutLe(out, declaredSize, 4);
  out += payload;
  if (pad && payload.size() % 2 == 1) out.push_back('\0');
  return out;
}

Bytes Chunk(const std::string& tag, const Bytes& payload, bool pad = true) {
  return Chunk(tag, payload, static_cast<uint32_t>(payload.size()), pad);
}

Bytes FmtPayload(const Format& format, bool extensible, uint16_t subFormat) {
  Bytes payload;
  const uint32_t blockAlign = format.channels * format.bits / 8;
  PutLe(payload, extensible ? 0xFFFE : format.audioFormat, 2);
  PutLe(payload, format.channels, 2);
  PutLe(payload, format.sampleRate, 4);
  PutLe(payload, format.sampleRate * blockAlign, 4);
  PutLe(payload, blockAlign, 2);
  PutLe(payload, format.bits, 2);
  if (extensible) {
    PutLe(payload, 22, 2);           // extension size
    PutLe(payload, format.bits, 2);  // valid bits
    PutLe(payload, 0, 4);            // channel mask
    PutLe(payload, subFormat, 2);
    payload += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 14);
  }
  return payload;
}

Bytes Riff(const Bytes& body) {
  Bytes out = "RIFF";
  PutLe(out, static_cast<uint32_t>(body.size() + 4), 4);
  return out + "WAVE" + body;
}

// frames frames of a ramp, so that levels and crossfades have audio to work on.
Bytes Audio(const Format& format, int frames) {
  Bytes audio;
  for (int i = 0; i < frames; ++i) {
    for (uint32_t c = 0; c < format.channels; ++c) {
      PutLe(audio, static_cast<uint32_t>((i * 997 + static_cast<int>(c) * 311) << 4),
            static_cast<int>(format.bits / 8));
    }
  }
  return audio;
}

Bytes CanonicalWav(const Format& format, int frames) {
  return Riff(Chunk("fmt ", FmtPayload(format, false, 0)) + Chunk("data", Audio(format, frames)));
}

std::vector<Bytes> WavSeeds() {
  std::vector<Bytes> seeds;
  for (uint32_t bits : {16u, 24u}) {
    for (uint32_t channels : {1u, 2u}) {
      Format format;
      format.bits = bits;
      format.channels = channels;
      seeds.push_back(CanonicalWav(format, 64));
    }
  }
  const Format mono;
  const Bytes fmt = Chunk("fmt ", FmtPayload(mono, false, 0));
  const Bytes audio = Audio(mono, 48);
  seeds.push_back(Riff(Chunk("fmt ", FmtPayload(mono, true, 1)) + Chunk("data", audio)));
  seeds.push_back(Riff(Chunk("fmt ", FmtPayload(mono, true, 3)) + Chunk("data", audio)));
  seeds.push_back(Riff(fmt + Chunk("LIST", "INFOISFT\x05\0\0\0abcd\0", true) +
                       Chunk("data", audio) + Chunk("id3 ", "ID3\x04", true)));
  seeds.push_back(Riff(fmt + Chunk("odd ", "xyz", true) + Chunk("data", audio)));
  seeds.push_back(Riff(fmt + Chunk("odd ", "xyz", false) + Chunk("data", audio)));
  seeds.push_back(Riff(fmt + Chunk("data", audio, 0, false)));
  seeds.push_back(Riff(fmt + Chunk("data", audio, 0xFFFFFFFF, false)));
  seeds.push_back(Riff(fmt + "data"));
  seeds.push_back(Riff(Chunk("data", audio)));
  // Markers, good and hostile: a cue table with its labels before the audio (a cue point's "data"
  // at an even position), a count larger than the chunk, a label naming no cue point, a text
  // without its zero, a bext shorter than its fields.
  const auto cuePoint = [](uint32_t id, uint32_t frame) {
    Bytes point;
    PutLe(point, id, 4);
    PutLe(point, frame, 4);
    point += "data";
    PutLe(point, 0, 4);
    PutLe(point, 0, 4);
    PutLe(point, frame, 4);
    return point;
  };
  const auto label = [](uint32_t id, const Bytes& text) {
    Bytes body;
    PutLe(body, id, 4);
    return Chunk("labl", body + text);
  };
  Bytes cue;
  PutLe(cue, 2, 4);
  cue += cuePoint(1, 4) + cuePoint(2, 40);
  const Bytes names = label(1, Bytes("one\0", 4)) + label(2, Bytes("data\0", 5));
  seeds.push_back(
      Riff(fmt + Chunk("cue ", cue) + Chunk("LIST", "adtl" + names) + Chunk("data", audio)));
  Bytes tooMany;
  PutLe(tooMany, 1000, 4);
  tooMany += cuePoint(1, 4);
  seeds.push_back(
      Riff(fmt + Chunk("data", audio) + Chunk("cue ", tooMany) + Chunk("LIST", "adtl" + names)));
  seeds.push_back(Riff(fmt + Chunk("data", audio) + Chunk("cue ", cue) +
                       Chunk("LIST", "adtl" + label(9, Bytes("nine\0", 5)))));
  seeds.push_back(Riff(fmt + Chunk("data", audio) + Chunk("cue ", cue) +
                       Chunk("LIST", "adtl" + label(1, "unended"))));
  seeds.push_back(Riff(fmt + Chunk("bext", Bytes(100, 'd')) + Chunk("iXML", "<BWFXML/>") +
                       Chunk("data", audio)));
  Format eightBit;
  eightBit.bits = 8;
  seeds.push_back(CanonicalWav(eightBit, 32));
  Format floating;
  floating.bits = 32;
  floating.audioFormat = 3;
  seeds.push_back(CanonicalWav(floating, 16));
  return seeds;
}

std::vector<std::string> TaskSeeds() {
  return {
      "src\ta.wav\nxout\t0.004\nsrc\tb.wav\nxin\t0.001\nxout\t0.005\nins\t0.002\nlvl\t-3\n"
      "xf\t1\t1\ndest\tout.wav\n",
      "using_samples\nsrc\ta.wav\nxin\t10\nxout\t40\nsrc\tb.wav\nxin\t20\ntrim\t-4\nlvl\t6\n"
      "xf\t2\t2\nsrc\ta.wav\nins\tapp\nxf\t3\t3\ndest\tout.wav\n",
      "using_samples\nsrc\ta.wav\nins\t30\nxf\t4\t4\nsrc\ta.wav\nins\t5\nxin\t16\nlvl\t-40\n"
      "dest\tout.wav\n",
      "src\ta.wav\nlvl\t30\nxf\t-1\t9\ndest\tout.wav\n",
      "src\ta.wav\nxin\tnan\nxout\tinf\nins\t-1\ndest\tout.wav\n",
      "src\ta.wav\ndest\ta.wav\n",
      "src\ta.wav\nxf\t10\t1\ndest\txfade_temp.wav\n",
      "xin\t1\nsrc\ta.wav\n",
      "src\ta.wav\ndest\tout.wav\nxf\t5",
      // Report files (the fuzzer writes r.json and r.svg) named by a task the reader gives up on,
      // and by one it reads whole.
      "src\ta.wav\nsrc\tx\ndest\tr.json\n",
      "src\tr.svg\ndest\tout.wav\n",
  };
}

// Plans at the edge of the numbers: destinations past 10^15 frames and near 2^63 (8-bit mono allows
// 2^63 - 131081), a stop and a trim that add up to 2^63, values JSON has no number for, and names
// and words with characters XML forbids (U+FFFE, U+FFFF).
std::vector<std::string> EdgeTaskSeeds() {
  return {
      "using_samples\nsrc\ta.wav\nins\t2000000000000000\ndest\tout.wav\n",
      "using_samples\nsrc\ta.wav\nins\t9223372036854643712\ndest\tout.wav\n",
      "src\ta.wav\nins\t1125899906842\ndest\tout.wav\n",
      "using_samples\nsrc\ta.wav\nxout\t9223372036854773760\ntrim\t1600\ndest\tout.wav\n",
      "src\ta.wav\nxout\t0.002\nlvl\t-inf\nsrc\ta.wav\nxin\t0.002\nxf\tinf\t1\ndest\tout.wav\n",
      "src\ta.wav\nxout\t1e400\ndest\tout.wav\n",
      "src\ta.wav\n\xEF\xBF\xBE\t1\nlvl\t-3\ndest\tout\xEF\xBF\xBF.wav\n",
  };
}

void WriteSeed(const std::filesystem::path& dir, int number, const Bytes& bytes) {
  std::filesystem::create_directories(dir);
  const std::string path = (dir / ("seed-" + std::to_string(number))).string();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seed_corpus OUT_DIR\n");
    return 1;
  }
  const std::filesystem::path out = argv[1];
  const std::vector<Bytes> wavs = WavSeeds();
  const std::vector<std::string> tasks = TaskSeeds();
  int n = 0;
  for (const Bytes& wav : wavs) WriteSeed(out / "wav_attributes", n++, wav);
  n = 0;
  for (const std::string& task : tasks) WriteSeed(out / "task_reader", n++, task);

  // Whole runs: every task with a pair of sources of one format, and one task with each odd source.
  const std::string separator = wavsplice::fuzz::kPartSeparator;
  n = 0;
  for (size_t t = 0; t < tasks.size(); ++t) {
    const Bytes& a = wavs[t % 4];
    WriteSeed(out / "whole_run", n++, tasks[t] + separator + a + separator + a);
  }
  for (size_t w = 4; w < wavs.size(); ++w) {
    WriteSeed(out / "whole_run", n++, tasks[1] + separator + wavs[0] + separator + wavs[w]);
  }

  // The edge tasks: alone, and run on 16-bit and on 8-bit mono sources.
  Format eightBit;
  eightBit.bits = 8;
  const Bytes eightBitWav = CanonicalWav(eightBit, 32);
  int edge = static_cast<int>(tasks.size());
  for (const std::string& task : EdgeTaskSeeds()) {
    WriteSeed(out / "task_reader", edge++, task);
    WriteSeed(out / "whole_run", n++, task + separator + wavs[0] + separator + wavs[0]);
    WriteSeed(out / "whole_run", n++, task + separator + eightBitWav + separator + eightBitWav);
  }
  // Crossfades past the end of the audio: the last edit shorter than half its crossfade (the
  // destination must still end where its header says), and a span ending within half a crossfade of
  // a source's audio, which a LIST chunk follows (read as silence, never as audio).
  WriteSeed(out / "whole_run", n++,
            std::string("using_samples\nsrc\ta.wav\nsrc\ta.wav\nxin\t20\nxout\t22\nins\t64\n"
                        "xf\t2\t1\ndest\tout.wav\n") +
                separator + wavs[0]);
  const Format mono;
  const Bytes sting =
      Riff(Chunk("fmt ", FmtPayload(mono, false, 0)) + Chunk("data", Audio(mono, 48)) +
           Chunk("LIST", std::string("INFOISFT\x05\0\0\0abcd", 16)));
  WriteSeed(out / "whole_run", n++,
            std::string("using_samples\nsrc\ta.wav\nsrc\tb.wav\nxin\t44\nins\t20\nxf\t2\t2\n"
                        "dest\tout.wav\n") +
                separator + wavs[0] + separator + sting);
  return 0;
}
