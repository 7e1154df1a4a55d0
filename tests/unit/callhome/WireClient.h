#pragma once
// Raw HTTP and TLS exchanges with zeb-callhome, and the request layers the
// library applies (envelope, signature, AES trailer, gzip), built from the
// library's own helpers so that the tests speak exactly the client's wire
// format.

#include <cstdint>
#include <string>
#include <vector>

namespace callhometest {

constexpr char kAesKeyHex[] = "00112233445566778899AABBCCDDEEFF";

struct WireReply {
    std::string raw;
    bool closed = false;    // the server ended the connection
    bool timedOut = false;  // the wait ran out first
    std::string error;      // connection or TLS failure

    // Head and body split at the first CR LF CR LF; false without one.
    bool split(std::string& head, std::string& body) const;
    int code() const;  // from "HTTP/1.1 NNN"; 0 when absent
    bool hasHeaderLine(const std::string& line) const;
    std::string body() const;
};

// Sends request to 127.0.0.1:port and reads until the server closes, at
// most timeoutMs in all.
WireReply exchange(uint16_t port, const std::string& request, int timeoutMs = 5000);
// The same over TLS, trusting only caFile and checking the name "localhost".
// connectFirst, when not empty, is sent in clear before the handshake (a
// CONNECT request); its answer head is read and dropped.
WireReply exchangeTls(uint16_t port, const std::string& caFile, const std::string& request,
                      int timeoutMs = 5000, const std::string& connectFirst = "");
// Connects and returns the descriptor (the caller closes it), or -1.
int connectLoopback(uint16_t port);

// "****REQUESTINFO" with TYPE, PRODUCTID, CLIENTID and CONFIGVERSION (when
// clientId is not empty), TIMESTAMP, SDKVERSION and APPNAME.
std::string envelope(const std::string& type, const std::string& clientId = "");
// text followed by its 44-character signature.
std::string signedBody(const std::string& text);
// A POST with origin form, Host line, the extra header lines (each ending
// in CR LF) and Content-Length.
std::string post(const std::string& target, const std::string& host, const std::string& body,
                 const std::string& extraHeaders = "");

// The answer lines without the signature line; false when the last line is
// not the signature of the others joined with "\n" plus "\n", the way the
// client checks it.
bool verifyAnswer(const std::string& text, std::vector<std::string>& lines);
// The value after "KEY:" on the first line that starts with it, or "".
std::string findValue(const std::vector<std::string>& lines, const std::string& key);

}  // namespace callhometest
