#include "tests/wav_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace wavsplice::testing {

namespace {

void PutLe(Bytes& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<unsigned char>((value >> (8 * i)) & 0xff));
}

void PutTag(Bytes& out, const std::string& tag) {
  for (size_t i = 0; i < 4; ++i)
    out.push_back(i < tag.size() ? static_cast<unsigned char>(tag[i]) : ' ');
}

Bytes FmtPayload(const WavFormat& format, int audioFormat) {
  Bytes payload;
  const uint32_t blockAlign = static_cast<uint32_t>(format.channels * format.bits / 8);
  PutLe(payload, static_cast<uint32_t>(audioFormat), 2);
  PutLe(payload, static_cast<uint32_t>(format.channels), 2);
  PutLe(payload, format.sampleRate, 4);
  PutLe(payload, format.sampleRate * blockAlign, 4);
  PutLe(payload, blockAlign, 2);
  PutLe(payload, static_cast<uint32_t>(format.bits), 2);
  return payload;
}

}  // namespace

Bytes EncodeSamples(const std::vector<int32_t>& values, int bits) {
  Bytes out;
  for (int32_t value : values) PutLe(out, static_cast<uint32_t>(value), bits / 8);
  return out;
}

Bytes EncodeFloatSamples(const std::vector<double>& values, int bits) {
  Bytes out;
  for (double value : values) {
    if (bits == 32) {
      const float single = static_cast<float>(value);
      uint32_t pattern = 0;
      std::memcpy(&pattern, &single, 4);
      PutLe(out, pattern, 4);
    } else {
      uint64_t pattern = 0;
      std::memcpy(&pattern, &value, 8);
      PutLe(out, static_cast<uint32_t>(pattern), 4);
      PutLe(out, static_cast<uint32_t>(pattern >> 32), 4);
    }
  }
  return out;
}

std::vector<int32_t> DecodeSamples(const Bytes& bytes, int bits) {
  const size_t width = static_cast<size_t>(bits / 8);
  std::vector<int32_t> values;
  for (size_t at = 0; at + width <= bytes.size(); at += width) {
    uint32_t pattern = 0;
    for (size_t i = 0; i < width; ++i) pattern |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    const uint32_t signBit = 1u << (bits - 1);
    int64_t value = pattern;
    if (pattern & signBit) value -= static_cast<int64_t>(1) << bits;
    values.push_back(static_cast<int32_t>(value));
  }
  return values;
}

Bytes CanonicalWav(const WavFormat& format, const std::vector<int32_t>& values) {
  return WavBuilder().Fmt(format).Data(EncodeSamples(values, format.bits)).Build();
}

WavBuilder& WavBuilder::RiffId(const std::string& id) {
  riffId_ = id;
  return *this;
}

WavBuilder& WavBuilder::RiffSize(uint32_t size) {
  riffSizeSet_ = true;
  riffSize_ = size;
  return *this;
}

WavBuilder& WavBuilder::Fmt(const WavFormat& format) {
  return Chunk("fmt ", FmtPayload(format, format.audioFormat));
}

WavBuilder& WavBuilder::FmtExtensible(const WavFormat& format, uint16_t subFormat) {
  return FmtExtensible(format, subFormat, format.bits, format.channels == 2 ? 3 : 4);
}

WavBuilder& WavBuilder::FmtExtensible(const WavFormat& format, uint16_t subFormat, int validBits,
                                      uint32_t channelMask) {
  Bytes payload = FmtPayload(format, 0xFFFE);
  PutLe(payload, 22, 2);  // extension size
  PutLe(payload, static_cast<uint32_t>(validBits), 2);
  PutLe(payload, channelMask, 4);
  PutLe(payload, subFormat, 2);
  const unsigned char guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  payload.insert(payload.end(), std::begin(guidTail), std::end(guidTail));
  return Chunk("fmt ", payload);
}

WavBuilder& WavBuilder::Chunk(const std::string& tag, const Bytes& payload, bool pad) {
  PutTag(body_, tag);
  PutLe(body_, static_cast<uint32_t>(payload.size()), 4);
  body_.insert(body_.end(), payload.begin(), payload.end());
  if (pad && payload.size() % 2 == 1) body_.push_back(0);
  return *this;
}

WavBuilder& WavBuilder::ChunkWithSize(const std::string& tag, uint32_t declaredSize,
                                      const Bytes& payload) {
  PutTag(body_, tag);
  PutLe(body_, declaredSize, 4);
  body_.insert(body_.end(), payload.begin(), payload.end());
  return *this;
}

WavBuilder& WavBuilder::Data(const Bytes& audio) { return Chunk("data", audio, false); }

WavBuilder& WavBuilder::DataWithSize(uint32_t declaredSize, const Bytes& audio) {
  return ChunkWithSize("data", declaredSize, audio);
}

WavBuilder& WavBuilder::Raw(const Bytes& bytes) {
  body_.insert(body_.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes WavBuilder::Build() const {
  Bytes out;
  PutTag(out, riffId_);
  PutLe(out, riffSizeSet_ ? riffSize_ : static_cast<uint32_t>(body_.size() + 4), 4);
  PutTag(out, "WAVE");
  out.insert(out.end(), body_.begin(), body_.end());
  return out;
}

namespace {

void AppendLe(Bytes& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void AppendText(Bytes& out, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) {
    out.push_back(i < text.size() ? static_cast<unsigned char>(text[i]) : 0);
  }
}

}  // namespace

Bytes CuePayload(const std::vector<FixtureMarker>& markers) {
  Bytes out;
  AppendLe(out, markers.size(), 4);
  for (size_t i = 0; i < markers.size(); ++i) {
    AppendLe(out, i + 1, 4);
    AppendLe(out, markers[i].frame, 4);
    AppendText(out, "data", 4);
    AppendLe(out, 0, 8);
    AppendLe(out, markers[i].frame, 4);
  }
  return out;
}

Bytes AdtlPayload(const std::vector<FixtureMarker>& markers) {
  Bytes out;
  AppendText(out, "adtl", 4);
  for (size_t i = 0; i < markers.size(); ++i) {
    AppendText(out, "labl", 4);
    AppendLe(out, 4 + markers[i].label.size() + 1, 4);
    AppendLe(out, i + 1, 4);
    AppendText(out, markers[i].label, markers[i].label.size() + 1);
    if (out.size() % 2 != 0) out.push_back(0);
  }
  for (size_t i = 0; i < markers.size(); ++i) {
    if (markers[i].regionLength == 0) continue;
    AppendText(out, "ltxt", 4);
    AppendLe(out, 20, 4);
    AppendLe(out, i + 1, 4);
    AppendLe(out, markers[i].regionLength, 4);
    AppendText(out, "rgn ", 4);
    AppendLe(out, 0, 8);
  }
  return out;
}

Bytes BextPayload(const std::string& description, uint64_t timeReference,
                  const std::string& codingHistory) {
  Bytes out;
  AppendText(out, description, 256);
  AppendText(out, "fixture", 32);
  AppendText(out, "", 32);
  AppendText(out, "2020-01-02", 10);
  AppendText(out, "03:04:05", 8);
  AppendLe(out, timeReference, 8);
  AppendLe(out, 1, 2);
  out.resize(602, 0);
  AppendText(out, codingHistory, codingHistory.size());
  return out;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteTextFile(const std::string& path, const std::string& text) {
  WriteFile(path, Bytes(text.begin(), text.end()));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteSparseFile(const std::string& path, int64_t size, const std::vector<Piece>& pieces) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  for (const Piece& piece : pieces) {
    ok = ok && ::pwrite(fd, piece.bytes.data(), piece.bytes.size(), static_cast<off_t>(piece.at)) ==
                   static_cast<ssize_t>(piece.bytes.size());
  }
  ok = ::close(fd) == 0 && ok;
  if (!ok) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFileAt(const std::string& path, int64_t at, size_t count) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot read " + path);
  Bytes bytes(count);
  const ssize_t got = ::pread(fd, bytes.data(), count, static_cast<off_t>(at));
  ::close(fd);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

Bytes PatternBytes(size_t size, unsigned seed) {
  Bytes bytes(size);
  uint32_t state = seed * 2654435761u + 1;
  for (unsigned char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<unsigned char>(state >> 16);
  }
  return bytes;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

Bytes AudioOf(const Bytes& wav) {
  return wav.size() <= 44 ? Bytes() : Bytes(wav.begin() + 44, wav.end());
}

}  // namespace wavsplice::testing
