#pragma once
// Properties that several fuzz targets check after driving a reader. A
// target calls std::abort() when one fails, which libFuzzer reports as a
// crash and the replay test as a failure.

#include <string>

#include "config/ConfigFile.h"
#include "config/ConfigValues.h"

namespace zebfuzz {

// A configuration body, written to a file under its signature, must read
// back to exactly the same body: at the next start the signature is checked
// against the body rebuilt from what was read, and any difference makes the
// client drop the file and register again under a new ID.
inline bool bodyReadsBack(const std::string& body) {
    ZEBInternal::ConfigValues reread;
    return ZEBInternal::parseConfigText("SIGNATURE:-\n" + body, 0, reread) &&
           ZEBInternal::serializeConfigBody(reread) == body;
}

// What a configuration file holds after any server answer: a client ID that
// is either absent or usable as part of a file name, and a body that reads
// back.
inline bool fileStaysUsable(const ZEBInternal::ConfigFile& file) {
    const std::string id = file.getClientID();
    return (id.empty() || ZEBInternal::ConfigFile::isUsableClientID(id)) &&
           bodyReadsBack(file.serializeBody());
}

}  // namespace zebfuzz
