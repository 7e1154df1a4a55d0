#pragma once
// Looks for secrets in heap memory as it is released. The test program that
// links FreedMemoryScan.cpp replaces the global operator new and delete
// (the library's own calls bind to them at load time, since it imports
// them); while the scan is armed, every block handed to operator delete is
// searched for the given patterns before it goes back to malloc. A block
// that still holds a secret when it is released is a copy nobody wiped.
//
// Reading a block before release is ordinary memory access, so the scan
// works unchanged under AddressSanitizer and ThreadSanitizer. It sees the
// heap only: a copy in a stack frame or in memory from malloc (mbedtls,
// zlib) escapes it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zebtest {

// Bytes to look for; a position whose mask is false matches any byte.
struct SecretPattern {
    std::string name;
    std::string bytes;
    std::vector<bool> fixed;  // empty: every byte counts
};

struct FreedMemoryReport {
    uint64_t blocksScanned = 0;
    uint64_t hits = 0;
    std::string firstHit;  // pattern, block size and the call stack that released it
};

// Starts searching every released block for the patterns (at most 8, each
// at most 64 bytes) and clears the counts. Call from one thread while no
// scan is armed.
void armFreedMemoryScan(const std::vector<SecretPattern>& patterns);
// Stops searching; the counts stay readable.
void disarmFreedMemoryScan();
FreedMemoryReport freedMemoryReport();

// The name of the first pattern found in bytes, or "" (for files on disk).
std::string secretFoundIn(const std::string& bytes, const std::vector<SecretPattern>& patterns);

}  // namespace zebtest
