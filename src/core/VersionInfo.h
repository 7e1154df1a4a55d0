#pragma once
// Which host binding made the instance, and the version texts derived from
// it. The C interface always uses flavour 0.

#include <cstdint>
#include <string>

namespace ZEBInternal {

struct VersionInfo {
    int32_t flavour = 0;       // 0 C, 1 Objective-C, 2 .NET, 4 C++
    std::string banner;        // "Quellora SDK version 5.6.0 for Linux/C"
    std::string shortVersion;  // "5.6.0.lcc": the version the server sees

    static VersionInfo forFlavour(int32_t flavour);
};

}  // namespace ZEBInternal
