#pragma once
// "testconn": asks the server whether it knows this product ID and whether
// the call-home URL belongs to the product, for the host's connection test.
// The request is the envelope without identity (the client may not be
// registered yet). After a successful exchange the two flags hold the
// server's verdict.
//
// One exchange on the caller's thread; see ZEBMessageBase for ownership.

#include "messages/ZEBMessageBase.h"

namespace ZEBInternal {

class ZEBTestConnection : public ZEBMessageBase {
public:
    // REQUIRES as for ZEBMessageBase.
    explicit ZEBTestConnection(const SDKContext* context);

    // Valid after exchange() returned true; false before.
    virtual bool isProductValid() const;
    virtual bool isUrlMatching() const;

protected:
    bool buildRequest() override;
    // "STATUS:" must be "OK", "INVALIDPROD" or "URLMISMATCH".
    bool parseResponse() override;

private:
    bool productValid = false;
    bool urlMatches = false;
};

}  // namespace ZEBInternal
