#pragma once
// zeb-inspect's view of a data directory: the configuration files (is the
// signature valid, every key, which file is the newest of its product and
// application), the log files (active or closed, size, client) and their
// events. Reads only; never changes a file. Single-threaded.

#include <string>

namespace ZEBInspect {

// Prints the report (a table or JSON lines) to stdout. Returns the exit
// status: 0 when the directory could be read, even if some files in it
// were bad (they are reported); 1 when the directory cannot be listed.
int inspectDataDirectory(const std::string& dir, bool json);

}  // namespace ZEBInspect
