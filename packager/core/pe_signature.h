// Code signatures of a Windows executable. An Authenticode signature sits in the
// certificate table, which data directory entry 4 locates by file offset (every other
// directory entry holds an address in the loaded image) and which signing tools append
// after the last section. It covers a hash of the whole file except the checksum and
// that directory entry, so any change to the resources breaks it: a package made from
// a signed stub must lose the stub's signature and be signed anew.
#pragma once
#include <string>

#include "common/pe_resources.h"

namespace vx {

// True when data directory entry 4 is set.
inline bool HasCertificateTable(const PeHeaders& h) {
  return h.certificateOffset != 0 || h.certificateSize != 0;
}

// The part of the file that the certificate table occupies and that a copy without it
// leaves out: [begin, end), empty unless the table lies wholly after the last section.
struct CertificateSpan {
  uint64_t begin = 0;
  uint64_t end = 0;
};
CertificateSpan CertificateTableSpan(const PeHeaders& h);

// Copies the executable `from` to `to` without its certificate table: the directory
// entry cleared, the table's bytes left out, a non-zero checksum recomputed. Anything
// else appended after the sections is kept.
bool CopyPeWithoutSignature(const std::string& from, const std::string& to, std::string* error);

// Recomputes the checksum of the executable at `path` in place, unless its checksum
// field is zero (no checksum kept).
bool RefreshPeChecksum(const std::string& path, std::string* error);

}  // namespace vx
