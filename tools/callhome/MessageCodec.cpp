#include "MessageCodec.h"

#include <vector>

#include "Inflate.h"
#include "Script.h"
#include "util/Digest.h"
#include "util/Strings.h"

namespace ZEBCallHome {

using ZEBInternal::MessageCipher;
using ZEBInternal::sha256Base64;
using ZEBInternal::startsWith;
using ZEBInternal::trim;

namespace {

constexpr size_t kSignatureSize = 44;
const char kEnvelopeHeader[] = "****REQUESTINFO";

std::vector<std::string> trimmedLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(text.substr(pos, end - pos));
        if (!line.empty()) lines.push_back(std::move(line));
        pos = end + 1;
    }
    return lines;
}

// Reads TYPE and CLIENTID from the envelope section only: a report section
// further down may hold lines that happen to start with the same keys.
void readEnvelope(const std::string& text, DecodedRequest& out) {
    const std::vector<std::string> lines = trimmedLines(text);
    for (size_t i = 1; i < lines.size() && !startsWith(lines[i], "****"); ++i) {
        if (startsWith(lines[i], "TYPE:") && out.type == "-") out.type = lines[i].substr(5);
        if (startsWith(lines[i], "CLIENTID:") && out.clientId.empty())
            out.clientId = lines[i].substr(9);
    }
}

// Classifies the payload (signature already removed) and decodes an upload.
void classify(const std::string& payload, const DecodeSettings& settings, DecodedRequest& out) {
    if (startsWith(payload, kEnvelopeHeader)) {
        out.text = payload;
        readEnvelope(payload, out);
        if (out.type == "-" || out.type.empty()) {
            out.type = "-";
            out.verdict = "no-type";
            out.detail = "envelope without TYPE:";
        } else if (!isKnownType(out.type) || out.type == "upload") {
            out.verdict = "unknown-type";
            out.detail = "message type '" + out.type + "'";
        }
        return;
    }
    // Uploads carry no envelope: each log file starts with its own line.
    out.type = "upload";
    if (!looksGzipped(payload)) {
        out.text = payload;
        return;
    }
    out.gzipped = true;
    std::string error;
    if (!gunzip(payload, settings.maxInflated, out.text, error)) {
        out.verdict = "bad-gzip";
        out.detail = error;
    }
}

}  // namespace

void decodeRequest(const std::string& body, bool encrypted, const DecodeSettings& settings,
                   DecodedRequest& out) {
    std::string payload = body;
    out.encrypted = encrypted;
    if (encrypted) {
        if (!settings.haveKey) {
            out.verdict = "no-aes-key";
            out.detail = "an encrypted request and no --aes-key";
            out.answerable = false;
            return;
        }
        if (body.size() < MessageCipher::kTrailerSize) {
            out.verdict = "decrypt-failed";
            out.detail = "body shorter than the key trailer";
            out.answerable = false;
            return;
        }
        const size_t cipherSize = body.size() - MessageCipher::kTrailerSize;
        uint8_t messageKey[MessageCipher::kKeySize];
        uint8_t iv[MessageCipher::kIvSize];
        if (!MessageCipher::keyFromTrailer(settings.key, body.substr(cipherSize), messageKey, iv) ||
            !out.cipher.setKey(messageKey, iv) ||
            !out.cipher.decrypt(body.substr(0, cipherSize), payload)) {
            out.verdict = "decrypt-failed";
            out.detail = "AES key setup or decryption failed";
            out.answerable = false;
            return;
        }
    }
    // A wrong AES key decrypts to noise, which the signature then refuses.
    const bool signatureFits = payload.size() >= kSignatureSize &&
                               sha256Base64(payload.data(), payload.size() - kSignatureSize) ==
                                   payload.substr(payload.size() - kSignatureSize);
    if (signatureFits) {
        out.isSigned = true;
        payload.resize(payload.size() - kSignatureSize);
    } else if (!settings.allowUnsigned) {
        out.verdict = "bad-signature";
        out.detail = "the last 44 bytes are not the SHA-256 of the body";
        // Best effort, for the log line only.
        if (startsWith(payload, kEnvelopeHeader)) readEnvelope(payload, out);
        return;
    }
    classify(payload, settings, out);
}

std::string normaliseAnswer(const std::string& text) {
    const std::vector<std::string> lines = trimmedLines(text);
    std::string out;
    for (const auto& line : lines) out += line + "\n";
    return out;
}

bool encodeAnswer(const std::string& text, bool corruptSignature, DecodedRequest& request,
                  std::string& body) {
    body = normaliseAnswer(text);
    // With no answer line the client still checks the signature of "\n".
    std::string signature = sha256Base64(body.empty() ? std::string("\n") : body);
    if (corruptSignature) signature[0] = signature[0] == 'A' ? 'B' : 'A';
    body += signature;
    if (!request.encrypted) return true;
    std::string cipherText;
    if (!request.cipher.encrypt(body, cipherText)) return false;
    body.swap(cipherText);
    return true;
}

}  // namespace ZEBCallHome
