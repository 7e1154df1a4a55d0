#pragma once
// What the server tells the world: one line per request on stdout (and in
// "requests.log" of the output folder), and the decoded requests and uploads
// stored in the output folder.
//
// Shared by all connection threads; every operation takes the log's own
// lock, so lines never interleave and stored names never collide.

#include <mutex>
#include <string>

namespace ZEBCallHome {

struct RequestRecord {
    unsigned long seq = 0;
    std::string type = "-";      // message type, or "-" when unknown
    std::string client = "-";    // CLIENTID of the envelope
    std::string mode = "plain";  // plain | aes | tls
    std::string form = "-";      // origin | absolute | tunnel
    std::string path = "-";
    std::string verdict;       // "ok" or why the request was refused
    int http = 0;              // status code sent; 0 when nothing was sent
    std::string answer = "-";  // "default", "script:LINE" or "-"
    std::string fault = "none";
    std::string auth = "-";  // proxy authorisation: -, ok, missing, wrong
    std::string newId;       // the CLIENTID a newreg answer gave out
    std::string stored;      // file name in the output folder
    std::string detail;      // free text explaining a refusal
    long bodyBytes = -1;     // request body as received; -1 when none was read
    long textBytes = -1;     // the body decoded; -1 when it could not be
};

class RequestLog {
public:
    // outDir empty: nothing is stored.
    explicit RequestLog(std::string outDir) : outDir_(std::move(outDir)) {}
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    // "REQUEST seq=.. type=.. client=.. mode=.. form=.. path=.. verdict=..
    // http=.. answer=.. fault=.. auth=..", then "body=..", "text=..",
    // "newid=..", "stored=.." and "detail=.." when set. Values hold no white
    // space; flushed at once, and appended to the output folder's
    // "requests.log" when there is a folder.
    void print(const RequestRecord& record);
    // A line of its own ("LISTENING ...", "STOPPED"), flushed.
    void printLine(const std::string& line);

    // Writes content under `name` (or name-2, name-3 ... when taken) in the
    // output folder, whole or not at all. Returns the name used, or "" when
    // there is no folder or writing failed (reported on stderr).
    std::string store(const std::string& name, const std::string& content);

private:
    void appendToRequestLog(const std::string& line);  // REQUIRES: lock_ held

    std::mutex lock_;
    const std::string outDir_;
    unsigned long tempCounter_ = 0;  // guarded by lock_
};

}  // namespace ZEBCallHome
