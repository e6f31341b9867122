// The two texts the builder writes into every package besides its files: the
// description file "package.ini" and the string-table block that carries the title.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/package_contract.h"
#include "common/utf.h"

namespace vx {

// The description text, lines joined by a single LF and no LF after the last line:
//   [SETTINGS]
//   fullscreen=true|false
//   mainmovie=<main movie's file name, empty in slideshow mode>
//   type=resource|slideshow
std::string DescriptionText(bool fullScreen, const std::string& mainMovieName, PackageType type);

// The bytes of the description file for `text` (UTF-8, lines joined by LF), with CR LF
// between lines. Text of ASCII alone is written as it stands, as every package always
// had it. Text with any other character (a main movie named beyond ASCII) is written
// as UTF-16 little-endian after the byte-order mark FF FE: the form in which the
// Windows private-profile functions read such text on every system, whatever its code
// page.
std::string DescriptionFileBytes(const std::string& text);
// Writes DescriptionFileBytes(text) to `path` (created or truncated): the line ends
// are made here, on every platform, not by a text-mode stream. Returns 0 on success
// and -1 when the file cannot be created, written or closed.
int WriteDescriptionFile(const std::string& path, const std::string& text);
// The text of a description file's bytes as UTF-8: UTF-16 after its byte-order mark,
// UTF-8 after its mark (which is dropped), otherwise text without a mark, read as the
// platform reads such text (the ANSI code page on Windows).
std::string DescriptionFileText(const std::string& bytes);

// The title (UTF-8) converted to UTF-16; a byte that is not part of a valid sequence
// becomes U+FFFD.
inline std::u16string TitleToUtf16(const std::string& title) { return Utf8ToUtf16(title); }

// String-table block 1 as the builder writes it: word 0 = 0 (string 0 empty), word 1 =
// n, then the title's n UTF-16 code units; nothing follows, so the block is 2*(n+2)
// bytes, little-endian. An empty title gives four zero bytes. (A text beyond 65535
// code units, which no title field allows, is cut there.)
std::vector<uint8_t> TitleStringBlock(const std::string& title);

// Reads string `index` (0..15) out of a string-table block; false when the block ends
// before it (a block may stop early, as the builder's does after string 1).
bool StringFromBlock(const uint8_t* block, size_t size, unsigned index, std::u16string& out);

}  // namespace vx
