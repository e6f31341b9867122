// Unpredictable bytes from the operating system's cryptographic generator.
#pragma once
#include <cstddef>
#include <string>

namespace vx {

// Fills `buf` with `len` random bytes. Returns false only when the system generator
// cannot be reached (never expected on a working system).
bool SystemRandomBytes(void* buf, size_t len);

// `bytes` random bytes as lower-case hex digits: a name part that no other run picks.
std::string RandomHex(size_t bytes);

}  // namespace vx
