// Files opened for the render's tests as a run holds them: descriptors, with each file's audio
// located once by the chunk scan, and new files written through a WavWriter.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "common/file_io.h"
#include "render/open_audio.h"
#include "wav/attributes.h"
#include "wav/chunk_scan.h"
#include "wav/wav_writer.h"

namespace wavsplice::testing {

// An existing WAV file open for reading and writing; audio.fd is -1 when it cannot be opened.
struct OpenWav {
  Descriptor fd;
  OpenAudio audio;
};

inline OpenWav OpenWavFile(const std::string& path) {
  OpenWav wav{Descriptor(::open(path.c_str(), O_RDWR | O_CLOEXEC)), OpenAudio{}};
  FileHandle file = OpenFile(path, "rb");
  if (!wav.fd || !file) return wav;
  const int64_t start = FindAudioStart(file.get());
  wav.audio = OpenAudio{wav.fd.get(), start, AudioEnd(file.get(), start)};
  return wav;
}

// A new file at path (replacing any), holding the header of frames frames of format, with its
// writer.
struct NewWav {
  Descriptor fd;
  WavWriter wav;
};

inline NewWav CreateWav(const std::string& path, const PcmFormat& format, int64_t frames) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  NewWav created{Descriptor(fd), WavWriter(fd, format, path)};
  MAKE_HEADER(created.wav, frames);
  return created;
}

}  // namespace wavsplice::testing
