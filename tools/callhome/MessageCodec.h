#pragma once
// The message layers of the call-home protocol, seen from the server: a
// request body is (when not TLS and not marked clear) AES-CFB-8 encrypted
// with a 20-byte key trailer, ends in a 44-character SHA-256 Base64
// signature, and for an upload is usually gzip. The answer is a list of
// lines, signed the same way, and encrypted by continuing the request's
// CFB-8 register when the request was encrypted.
//
// A DecodedRequest belongs to one connection thread; it keeps the keyed
// cipher between decoding the request and encoding the answer.

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/MessageCipher.h"

namespace ZEBCallHome {

struct DecodeSettings {
    bool haveKey = false;
    uint8_t key[ZEBInternal::MessageCipher::kKeySize] = {};
    bool allowUnsigned = false;  // accept requests without a valid signature
    size_t maxInflated = 256u << 20;
};

struct DecodedRequest {
    // "ok", "bad-signature", "no-aes-key", "decrypt-failed", "bad-gzip",
    // "no-type" (an envelope without "TYPE:") or "unknown-type".
    std::string verdict = "ok";
    std::string detail;      // why, for a verdict other than "ok"
    bool encrypted = false;  // AES over plain HTTP; the answer must be too
    bool answerable = true;  // false: the answer cannot be encrypted
    bool isSigned = false;
    bool gzipped = false;
    std::string type = "-";  // the envelope's TYPE, or "upload"
    std::string clientId;    // the envelope's CLIENTID, if any
    std::string text;        // decoded: request text, or the inflated upload
    ZEBInternal::MessageCipher cipher;
};

// Runs the layers backwards. `encrypted` tells whether the body carries the
// AES layer: a plain-HTTP request without "Content-Cleartext: true".
void decodeRequest(const std::string& body, bool encrypted, const DecodeSettings& settings,
                   DecodedRequest& out);

// Answer lines as the client reads them: each trimmed, empty ones dropped,
// joined with "\n" and ended by "\n". The client checks the signature over
// exactly this text, so a script's stray blank line or trailing space must
// not reach the signed bytes.
std::string normaliseAnswer(const std::string& text);

// The answer body: normalised text plus its signature (a wrong one when
// corruptSignature), encrypted with the request's cipher when the request
// was encrypted. False when encryption fails.
bool encodeAnswer(const std::string& text, bool corruptSignature, DecodedRequest& request,
                  std::string& body);

}  // namespace ZEBCallHome
