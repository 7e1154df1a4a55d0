#pragma once
// Names of configuration files in the data directory. Stateless; any thread.

#include <string>

namespace ZEBInternal {

// "zebconfigV5_" + encodeProductID(productID) + "_" + appName + "_".
std::string configFilePrefix(const std::string& productID, const std::string& appName);

// A candidate begins with prefix and its first ".cfg" after the prefix is
// at the very end of the name: "x.cfgtmp" (a temporary) or "x.cfg.cfg" are
// not candidates.
bool isConfigCandidate(const std::string& name, const std::string& prefix);

// A temporary file of a save: prefix, a 13-digit stamp and ".cfgtmp",
// nothing else, so that another application's name never matches.
bool isConfigTemporary(const std::string& name, const std::string& prefix);

// The text between the candidate's last "_" and its final four characters;
// stamps compare byte-wise in time order. REQUIRES: isConfigCandidate.
std::string configCandidateStamp(const std::string& name);

}  // namespace ZEBInternal
