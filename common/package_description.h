// The two texts the builder writes into every package besides its files: the
// description file "package.ini" and the string-table block that carries the title.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/package_contract.h"

namespace vx {

// The description text, lines joined by a single LF and no LF after the last line:
//   [SETTINGS]
//   fullscreen=true|false
//   mainmovie=<main movie's file name, empty in slideshow mode>
//   type=resource|slideshow
std::string DescriptionText(bool fullScreen, const std::string& mainMovieName, PackageType type);

// Writes `text` to `path` (created or truncated) with every LF written as CR LF, on
// every platform: the bytes are translated here, not by a text-mode stream. Returns 0
// on success and -1 when the file cannot be created, written or closed.
int WriteTextFile(const std::string& path, const std::string& text);

// The title converted to UTF-16: from the system's ANSI code page on Windows, from
// UTF-8 on Linux (a byte that is not part of a valid sequence becomes U+FFFD).
std::u16string TitleToUtf16(const std::string& title);

// String-table block 1 as the builder writes it: word 0 = 0 (string 0 empty), word 1 =
// n, then the title's n UTF-16 code units; nothing follows, so the block is 2*(n+2)
// bytes, little-endian. An empty title gives four zero bytes. (A text beyond 65535
// code units, which no title field allows, is cut there.)
std::vector<uint8_t> TitleStringBlock(const std::string& title);

// Reads string `index` (0..15) out of a string-table block; false when the block ends
// before it (a block may stop early, as the builder's does after string 1).
bool StringFromBlock(const uint8_t* block, size_t size, unsigned index, std::u16string& out);

}  // namespace vx
