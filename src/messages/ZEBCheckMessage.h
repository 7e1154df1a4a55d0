#pragma once
// "msgcheck": asks the server for one pending reach-out message of a given
// type, for the host's check-for-reach-out calls. The request is the
// envelope with identity and "****REQUESTDATA" with "MSGTYPE:". The answer
// says how many messages wait ("COUNT:") and, when there is one, carries
// its "TYPE:" and "MESSAGE:". Messages fetched this way go to the caller,
// never to the reach-out manager.
//
// One exchange on the calling host thread; see ZEBMessageBase for
// ownership.

#include <cstdint>
#include <string>

#include "messages/ZEBMessageBase.h"

namespace ZEBInternal {

class ZEBCheckMessage : public ZEBMessageBase {
public:
    // REQUIRES as for ZEBMessageBase.
    ZEBCheckMessage(const SDKContext* context, int32_t requestedType);

    // Valid after exchange(): COUNT (-1 before an answer, 0 after a failed
    // reading), TYPE (-1 when no message came) and MESSAGE.
    virtual int32_t getMessageCount() const;
    virtual int32_t getMessageType() const;
    virtual std::string getMessageText() const;

protected:
    bool buildRequest() override;
    bool parseResponse() override;

private:
    const int32_t requestedType;
    int32_t messageCount = -1;
    int32_t reachOutType = -1;  // the server's TYPE (the wire type is messageType)
    std::string messageText;
};

}  // namespace ZEBInternal
