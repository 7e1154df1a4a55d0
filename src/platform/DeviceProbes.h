#pragma once
// Attached devices: a known touch screen on USB and the PCI display
// adapters. Stateless; any thread; the device table is read-only.

#include <string>
#include <vector>

#include "platform/SystemRecord.h"

namespace ZEBInternal {

struct ProbeEnvironment;

// "TRUE" when a line of /proc/bus/usb/devices names a known touch screen,
// else "FALSE" (also when the file is missing or unreadable).
std::string touchScreenExists(const ProbeEnvironment& env);
// One "P:" line of that file, e.g. "P:  Vendor=056a ProdID=00f6 Rev= 1.00".
bool isTouchScreenLine(const std::string& line);

// (vendor, device) of every PCI display-class device, in directory order.
std::vector<GpuPair> gpus(const ProbeEnvironment& env);

}  // namespace ZEBInternal
