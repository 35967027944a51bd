#pragma once
// The kit's files: read whole, and written only where no file stands yet.

#include <string>

namespace tarnvex::kit {

// The whole file; FileError "cannot read PATH" when it cannot be read.
std::string read_whole_file(const std::string& path);

// Creates PATH with `text`; UsageError when a file of that name exists (it is never
// overwritten), FileError when it cannot be written.
void write_new_file(const std::string& path, const std::string& text);

}  // namespace tarnvex::kit
