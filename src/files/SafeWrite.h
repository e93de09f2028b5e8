// Replacing a file so that a failure never destroys what was there before.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes to a temporary file in the target's folder, flushes it to the disk and only
// then renames it over the target. False when any step fails; the target is then unchanged and
// the temporary file is gone.
bool WriteFileReplacing(const std::string& path, const void* bytes, size_t count);
