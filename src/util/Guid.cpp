#include "util/Guid.h"

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <ctime>

#include "util/Digest.h"
#include "util/SecureRandom.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

std::string uniqueBytes() {
    static std::atomic<uint64_t> counter{0};
    struct {
        struct timespec realtime;
        struct timespec monotonic;
        uint64_t count;
        pid_t pid;
    } seed{};
    clock_gettime(CLOCK_REALTIME, &seed.realtime);
    clock_gettime(CLOCK_MONOTONIC, &seed.monotonic);
    seed.count = counter.fetch_add(1, std::memory_order_relaxed);
    seed.pid = ::getpid();
    return sha256Raw(&seed, sizeof seed);
}

}  // namespace

std::string makeGuid() {
    uint8_t bytes[16] = {};
    if (secureRandomBytes(bytes, sizeof bytes)) return hexEncode(bytes, sizeof bytes);
    const std::string digest = uniqueBytes();
    return hexEncode(digest.data(), sizeof bytes);
}

}  // namespace ZEBInternal
