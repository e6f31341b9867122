// Archive entry names as the player's file system compares them. The player extracts
// every entry of a package into one folder on a file system that ignores letter case,
// so two entries whose names differ only in case are one file there: the second
// replaces the first.
#pragma once
#include <string>

namespace vx {

// `name` with its letters folded to upper case: equal keys mean one file once
// extracted. Windows: the name is ANSI text, folded as the system folds file names.
// Elsewhere: the name is UTF-8; one that is not folds its ASCII letters only.
std::u16string EntryNameKey(const std::string& name);

inline bool SameEntryName(const std::string& a, const std::string& b) {
  return EntryNameKey(a) == EntryNameKey(b);
}

}  // namespace vx
