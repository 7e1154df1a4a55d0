#include "config/ProductIDEncoding.h"

namespace ZEBInternal {

std::string encodeProductID(const std::string& productID) {
    static const char kDigitTable[] = "qhwnpcodkv";
    std::string encoded;
    encoded.reserve(productID.size());
    for (const char c : productID) {
        if (c >= '0' && c <= '9') encoded.push_back(kDigitTable[c - '0']);
    }
    return encoded;
}

}  // namespace ZEBInternal
