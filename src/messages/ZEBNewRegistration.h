#pragma once
// "newreg": obtains a client ID for a new installation. The request is the
// envelope without identity followed by the report sections; the server
// answers "CLIENTID:" and may add configuration and a reach-out message.
// Success means the ID is stored in the configuration file and the file is
// saved; the new-registration manager then lets the SDK start its workers.
//
// One exchange on the "NewReg" thread; see ZEBMessageBase for ownership.

#include "messages/ZEBMessageBase.h"

namespace ZEBInternal {

class ZEBNewRegistration : public ZEBMessageBase {
public:
    // REQUIRES as for ZEBMessageBase, and context->appData non-null (the
    // exchange fails without it). sendReachOut: ask the server for a
    // reach-out message; optOut: this run asks to be opted out.
    ZEBNewRegistration(const SDKContext* context, bool sendReachOut, bool optOut);

protected:
    bool buildRequest() override;
    // A usable "CLIENTID:" is stored, the "****CONFIG" section applied and
    // the file saved; a "****REACHOUT" message is queued.
    bool parseResponse() override;

private:
    const bool sendReachOut;
    const bool optOut;
};

}  // namespace ZEBInternal
