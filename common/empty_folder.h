#pragma once
#include <atomic>
#include <string>

namespace vx {

// Deletes everything inside `path` and keeps the folder itself. Failures are ignored:
// a file in use stays, and with it the folders that hold it. A link inside (a symbolic
// link, a junction) is removed itself; the folder it leads to is never entered.
// Once `*stop` is set, it stops before the next entry (what is left stays).
void EmptyFolder(const std::string& path, const std::atomic<bool>* stop = nullptr);

}  // namespace vx
