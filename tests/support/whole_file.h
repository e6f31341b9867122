// The one read-whole-file (and write-whole-file) helper of the tests, through the
// product's own file layer.
//
// ReadWholeFile<std::vector<uint8_t>>(path) or ReadWholeFile<std::string>(path) gives
// the content; a file that cannot be read throws std::runtime_error naming it, so a
// test fails with that message instead of comparing against an empty result.
// TryReadWholeFile reports the failure as false, for code that must go on (a test
// tool's own error message, a file that may legitimately be missing).
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/file.h"

namespace vx::test {

// Replaces `out` with the whole content of the file; false when it cannot be opened or
// a read fails. `Bytes` is std::vector<uint8_t> or std::string.
template <typename Bytes>
bool TryReadWholeFile(const std::string& path, Bytes& out) {
  out.clear();
  File f;
  if (!f.open(path, File::Mode::Read)) return false;
  char buf[65536];
  for (;;) {
    const long long n = f.read(buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) return true;
    out.insert(out.end(), buf, buf + n);
  }
}

template <typename Bytes = std::vector<uint8_t>>
Bytes ReadWholeFile(const std::string& path) {
  Bytes out;
  if (!TryReadWholeFile(path, out)) throw std::runtime_error("cannot read " + path);
  return out;
}

// Creates (or truncates) the file and writes `bytes`; throws std::runtime_error naming
// the file when that fails.
template <typename Bytes>
void WriteWholeFile(const std::string& path, const Bytes& bytes) {
  File f;
  if (!f.open(path, File::Mode::CreateWrite) || !f.write(bytes.data(), bytes.size()) || !f.close())
    throw std::runtime_error("cannot write " + path);
}

}  // namespace vx::test
