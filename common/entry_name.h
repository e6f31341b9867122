// Archive entry names as the player's file system compares them. The player extracts
// every entry of a package into one folder on a file system that ignores letter case,
// so two entries whose names differ only in case are one file there: the second
// replaces the first.
#pragma once
#include <string>

namespace vx {

// `name` (UTF-8) with its letters folded to upper case: equal keys mean one file once
// extracted. Windows: folded as the system folds file names. Elsewhere: with the
// C library's Unicode case mapping; a name that is not UTF-8 folds its ASCII letters
// only.
std::u16string EntryNameKey(const std::string& name);

inline bool SameEntryName(const std::string& a, const std::string& b) {
  return EntryNameKey(a) == EntryNameKey(b);
}

}  // namespace vx
