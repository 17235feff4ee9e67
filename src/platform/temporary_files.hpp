// Files the program keeps for itself while it runs (a copy of a standard input that must be
// read twice): in the user's folder for temporary files, gone when closed or when the program
// ends, however it ends.
#pragma once

#include <string>

namespace pellucor::platform {

// The folder for temporary files: TMPDIR (or /tmp) on POSIX systems, the user's temporary
// folder (TMP, TEMP, the profile's) on Windows.
std::string temporary_folder();

// A new empty file to write and read back through a descriptor (write_some, read_some,
// seek_file); close it with close_file. -1 with `error` saying why (in English, naming the
// folder) when none can be made.
int scratch_file(std::string& error);

}  // namespace pellucor::platform
