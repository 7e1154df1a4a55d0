#pragma once
// Puts a new configuration file in the data directory under a stamp no
// other file of the same prefix holds, so that two processes (or two
// instances) saving at once never write into one temporary nor replace each
// other's file. Stateless; any thread; takes no lock.

#include <cstdint>
#include <string>

namespace ZEBInternal {

// A stamp made by timeStamp32 (13 base-32 digits) as its number; false for
// anything else.
bool decodeConfigStamp(const std::string& stamp, uint64_t& value);

// The stamp a save starts from: now, or one past the newest candidate of
// prefix already in dir when that one is later (the clock was set back), so
// that the save is what the next load finds.
std::string nextConfigStamp(const std::string& dir, const std::string& prefix);

// Writes text to prefix + stamp + ".cfgtmp", created exclusively and flushed
// to stable storage, then renames it to prefix + stamp + ".cfg" without
// replacing anything there. A stamp already taken by either name moves the
// save to the next stamp. True with `stamp` the one used; false when writing
// or renaming fails, with no temporary left behind.
bool writeConfigFile(const std::string& dir, const std::string& prefix, std::string& stamp,
                     const std::string& text);

}  // namespace ZEBInternal
