// Markers and broadcast metadata, read back by readers nobody here wrote: FFmpeg's chapters and
// libsndfile's bext (its cue points are read by tests/sndfile_cue_test.cc), and the destination's
// own chunks.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/cli_runner.h"
#include "tests/temp_dir.h"
#include "tests/three_takes.h"
#include "tests/wav_fixture.h"

namespace wavsplice::testing {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool HasTool(const std::string& tool) {
  return std::system(("command -v " + tool + " > /dev/null 2>&1").c_str()) == 0;
}

std::string Output(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) {
    out.append(buffer.data(), got);
  }
  return out;
}

uint32_t Le32At(const Bytes& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

// The tags of a RIFF file's chunk list, up to and with "data".
std::vector<std::string> ChunkTags(const Bytes& wav, size_t& dataAt) {
  std::vector<std::string> tags;
  for (size_t at = 12; at + 8 <= wav.size();) {
    tags.emplace_back(wav.begin() + static_cast<long>(at), wav.begin() + static_cast<long>(at) + 4);
    if (tags.back() == "data") {
      dataAt = at + 8;
      break;
    }
    const uint32_t size = Le32At(wav, at + 4);
    at += 8 + size + (size & 1);
  }
  return tags;
}

TEST(CliMarkers, ThreeTakesReadBackByOtherReaders) {
  TempDir dir;
  WriteThreeTakes(dir.path());
  const CliResult run = RunCli(dir.path(), {});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  TempDir plainDir;
  WriteThreeTakes(plainDir.path(), true);
  ASSERT_EQ(RunCli(plainDir.path(), {}).exitCode, 0);

  // The audio is the plain render's; the header carries the metadata before it, in the order
  // readers need.
  const Bytes out = ReadFile(dir / "out.wav");
  const Bytes plain = ReadFile(plainDir / "out.wav");
  size_t dataAt = 0;
  EXPECT_EQ(ChunkTags(out, dataAt),
            (std::vector<std::string>{"fmt ", "bext", "iXML", "cue ", "LIST", "data"}));
  ASSERT_GT(dataAt, 44u);
  EXPECT_EQ(Bytes(out.begin() + static_cast<long>(dataAt), out.end()), AudioOf(plain));
  EXPECT_EQ(Le32At(out, 4), out.size() - 8);

  const std::vector<ExpectedMarker> expected = ThreeTakeMarkers();
  if (HasTool("ffprobe")) {
    std::string chapters;
    for (const ExpectedMarker& marker : expected) {
      chapters += std::to_string(marker.frame) + "," + marker.label + "\n";
    }
    EXPECT_EQ(Output("ffprobe -v error -show_entries chapter=start:chapter_tags=title -of "
                     "csv=p=0 '" +
                     (dir / "out.wav") + "'"),
              chapters);
  } else {
    std::printf("[ readers  ] ffprobe missing: chapters not read back\n");
  }
  if (HasTool("sndfile-info")) {
    const std::string bext = Output("sndfile-info --broadcast '" + (dir / "out.wav") + "'");
    char timeReference[64];
    std::snprintf(timeReference, sizeof timeReference, "0x%09llx",
                  static_cast<unsigned long long>(kTakeOneTimeReference + kTakeOneReadStart));
    EXPECT_TRUE(Contains(bext, "Time ref                 : " + std::string(timeReference))) << bext;
    EXPECT_TRUE(Contains(bext, "Description              : take one\n")) << bext;
    EXPECT_TRUE(Contains(bext, "Originator               : wavsplice\n")) << bext;
    EXPECT_TRUE(Contains(bext, "BWF version              : 2\n")) << bext;
    EXPECT_TRUE(Contains(bext,
                         "Coding history           : A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n"
                         "A=PCM,F=48000,W=24,M=stereo,T=wavsplice " WAVSPLICE_VERSION))
        << bext;
  } else {
    std::printf("[ readers  ] sndfile-info missing: bext not read back\n");
  }
}

TEST(CliMarkers, CheckListsTheMarkersAndTheMetadataSource) {
  TempDir dir;
  WriteThreeTakes(dir.path());
  const CliResult check = RunCli(dir.path(), {"--check", "--json", "plan.json"});
  ASSERT_EQ(check.exitCode, 0) << check.out;
  EXPECT_TRUE(Contains(check.out,
                       "Markers 10\n"
                       "\t0.000 sec\ttake1.wav 0:00.100\n"
                       "\t0.000 sec\tFirst take\n"
                       "\t0.150 sec\tt1 quarter\n"
                       "\t0.733 sec\tt1 late (region 0.067 sec)\n"
                       "\t0.800 sec\ttake2.wav 0:00.400\n"
                       "\t0.800 sec\tt2 at 0.4\n"
                       "\t1.025 sec\tt2 mid\n"
                       "\t1.200 sec\ttake3.wav 0:00.050\n"
                       "\t1.254 sec\tt3 early\n"
                       "\t2.129 sec\tt3 end\n"
                       "Metadata from take1.wav (task 1): bext, iXML\n"
                       "\n"
                       "Would build\tout.wav\n"))
      << check.out;
  EXPECT_FALSE(FileExists(dir / "out.wav"));
  const std::string json(reinterpret_cast<const char*>(ReadFile(dir / "plan.json").data()),
                         ReadFile(dir / "plan.json").size());
  EXPECT_TRUE(Contains(json, "\"frame\": 35200,")) << json;
  EXPECT_TRUE(Contains(json, "\"region_frames\": 3200")) << json;
  EXPECT_TRUE(Contains(json,
                       "\"metadata\": {\n    \"task\": 1,\n    \"source\": \"take1.wav\",\n"
                       "    \"chunks\": [\n      \"bext\",\n      \"iXML\"\n    ]\n  }"))
      << json;
}

// Lines that drop a marker or that do not do what they seem to.
TEST(CliMarkers, DroppedMarkersAndMisplacedLines) {
  const Bytes audio = EncodeSamples(std::vector<int32_t>(8000, 100), 16);
  const Bytes marked = WavBuilder()
                           .Fmt({1, 8000, 16})
                           .Data(audio)
                           .Chunk("cue ", CuePayload({{4000, "mid", 0}}))
                           .Chunk("LIST", AdtlPayload({{4000, "mid", 0}}))
                           .Build();
  const struct {
    const char* label;
    std::string task;
    int exitCode;
    std::string output;  // part of the --check output
  } cases[] = {
      {"a marker overwritten by a later edit",
       "markers\nsrc\ta.wav\nsrc\ta.wav\nins\t0.4\nxout\t0.2\ndest\tout.wav\n", 0,
       "task.txt:2: note: the marker 'mid' of task 1 at 0.500 s is dropped: task 2 overwrites its "
       "frame\n"},
      {"markers after the first src", "src\ta.wav\nmarkers\ndest\tout.wav\n", 0,
       "task.txt:2: warning: 'markers' counts only before the first src: this one is ignored; "
       "move it to the top of the task file\n"},
      {"a mark before any src", "mark\tx\nsrc\ta.wav\ndest\tout.wav\n", 1,
       "Command mark comes before any src command\n"},
      {"keep_metadata of a source without any", "keep_metadata\nsrc\ta.wav\ndest\tout.wav\n", 0,
       "task.txt:1: note: no metadata is carried: a.wav, heard at the destination's first frame, "
       "has no bext, iXML or LIST/INFO\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    WriteFile(dir / "a.wav", marked);
    WriteTextFile(dir / "task.txt", c.task);
    const CliResult check = RunCli(dir.path(), {"--check"});
    EXPECT_EQ(check.exitCode, c.exitCode);
    EXPECT_TRUE(Contains(check.out, c.output)) << check.out;
  }
}

}  // namespace
}  // namespace wavsplice::testing
