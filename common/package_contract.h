// What passes between the packager and the player: the package password and the
// names and ids of a package's resources and archive entries.
#pragma once

namespace vx {

// Both programs hold the archive password as this constant (10 characters).
inline constexpr const char kPackagePassword[] = "Rvd%q!KJEb";

}  // namespace vx
