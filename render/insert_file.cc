#include "render/insert_file.h"

#include <cstdio>

#include "common/failure.h"
#include "common/file_io.h"
#include "render/span_copy.h"
#include "wav/chunk_scan.h"

namespace wavsplice {

namespace {

FileHandle OpenOrFail(const NamedPath& file, const char* mode) {
  FileHandle opened = OpenFile(file.path, mode);
  if (!opened) Fail(kExitFile, "Cannot open file %s\n", file.name.c_str());
  return opened;
}

}  // namespace

int64_t INSERT_FILE(const NamedPath& destPath, const NamedPath& sourcePath, int64_t insertPoint,
                    const PcmFormat& format, int64_t readLength, int64_t readStart,
                    double levelDb) {
  FileHandle dest = OpenOrFail(destPath, "rb+");
  FileHandle source = OpenOrFail(sourcePath, "rb");
  const OpenAudio destAudio{fileno(dest.get()), DataOffsetOrFail(dest.get(), destPath.name)};
  const OpenAudio sourceAudio{fileno(source.get()),
                              DataOffsetOrFail(source.get(), sourcePath.name)};
  KernelCopy kernel;
  const int64_t clipped = CopySpan(destAudio, sourceAudio, format, insertPoint, readStart,
                                   readLength, levelDb, destPath.name, kernel);
  if (!CloseWritten(dest)) Fail(kExitFile, "Cannot write to file %s\n", destPath.name.c_str());
  return clipped;
}

}  // namespace wavsplice
