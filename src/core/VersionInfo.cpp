#include "core/VersionInfo.h"

namespace ZEBInternal {

namespace {
const char kVersion[] = "5.6.0";
}

VersionInfo VersionInfo::forFlavour(int32_t flavour) {
    VersionInfo v;
    v.flavour = flavour;
    // Unknown flavours read as the C binding.
    const char* word = "C";
    const char* code = "cc";
    switch (flavour) {
        case 1: word = "ObjC"; code = "oc"; break;
        case 2: word = ".NET"; code = "ne"; break;
        case 4: word = "C++"; code = "cp"; break;
        default: break;
    }
    v.banner = std::string("Quellora SDK version ") + kVersion + " for Linux/" + word;
    v.shortVersion = std::string(kVersion) + ".l" + code;
    return v;
}

}  // namespace ZEBInternal
