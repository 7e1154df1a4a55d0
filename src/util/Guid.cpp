#include "util/Guid.h"

#include <fcntl.h>

#include <cstdint>

#include "util/FileDescriptor.h"
#include "util/Strings.h"

namespace ZEBInternal {

const char* const kGuidFallback = "XXXXXXXX-XXXX-XXXX-XXXXXXXX-XXXXXXXX";

namespace {

// -1 when the device does not open, else the number of bytes read into buf.
long readDevice(const std::string& path, uint8_t* buf, size_t n) {
    FileDescriptor fd(openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return -1;
    return static_cast<long>(readFully(fd.get(), buf, n));
}

}  // namespace

std::string makeGuid() {
    return makeGuid("/dev/urandom", "/dev/random");
}

std::string makeGuid(const std::string& primaryDevice, const std::string& secondaryDevice) {
    uint8_t bytes[16] = {};
    long got = readDevice(primaryDevice, bytes, sizeof bytes);
    if (got < 0) got = readDevice(secondaryDevice, bytes, sizeof bytes);
    if (got <= 0) return kGuidFallback;
    return hexEncode(bytes, sizeof bytes);
}

}  // namespace ZEBInternal
