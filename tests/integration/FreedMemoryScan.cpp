#include "FreedMemoryScan.h"

#include <execinfo.h>
#include <malloc.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace zebtest {

namespace {

constexpr size_t kMaxPatterns = 8;
constexpr size_t kMaxPatternSize = 64;
constexpr int kMaxFrames = 32;

struct Pattern {
    char name[32];
    unsigned char bytes[kMaxPatternSize];
    bool fixed[kMaxPatternSize];
    size_t size;
};

// Written only while disarmed and no scan is in flight; the release store
// of gArmed publishes them to the threads that release memory. A thread that
// releases memory counts itself in gInFlight before it looks at gArmed, so
// arming waits for scans that began under the previous patterns.
Pattern gPatterns[kMaxPatterns];
size_t gPatternCount = 0;
std::atomic<bool> gArmed{false};
std::atomic<unsigned> gInFlight{0};
std::atomic<uint64_t> gScanned{0};
std::atomic<uint64_t> gHits{0};

// The first hit, claimed by one thread through gFirstClaimed and published
// through gFirstReady.
std::atomic<bool> gFirstClaimed{false};
std::atomic<bool> gFirstReady{false};
size_t gFirstPattern = 0;
size_t gFirstSize = 0;
void* gFirstFrames[kMaxFrames];
int gFirstDepth = 0;

void fill(Pattern& p, const SecretPattern& s) {
    std::memset(&p, 0, sizeof p);
    std::strncpy(p.name, s.name.c_str(), sizeof p.name - 1);
    std::memcpy(p.bytes, s.bytes.data(), s.bytes.size());
    for (size_t i = 0; i < s.bytes.size(); ++i) p.fixed[i] = s.fixed.empty() || s.fixed[i];
    p.size = s.bytes.size();
}

bool matchesAt(const Pattern& p, const unsigned char* at) {
    for (size_t i = 0; i < p.size; ++i) {
        if (p.fixed[i] && at[i] != p.bytes[i]) return false;
    }
    return true;
}

bool holds(const Pattern& p, const unsigned char* block, size_t size) {
    if (p.size == 0 || size < p.size) return false;
    for (size_t at = 0; at + p.size <= size; ++at) {
        if (matchesAt(p, block + at)) return true;
    }
    return false;
}

// Runs inside operator delete: it must not allocate through operator new.
void scanArmed(void* ptr) {
    const size_t size = malloc_usable_size(ptr);
    const auto* block = static_cast<const unsigned char*>(ptr);
    gScanned.fetch_add(1, std::memory_order_relaxed);
    for (size_t i = 0; i < gPatternCount; ++i) {
        if (!holds(gPatterns[i], block, size)) continue;
        gHits.fetch_add(1, std::memory_order_relaxed);
        if (!gFirstClaimed.exchange(true)) {
            gFirstPattern = i;
            gFirstSize = size;
            gFirstDepth = backtrace(gFirstFrames, kMaxFrames);
            gFirstReady.store(true, std::memory_order_release);
        }
        return;
    }
}

void scanBeforeRelease(void* ptr) {
    if (ptr == nullptr) return;
    gInFlight.fetch_add(1);
    if (gArmed.load()) scanArmed(ptr);
    gInFlight.fetch_sub(1);
}

void* allocate(size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void release(void* p) noexcept {
    scanBeforeRelease(p);
    std::free(p);
}

}  // namespace

void armFreedMemoryScan(const std::vector<SecretPattern>& patterns) {
    gArmed.store(false);
    // Another thread (a server's, the library's) may be scanning a block
    // against the old patterns right now.
    while (gInFlight.load() != 0) sched_yield();
    gPatternCount = 0;
    for (const SecretPattern& s : patterns) {
        if (gPatternCount == kMaxPatterns || s.bytes.size() > kMaxPatternSize) std::abort();
        fill(gPatterns[gPatternCount++], s);
    }
    gScanned = 0;
    gHits = 0;
    gFirstReady = false;
    gFirstClaimed = false;
    // backtrace() loads its unwinder on first use; not inside operator delete.
    void* warm[2];
    backtrace(warm, 2);
    gArmed.store(true, std::memory_order_release);
}

void disarmFreedMemoryScan() {
    gArmed.store(false, std::memory_order_release);
}

FreedMemoryReport freedMemoryReport() {
    FreedMemoryReport r;
    r.blocksScanned = gScanned.load();
    r.hits = gHits.load();
    if (gFirstReady.load(std::memory_order_acquire)) {
        r.firstHit = std::string(gPatterns[gFirstPattern].name) + " in a block of " +
                     std::to_string(gFirstSize) + " bytes, released at:\n";
        char** symbols = backtrace_symbols(gFirstFrames, gFirstDepth);
        for (int i = 0; symbols != nullptr && i < gFirstDepth; ++i)
            r.firstHit += std::string("  ") + symbols[i] + "\n";
        std::free(symbols);
    }
    return r;
}

std::string secretFoundIn(const std::string& bytes, const std::vector<SecretPattern>& patterns) {
    for (const SecretPattern& s : patterns) {
        if (s.bytes.size() > kMaxPatternSize) std::abort();
        Pattern p;
        fill(p, s);
        if (holds(p, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()))
            return s.name;
    }
    return std::string();
}

}  // namespace zebtest

// The replaceable global allocation functions. Aligned forms are left to
// the runtime: nothing scanned uses over-aligned types, and the runtime
// pairs its own aligned new and delete.
void* operator new(size_t size) {
    return zebtest::allocate(size);
}
void* operator new[](size_t size) {
    return zebtest::allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept {
    zebtest::release(p);
}
void operator delete[](void* p) noexcept {
    zebtest::release(p);
}
void operator delete(void* p, size_t) noexcept {
    zebtest::release(p);
}
void operator delete[](void* p, size_t) noexcept {
    zebtest::release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    zebtest::release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    zebtest::release(p);
}
