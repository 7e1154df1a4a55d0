#pragma once
// The collaborators a worker or message may reach, handed out by the SDK at
// start. Nothing here is owned: the SDK owns every object and outlives the
// workers, which it joins before it deletes anything.

namespace ZEBInternal {

class ZEBNewRegCompletionHandler;
class Configuration;
class AppData;
class EventManager;
class SessionManager;
class ZEBReachOutQueue;
class Diagnostics;

struct SDKContext {
    ZEBNewRegCompletionHandler* sdk = nullptr;
    Configuration* configuration = nullptr;
    AppData* appData = nullptr;
    EventManager* eventManager = nullptr;
    SessionManager* sessionManager = nullptr;
    ZEBReachOutQueue* reachOutManager = nullptr;  // the reach-out manager
    Diagnostics* diagnostics = nullptr;           // may be null: nothing is reported
};

}  // namespace ZEBInternal
