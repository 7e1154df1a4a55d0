#pragma once
// The letters that stand for the product ID in data-file names (configuration
// and log files). Stateless; any thread.

#include <string>

namespace ZEBInternal {

// One letter per decimal digit, in order: digit d becomes the letter at
// position d of "qhwnpcodkv". Characters that are not digits are dropped,
// so the result is always safe inside a file name.
std::string encodeProductID(const std::string& productID);

}  // namespace ZEBInternal
