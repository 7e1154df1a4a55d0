#pragma once
// The probes the fingerprints are built from: disk UUID, machine ID and
// virtualisation, plus the container line of process 1. Stateless; any
// thread; the MAC prefix table is read-only.

#include <string>

namespace ZEBInternal {

struct ProbeEnvironment;

// The by-uuid name of the first disk ("/sda"), else of the root device,
// else "ERROR". Links are read, never followed, so a link loop is harmless.
std::string diskUUID(const ProbeEnvironment& env);

// The first line of /var/lib/dbus/machine-id, else of /etc/machine-id,
// else "ERROR".
std::string machineID(const ProbeEnvironment& env);

// "DOCKER", "HYPERV", "VMWARE", "VIRTUALBOX", "XEN", a MAC-prefix verdict
// ("VIRTUALBOX", "VMWARE", "VIRTUALIRON", "XEN", "PARALLELS") or "" for
// none found.
std::string detectVirtualMachine(const ProbeEnvironment& env);

// The virtualisation a hardware address such as 08:00:27:12:34:56 points
// to, or "" when its prefix is not a known virtual adapter's.
std::string virtualMachineForMac(const std::string& address);

// The first line of /proc/1/cpuset as a 150-byte fgets buffer holds it
// (line feed included): the container line.
std::string cpusetFirstLine(const ProbeEnvironment& env);

}  // namespace ZEBInternal
