// The SWF header reader on arbitrary files: both forms of ReadSwfDimension over the
// fuzzer's bytes, written to a scratch file since the reader takes a path. The results
// must be the same in both forms, and the colour, when written, 24 bits wide.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/file.h"
#include "common/swf_header.h"

namespace {

void IgnoreMessage(const char*) {}

const std::string& ScratchPath() {
  static const std::string path = vx::JoinPath(
      vx::TempFolder(), "vx_fuzz_swf_" + std::to_string(static_cast<long long>(getpid())) + ".swf");
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vx::SetSwfMessageHandler(&IgnoreMessage);
  {
    vx::File f;
    if (!f.open(ScratchPath(), vx::File::Mode::CreateWrite)) return 0;
    if (size > 0 && !f.write(data, size)) return 0;
    f.close();
  }
  const vx::SwfDimension plain = vx::ReadSwfDimension(ScratchPath());
  uint32_t colour = vx::kNoColour;
  const vx::SwfDimension withColour = vx::ReadSwfDimension(ScratchPath(), colour);
  if (plain.width != withColour.width || plain.height != withColour.height) std::abort();
  if (colour != vx::kNoColour && colour > 0xFFFFFFu) std::abort();

  // The bit reader on the raw bytes: every read stays inside the buffer.
  if (size > 0) {
    vx::BitReader reader(data, static_cast<int64_t>(size) * 8);
    size_t i = 0;
    while (i < size && i < 64) {
      const int n = data[i] % 40;
      reader.ReadBits(n);
      if (data[i] & 1) reader.SeekBits(static_cast<int8_t>(data[i]));
      (void)vx::ReadSignedBits(reader, n);
      ++i;
    }
  }
  return 0;
}
