#pragma once
// The four machine fingerprints, byte for byte, as pure functions of their
// inputs. The server matches clients by these values, so every detail
// (address order, separators, which characters are kept) is part of the
// contract. Stateless; any thread.

#include <string>
#include <vector>

namespace ZEBInternal {

struct ProbeEnvironment;

// The address V5 is built on: the smallest, in byte order, whose first byte
// is globally administered unicast (second character 0, 4, 8 or C) and
// that is neither a virtual adapter's nor a known fake or shared one.
// Empty when none qualifies.
std::string selectV5Address(std::vector<std::string> macs);

// sha256Base64(selected address + upperPath), where upperPath is the
// upper-cased resolved data path.
std::string v5Fingerprint(const std::vector<std::string>& macs, const std::string& upperPath);
// Every second character of two Base64 digests: of the addresses joined
// by "&", and of the resolved path.
std::string v4Fingerprint(const std::vector<std::string>& macs, const std::string& path);
// First half of the addresses' digest, last 22 characters of the digest of
// productID + path without its padding.
std::string v3Fingerprint(const std::vector<std::string>& macs, const std::string& productID,
                          const std::string& path);

// Lower-case hex SHA-256 over the source's characters as 4-byte wide
// characters (a disk UUID or machine ID).
std::string wideSourceHash(const std::string& source);
// Lower-case hex SHA-256 of the container ID in a /proc/1/cpuset line
// holding "/docker/"; empty for any other line.
std::string containerIdHash(const std::string& cpusetLine);

// The MACHINEID value: from the disk UUID, else the machine ID, else the
// Docker container; empty when none is available.
std::string machineIdHash(const ProbeEnvironment& env);

}  // namespace ZEBInternal
