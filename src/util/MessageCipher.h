#pragma once
// AES-128 in 8-bit cipher-feedback mode (CFB-8) with a per-message key, for
// bodies sent without TLS.
//
// Each encrypted request gets a fresh message key M built from the
// configured key K and 4 random salt bytes, and a fresh 16-byte IV. Salt and
// IV travel in clear in a 20-byte trailer after the ciphertext, so a
// receiver holding K rebuilds M. The response is encrypted by the server
// continuing the request's CFB-8 register, and the same MessageCipher
// decrypts it without re-keying.
//
// Owned by one message object and used by one thread at a time; it holds an
// mbedtls context, so it is neither copyable nor movable. The static
// functions are thread-safe.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

typedef struct mbedtls_aes_context mbedtls_aes_context;

namespace ZEBInternal {

class MessageCipher {
public:
    static constexpr size_t kKeySize = 16;
    static constexpr size_t kIvSize = 16;
    static constexpr size_t kSaltSize = 4;
    static constexpr size_t kTrailerSize = 20;

    MessageCipher();
    ~MessageCipher();
    MessageCipher(const MessageCipher&) = delete;
    MessageCipher& operator=(const MessageCipher&) = delete;
    MessageCipher(MessageCipher&&) = delete;
    MessageCipher& operator=(MessageCipher&&) = delete;

    // M from K and the salt: m = K[0]^K[4]^K[8]^K[12]; M[4j] = salt[j],
    // M[i] = K[i] elsewhere; then every byte of M xor m. Pure.
    static void buildMessageKey(const uint8_t configuredKey[kKeySize],
                                const uint8_t salt[kSaltSize], uint8_t messageKey[kKeySize]);
    // Draws fresh salt and IV from the system CSPRNG and builds M. False
    // when the random source fails; no output is then to be used.
    static bool deriveMessageKey(const uint8_t configuredKey[kKeySize],
                                 uint8_t messageKey[kKeySize], uint8_t salt[kSaltSize],
                                 uint8_t iv[kIvSize]);
    // The 20 trailer bytes: S0, IV0..IV5, S1, S2, IV6..IV13, S3, IV14, IV15.
    static std::string keyTrailer(const uint8_t salt[kSaltSize], const uint8_t iv[kIvSize]);
    // Reads salt and IV back from a trailer; false unless it is 20 bytes.
    static bool parseTrailer(const std::string& trailer, uint8_t salt[kSaltSize],
                             uint8_t iv[kIvSize]);
    // The receiver's side: M and IV from K and a received 20-byte trailer.
    static bool keyFromTrailer(const uint8_t configuredKey[kKeySize], const std::string& trailer,
                               uint8_t messageKey[kKeySize], uint8_t iv[kIvSize]);

    // Releases any previous context, sets the AES-128 encryption schedule
    // for key (CFB uses the forward cipher both ways) and loads iv into the
    // register. False, with no context kept, when the key is refused.
    bool setKey(const uint8_t key[kKeySize], const uint8_t iv[kIvSize]);
    bool hasKey() const { return aes_ != nullptr; }

    // CFB-8 over the bytes, advancing the register. Results come through
    // the out parameter so that a failure (no key set, mbedtls error) is told
    // apart from an empty input: on false, out is empty.
    bool encrypt(const std::string& plain, std::string& cipher);
    bool decrypt(const std::string& cipher, std::string& plain);

    // The whole request step: derive M, salt and IV from the configured key,
    // set the key, encrypt plain and append the trailer. The cipher stays
    // keyed so that decrypt() then reads the response. False, with body
    // empty and no key kept, on any failure.
    bool encryptWithTrailer(const uint8_t configuredKey[kKeySize], const std::string& plain,
                            std::string& body);

    // Releases the AES context and wipes the register.
    void clear();

private:
    struct AesDeleter {
        void operator()(mbedtls_aes_context* ctx) const;
    };
    bool crypt(int mode, const std::string& in, std::string& out);

    std::unique_ptr<mbedtls_aes_context, AesDeleter> aes_;
    uint8_t register_[kIvSize] = {};
};

}  // namespace ZEBInternal
