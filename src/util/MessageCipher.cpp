#include "util/MessageCipher.h"

#include <mbedtls/aes.h>
#include <mbedtls/platform_util.h>

#include <cstring>

#include "util/SecureRandom.h"

namespace ZEBInternal {

namespace {

// Where each salt and IV byte sits in the trailer. Receivers depend on this
// interleaving byte for byte.
constexpr size_t kSaltOffsets[MessageCipher::kSaltSize] = {0, 7, 8, 17};
constexpr size_t kIvOffsets[MessageCipher::kIvSize] = {1,  2,  3,  4,  5,  6,  9,  10,
                                                       11, 12, 13, 14, 15, 16, 18, 19};

}  // namespace

void MessageCipher::AesDeleter::operator()(mbedtls_aes_context* ctx) const {
    mbedtls_aes_free(ctx);  // zeroes the key schedule
    delete ctx;
}

MessageCipher::MessageCipher() = default;

MessageCipher::~MessageCipher() {
    clear();
}

void MessageCipher::buildMessageKey(const uint8_t configuredKey[kKeySize],
                                    const uint8_t salt[kSaltSize], uint8_t messageKey[kKeySize]) {
    const uint8_t mix = configuredKey[0] ^ configuredKey[4] ^ configuredKey[8] ^ configuredKey[12];
    for (size_t i = 0; i < kKeySize; ++i) {
        const uint8_t base = (i % 4 == 0) ? salt[i / 4] : configuredKey[i];
        messageKey[i] = static_cast<uint8_t>(base ^ mix);
    }
}

bool MessageCipher::deriveMessageKey(const uint8_t configuredKey[kKeySize],
                                     uint8_t messageKey[kKeySize], uint8_t salt[kSaltSize],
                                     uint8_t iv[kIvSize]) {
    // Salt and IV come from the system CSPRNG. Reseeding rand() from the
    // clock would disturb the host's own rand() sequence, race between
    // threads, and repeat key material for any two requests whose clock
    // readings share a microseconds value.
    if (!secureRandomBytes(salt, kSaltSize) || !secureRandomBytes(iv, kIvSize)) return false;
    buildMessageKey(configuredKey, salt, messageKey);
    return true;
}

std::string MessageCipher::keyTrailer(const uint8_t salt[kSaltSize], const uint8_t iv[kIvSize]) {
    std::string trailer(kTrailerSize, '\0');
    for (size_t j = 0; j < kSaltSize; ++j) trailer[kSaltOffsets[j]] = static_cast<char>(salt[j]);
    for (size_t j = 0; j < kIvSize; ++j) trailer[kIvOffsets[j]] = static_cast<char>(iv[j]);
    return trailer;
}

bool MessageCipher::parseTrailer(const std::string& trailer, uint8_t salt[kSaltSize],
                                 uint8_t iv[kIvSize]) {
    if (trailer.size() != kTrailerSize) return false;
    for (size_t j = 0; j < kSaltSize; ++j) salt[j] = static_cast<uint8_t>(trailer[kSaltOffsets[j]]);
    for (size_t j = 0; j < kIvSize; ++j) iv[j] = static_cast<uint8_t>(trailer[kIvOffsets[j]]);
    return true;
}

bool MessageCipher::keyFromTrailer(const uint8_t configuredKey[kKeySize],
                                   const std::string& trailer, uint8_t messageKey[kKeySize],
                                   uint8_t iv[kIvSize]) {
    uint8_t salt[kSaltSize];
    if (!parseTrailer(trailer, salt, iv)) return false;
    buildMessageKey(configuredKey, salt, messageKey);
    return true;
}

bool MessageCipher::setKey(const uint8_t key[kKeySize], const uint8_t iv[kIvSize]) {
    clear();
    std::unique_ptr<mbedtls_aes_context, AesDeleter> ctx(new mbedtls_aes_context);
    mbedtls_aes_init(ctx.get());
    if (mbedtls_aes_setkey_enc(ctx.get(), key, 128) != 0) return false;
    std::memcpy(register_, iv, kIvSize);
    aes_ = std::move(ctx);
    return true;
}

bool MessageCipher::crypt(int mode, const std::string& in, std::string& out) {
    out.clear();
    if (!aes_) return false;
    std::string result(in.size(), '\0');
    if (!in.empty() && mbedtls_aes_crypt_cfb8(aes_.get(), mode, in.size(), register_,
                                              reinterpret_cast<const unsigned char*>(in.data()),
                                              reinterpret_cast<unsigned char*>(&result[0])) != 0)
        return false;
    out.swap(result);
    return true;
}

bool MessageCipher::encrypt(const std::string& plain, std::string& cipher) {
    return crypt(MBEDTLS_AES_ENCRYPT, plain, cipher);
}

bool MessageCipher::decrypt(const std::string& cipher, std::string& plain) {
    return crypt(MBEDTLS_AES_DECRYPT, cipher, plain);
}

bool MessageCipher::encryptWithTrailer(const uint8_t configuredKey[kKeySize],
                                       const std::string& plain, std::string& body) {
    body.clear();
    uint8_t messageKey[kKeySize];
    uint8_t salt[kSaltSize];
    uint8_t iv[kIvSize];
    const bool ok = deriveMessageKey(configuredKey, messageKey, salt, iv) &&
                    setKey(messageKey, iv) && encrypt(plain, body);
    // The key schedule lives in the context; no copy of M outlives this call.
    mbedtls_platform_zeroize(messageKey, sizeof messageKey);
    if (!ok) {
        clear();
        body.clear();
        return false;
    }
    body += keyTrailer(salt, iv);
    return true;
}

void MessageCipher::clear() {
    aes_.reset();
    mbedtls_platform_zeroize(register_, sizeof register_);
}

}  // namespace ZEBInternal
