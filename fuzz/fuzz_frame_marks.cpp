// Frame marks on arbitrary bytes: a movie that is marked must come out as a whole
// movie again, its header's length the length of its (inflated) body plus 8, with the
// same signature and version; anything else leaves no copy.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "webexport/frame_marks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  vx::web::MovieFacts facts;
  std::string problem;
  const vx::web::MarkResult result = vx::web::AddFrameMarks(data, size, 3, out, facts, problem);
  if (result != vx::web::MarkResult::Marked) {
    if (!out.empty()) std::abort();
    return 0;
  }
  if (out.size() < 8 || out[0] != data[0] || out[1] != 'W' || out[2] != 'S' || out[3] != data[3])
    std::abort();
  const uint32_t length = vx::LoadLE32(out.data() + 4);
  if (out[0] == 'F') {
    if (length != out.size()) std::abort();
    return 0;
  }
  std::vector<uint8_t> body(static_cast<size_t>(length) - 8 + 1);
  uLongf n = static_cast<uLongf>(body.size());
  if (uncompress(body.data(), &n, out.data() + 8, static_cast<uLong>(out.size() - 8)) != Z_OK ||
      n != static_cast<uLongf>(length) - 8)
    std::abort();
  return 0;
}
