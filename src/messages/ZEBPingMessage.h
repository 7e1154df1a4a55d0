#pragma once
// "ping": tells the server that a client in back-off is still alive. The
// request is the envelope with identity followed by the machine's
// fingerprint lines; the server answers "STATUS:OK" and may change the
// configuration. The sync manager sends it and ignores the outcome.
//
// One exchange on the caller's thread; see ZEBMessageBase for ownership.

#include <string>

#include "messages/ZEBMessageBase.h"

namespace ZEBInternal {

class ZEBPing : public ZEBMessageBase {
public:
    // fingerprintLines: the body of the fingerprint report section, field
    // lines without a section header (may be empty). REQUIRES as for
    // ZEBMessageBase.
    ZEBPing(const SDKContext* context, std::string fingerprintLines);

protected:
    bool buildRequest() override;
    // "STATUS:OK" exactly; then the configuration section, if any.
    bool parseResponse() override;

private:
    const std::string fingerprintLines;
};

}  // namespace ZEBInternal
