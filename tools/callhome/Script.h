#pragma once
// The answer script: canned answers per message type, in sequence, each
// optionally with a fault. File format: tools/callhome/README.md.
//
// Built once by main(); next() is called by connection threads and takes
// the script's own lock, so the sequence advances once per request even
// when requests overlap.

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace ZEBCallHome {

enum class FaultKind {
    kNone,
    kBadSignature,       // the answer's signature line does not match
    kNoServerHeader,     // no "Server: ZEB" header line
    kWrongLength,        // Content-Length announces one byte more than sent
    kHttp500,            // "HTTP/1.1 500 Internal Server Error"
    kHttp204,            // "HTTP/1.1 204 No Content", Content-Length 0
    kGarbage,            // bytes that are not HTTP, then close
    kHang,               // read the request, never answer, keep the connection
    kNoClose,            // a correct answer, but the connection stays open
    kVerificationError,  // "STATUS:VERIFICATIONERROR", signed and encrypted
    kEmptyBody,          // HTTP 200 with "Server: ZEB" and no body
    kClose,              // read the request, close without a byte
};

struct Fault {
    FaultKind kind = FaultKind::kNone;
    unsigned delayMs = 0;  // wait before answering (the "delay:MS" fault)
};

// "bad-signature", "no-server-header", "wrong-length", "http-500",
// "http-204", "garbage", "hang", "no-close", "verification-error",
// "empty-body", "close", "none", or "delay:MS". A delay adds to `fault`;
// any other name replaces its kind. False for an unknown name.
bool applyFaultName(const std::string& name, Fault& fault);
const char* faultName(FaultKind kind);

// What to answer to one request.
struct AnswerPlan {
    std::string text;  // answer lines; empty: the type's default answer
    Fault fault;
    std::string source;  // "default" or "script:LINE"
};

// The message types the server answers.
const std::vector<std::string>& knownTypes();
bool isKnownType(const std::string& type);

class Script {
public:
    Script() = default;
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    // Parses script text; on error, `error` names the line. A Script that
    // was never loaded answers every type with its default.
    bool parse(const std::string& text, std::string& error);
    bool load(const std::string& path, std::string& error);

    // Adds a fault that applies to every answer of `type` ("" = all types)
    // on top of the script's own, as the --fault option asks.
    void addOverride(const std::string& type, const Fault& fault);

    // The plan for the next request of this type; advances the sequence.
    AnswerPlan next(const std::string& type);

private:
    struct Entry {
        AnswerPlan plan;
        unsigned times = 1;  // uses before the next entry; the last repeats
    };
    struct Sequence {
        std::vector<Entry> entries;
        size_t position = 0;  // guarded by lock_
        unsigned used = 0;    // guarded by lock_
    };

    std::mutex lock_;
    std::map<std::string, Sequence> sequences_;  // after parse: entries fixed
    std::map<std::string, std::vector<Fault>> overrides_;
};

// Applies one override on top of a plan's fault.
void mergeFault(Fault& into, const Fault& extra);

// The settings --dev adds to newreg and sync answers: a manual sync allowed
// at once and an automatic one every minute (both keys count in minutes).
extern const char* const kDevSettings[2];  // "KEY:value" lines

// The answer text with every dev setting whose key the answer's first
// "****CONFIG" section does not set added at that section's end (the
// section is appended when there is none), so a script's own value wins.
std::string withDevSettings(const std::string& answer);

}  // namespace ZEBCallHome
