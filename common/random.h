// Unpredictable bytes from the operating system's cryptographic generator.
#pragma once
#include <cstddef>

namespace vx {

// Fills `buf` with `len` random bytes. Returns false only when the system generator
// cannot be reached (never expected on a working system).
bool SystemRandomBytes(void* buf, size_t len);

}  // namespace vx
