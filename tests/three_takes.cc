#include "tests/three_takes.h"

#include "tests/wav_fixture.h"

namespace wavsplice::testing {

namespace {

Bytes Take(const std::vector<FixtureMarker>& markers, const Bytes& bext, const std::string& ixml) {
  std::vector<int32_t> values;
  for (int32_t frame = 0; frame < 48000; ++frame) {
    const int32_t value = (frame * 37) % 20000 - 10000;
    values.push_back(value);
    values.push_back(-value);
  }
  WavBuilder builder;
  builder.Fmt({2, 48000, 24});
  if (!bext.empty()) builder.Chunk("bext", bext);
  if (!ixml.empty()) builder.Chunk("iXML", Bytes(ixml.begin(), ixml.end()));
  // The markers after the audio, where most recorders put them.
  return builder.Data(EncodeSamples(values, 24))
      .Chunk("cue ", CuePayload(markers))
      .Chunk("LIST", AdtlPayload(markers))
      .Build();
}

}  // namespace

void WriteThreeTakes(const std::string& folder, bool plain) {
  WriteFile(folder + "/take1.wav", Take({{12000, "t1 quarter", 0}, {40000, "t1 late", 20000}},
                                        BextPayload("take one", kTakeOneTimeReference,
                                                    "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n"),
                                        "<BWFXML><SCENE>1</SCENE></BWFXML>"));
  WriteFile(folder + "/take2.wav", Take({{19200, "t2 at 0.4", 0}, {30000, "t2 mid", 0}},
                                        BextPayload("take two", 2000000, ""), ""));
  WriteFile(folder + "/take3.wav", Take({{5000, "t3 early", 0}, {47000, "t3 end", 0}}, {}, ""));
  WriteTextFile(folder + "/task.txt", std::string(plain ? "" : "markers\nkeep_metadata\n") +
                                          "src\ttake1.wav\nxin\t0.1\nxout\t0.9\n" +
                                          (plain ? "" : "mark\tFirst take\n") +
                                          "src\ttake2.wav\nxin\t0.4\nxout\t0.8\n"
                                          "src\ttake3.wav\nxin\t0.05\n"
                                          "dest\tout.wav\n");
}

std::vector<ExpectedMarker> ThreeTakeMarkers() {
  return {{0, "take1.wav 0:00.100"},
          {0, "First take"},
          {7200, "t1 quarter"},
          {35200, "t1 late"},
          {38400, "take2.wav 0:00.400"},
          {38400, "t2 at 0.4"},
          {49200, "t2 mid"},
          {57600, "take3.wav 0:00.050"},
          {60200, "t3 early"},
          {102200, "t3 end"}};
}

}  // namespace wavsplice::testing
