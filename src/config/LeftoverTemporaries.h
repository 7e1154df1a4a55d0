#pragma once
// Removal of the temporary files that a save leaves behind when the process
// dies between writing and renaming. Nothing else ever removes them, so a
// host that crashes in a loop would fill its data directory. Stateless; the
// SDK calls it on the host's thread when the configuration is created.

#include <cstdint>
#include <string>

namespace ZEBInternal {

// A save writes and renames its temporary within milliseconds: one this old
// belongs to a process that is gone.
constexpr uint32_t kLeftoverTemporaryAgeSeconds = 600;

// Removes dataDirectory's configuration temporaries of this product and
// application (configFilePrefix) last modified more than minAgeSeconds ago.
// Another process's fresh temporary, another application's files and the
// active log files (".logtmp", uploaded later as stale logs) stay. Returns
// the number removed.
unsigned removeLeftoverConfigTemporaries(const std::string& dataDirectory,
                                         const std::string& prefix, uint32_t minAgeSeconds);

}  // namespace ZEBInternal
