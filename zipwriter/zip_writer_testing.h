// Hooks for the writer's tests. Production code never sets them; with the defaults
// they change nothing.
#pragma once
#include <cstdint>
#include <string>

#include "zipwriter/zip_writer.h"

namespace vx::zip_writer_testing {

// Called by addFile after the source's description (and so its size) has been taken
// and before any of its data is read, with the source path. Lets a test change the
// source in between, as another process could.
extern void (*afterSourceDescribed)(const std::string& sourcePath);

// Moves the writer's count of bytes written so far, as if that much had already been
// written to the archive: lets a test reach the format's 4 GiB offset limit without
// writing gigabytes. Returns false for a handle that is not a writer's.
bool SetWritePosition(ZipWriterHandle* handle, uint64_t position);

}  // namespace vx::zip_writer_testing
