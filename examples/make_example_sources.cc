// Writes the source recordings of the bundled example into a folder: two
// "takes" of a few seconds, 16-bit stereo at 44.1 kHz, made of tones so
// that the splices, levels and crossfades can be heard.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr double kPi = 3.14159265358979323846;

void PutLe(std::vector<unsigned char>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>((value >> (8 * i)) & 0xff));
}

bool WriteTake(const std::string& path, double seconds, double leftHz, double rightHz) {
  const uint32_t frames = static_cast<uint32_t>(seconds * kRate);
  const uint32_t dataSize = frames * kChannels * 2;
  std::vector<unsigned char> bytes;
  bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
  PutLe(bytes, dataSize + 36, 4);
  bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(bytes, 16, 4);
  PutLe(bytes, 1, 2);
  PutLe(bytes, kChannels, 2);
  PutLe(bytes, kRate, 4);
  PutLe(bytes, kRate * kChannels * 2, 4);
  PutLe(bytes, kChannels * 2, 2);
  PutLe(bytes, 16, 2);
  bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
  PutLe(bytes, dataSize, 4);
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double left = 0.4 * std::sin(2 * kPi * leftHz * t);
    const double right = 0.4 * std::sin(2 * kPi * rightHz * t);
    PutLe(bytes, static_cast<uint32_t>(static_cast<int32_t>(left * 32767)) & 0xffff, 2);
    PutLe(bytes, static_cast<uint32_t>(static_cast<int32_t>(right * 32767)) & 0xffff, 2);
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? std::string(argv[1]) + "/" : std::string();
  if (!WriteTake(folder + "take1.wav", 4.0, 440.0, 554.37) ||
      !WriteTake(folder + "take2.wav", 4.0, 659.25, 830.61)) {
    std::puts("Cannot write the example sources");
    return 1;
  }
  return 0;
}
