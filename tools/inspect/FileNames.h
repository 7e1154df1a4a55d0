#pragma once
// What the names of the library's data files tell: which kind of file, the
// product ID (from its letters), the application, the client and the time
// stamp. Stateless; any thread.

#include <cstdint>
#include <string>

namespace ZEBInspect {

enum class FileKind {
    kConfig,           // zebconfigV5_<letters>_<app>_<stamp>.cfg
    kConfigTemporary,  // the same followed by "tmp": left by a write that never finished
    kActiveLog,        // zeblogV5_<client>_<letters>_<app>_<stamp>.logtmp
    kClosedLog,        // the same ending in ".log"
    kProbe,            // zebv5test_<id>.txt, the writability probe of a configuration
    kForeign,          // anything else
};

struct FileName {
    FileKind kind = FileKind::kForeign;
    std::string productID;  // ten digits, decoded from the letters
    std::string letters;
    std::string app;
    std::string clientID;  // log files only; empty before registration
    std::string stamp;     // 13 base-32 digits
    std::string why;       // for kForeign: what did not fit
};

FileName classifyFileName(const std::string& name);

// The stamp as "2024-03-01T09:05:07.123456Z" (UTC); "?" when it is not one.
std::string stampTime(const std::string& stamp);
// The product letters back to digits; empty when a letter is not one of them.
std::string decodeProductLetters(const std::string& letters);

}  // namespace ZEBInspect
