// The exported C functions. Each one checks the handle, copies its
// arguments into owned strings and calls one operation of the instance;
// no exception ever leaves this file.

#include <pthread.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "api/ZEBInstance.h"
#include "api/ZEBReachOutHandlerAdapter.h"
#include "util/SecureWipe.h"
#include "zeb.h"

namespace ZEBInternal {
std::atomic<bool> processForked{false};
}  // namespace ZEBInternal

using ZEBInternal::guardedCall;
using ZEBInternal::owned;
using ZEBInternal::ScopedWipe;
using ZEBInternal::ZEBSDK;

namespace {

constexpr int32_t kFlavourC = 0;

void markForked() noexcept {
    ZEBInternal::processForked.store(true, std::memory_order_relaxed);
}

// Registered once when the library loads (and dropped by the C library if
// it is unloaded).
[[maybe_unused]] const int kForkWatch = pthread_atfork(nullptr, nullptr, markForked);

// A malloc'ed copy the host releases with zebFree.
char* heapCopy(const std::string& s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (p == nullptr) throw std::bad_alloc();
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

extern "C" {

ZEBInstance* zebCreateInstance(bool) {
    try {
        std::unique_ptr<ZEBSDK> sdk(new ZEBSDK(kFlavourC));
        auto* handle = new ZEBInstance;
        handle->sdk = sdk.release();
        return handle;
    } catch (...) {
        return nullptr;
    }
}

int32_t zebDestroyInstance(ZEBInstance* instance) {
    if (instance == nullptr || instance->sdk == nullptr) return -100;
    // A broken instance is left alone: its state may be inconsistent, and
    // its workers already stop every exchange on their own.
    if (!instance->valid.load()) return -999;
    if (ZEBInternal::inheritedByChild(instance)) {
        // Only the handle is freed. The SDK object is left behind on
        // purpose: its destructor would join threads that do not exist in
        // this process, take locks that one of them may have held at the
        // fork, and save and rename the parent's files.
        delete instance;
        return ZEBInternal::kForkedChild;
    }
    delete instance->sdk;  // stops and joins everything; never throws
    instance->sdk = nullptr;
    delete instance;
    return 0;
}

int32_t zebGetSDKVersion(ZEBInstance* instance, char** version) {
    return guardedCall(instance, [&](ZEBSDK& sdk) -> int32_t {
        if (version == nullptr) return -110;
        *version = heapCopy(sdk.getSDKVersion());
        return 0;
    });
}

int32_t zebSetLogHandler(ZEBInstance* instance, int32_t level, ZEBLogCallback callback,
                         void* userData) {
    return guardedCall(instance,
                       [&](ZEBSDK& sdk) { return sdk.setLogHandler(level, callback, userData); });
}

int32_t zebGetState(ZEBInstance* instance) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.getState(); });
}

int32_t zebGetClientID(ZEBInstance* instance, char** clientID) {
    return guardedCall(instance, [&](ZEBSDK& sdk) -> int32_t {
        if (clientID == nullptr) return -110;
        *clientID = heapCopy(sdk.getClientID());
        return 0;
    });
}

int32_t zebCreateConfig(ZEBInstance* instance, const char* configFilePath, const char* productID,
                        const char* appName, const char* serverURL, int32_t protocol,
                        const char* aesKeyHex, bool multiSessionEnabled, bool reachOutOnAutoSync) {
    return guardedCall(instance, [&](ZEBSDK& sdk) {
        std::string key = owned(aesKeyHex);
        const ScopedWipe wipeKey(key);
        return sdk.createConfig(owned(configFilePath), owned(productID), owned(appName),
                                owned(serverURL), protocol, key, multiSessionEnabled,
                                reachOutOnAutoSync);
    });
}

int32_t zebStartSDK(ZEBInstance* instance) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.startSDK(); });
}

int32_t zebStopSDK(ZEBInstance* instance, int32_t waitSeconds) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.stopSDK(waitSeconds); });
}

int32_t zebOptOut(ZEBInstance* instance) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.optOut(); });
}

int32_t zebSync(ZEBInstance* instance, bool withReachOut) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.sync(withReachOut); });
}

int32_t zebTestConnection(ZEBInstance* instance) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.testConnection(); });
}

int32_t zebSetProductData(ZEBInstance* instance, const char* edition, const char* language,
                          const char* version, const char* buildNumber) {
    return guardedCall(instance, [&](ZEBSDK& sdk) {
        return sdk.setProductData(owned(edition), owned(language), owned(version),
                                  owned(buildNumber));
    });
}

int32_t zebSetProductEdition(ZEBInstance* instance, const char* edition) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.setProductEdition(owned(edition)); });
}

int32_t zebSetProductLanguage(ZEBInstance* instance, const char* language) {
    return guardedCall(instance,
                       [&](ZEBSDK& sdk) { return sdk.setProductLanguage(owned(language)); });
}

int32_t zebSetProductVersion(ZEBInstance* instance, const char* version) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.setProductVersion(owned(version)); });
}

int32_t zebSetProductBuildNumber(ZEBInstance* instance, const char* buildNumber) {
    return guardedCall(instance,
                       [&](ZEBSDK& sdk) { return sdk.setProductBuildNumber(owned(buildNumber)); });
}

int32_t zebSetCustomProperty(ZEBInstance* instance, uint32_t index, const char* value) {
    return guardedCall(instance,
                       [&](ZEBSDK& sdk) { return sdk.setCustomProperty(index, owned(value)); });
}

int32_t zebSetProxy(ZEBInstance* instance, const char* address, uint16_t port,
                    const char* username, const char* password) {
    return guardedCall(instance, [&](ZEBSDK& sdk) {
        std::string secret = owned(password);
        const ScopedWipe wipePassword(secret);
        return sdk.setProxy(owned(address), port, owned(username), secret);
    });
}

int32_t zebStartSession(ZEBInstance* instance, const char* sessionID) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.startSession(owned(sessionID)); });
}

int32_t zebStopSession(ZEBInstance* instance, const char* sessionID) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.stopSession(owned(sessionID)); });
}

int32_t zebTrackEvent(ZEBInstance* instance, const char* category, const char* name,
                      const char* sessionID) {
    return guardedCall(instance, [&](ZEBSDK& sdk) {
        return sdk.trackEvent(owned(category), owned(name), owned(sessionID));
    });
}

int32_t zebTrackEventNumeric(ZEBInstance* instance, const char* category, const char* name,
                             double value, const char* sessionID) {
    return guardedCall(instance, [&](ZEBSDK& sdk) {
        return sdk.trackEventNumeric(owned(category), owned(name), value, owned(sessionID));
    });
}

int32_t zebTrackEventText(ZEBInstance* instance, const char* category, const char* name,
                          const char* text, const char* sessionID) {
    return guardedCall(instance, [&](ZEBSDK& sdk) {
        return sdk.trackEventText(owned(category), owned(name), owned(text), owned(sessionID));
    });
}

int32_t zebTrackEventCustom(ZEBInstance* instance, const char* category, const char* name,
                            const ZEBNameValuePair* pairs, uint32_t count, const char* sessionID) {
    if (instance == nullptr || instance->sdk == nullptr) return -100;
    if (!instance->valid.load()) return -999;
    if (ZEBInternal::inheritedByChild(instance)) return ZEBInternal::kForkedChild;
    if (pairs == nullptr) return -110;
    // The pair pointers are copied first, as the host handed them over; an
    // empty list reaches the instance as no list at all (-110).
    std::unique_ptr<ZEBNameValuePair[], FreeDeleter> copy;
    if (count > 0) {
        copy.reset(static_cast<ZEBNameValuePair*>(
            std::calloc(static_cast<size_t>(count), sizeof(ZEBNameValuePair))));
        if (!copy) return -999;  // nothing was touched: the handle stays usable
        std::memcpy(copy.get(), pairs, static_cast<size_t>(count) * sizeof(ZEBNameValuePair));
    }
    return guardedCall(instance, [&](ZEBSDK& sdk) -> int32_t {
        if (!copy) return -110;
        ZEBInternal::NameValueList list;
        list.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            list.emplace_back(owned(copy[i].name), owned(copy[i].value));
        }
        return sdk.trackEventCustom(owned(category), owned(name), list, owned(sessionID));
    });
}

int32_t zebTrackException(ZEBInstance* instance, ZEBExceptionData exception,
                          const char* sessionID) {
    return guardedCall(instance, [&](ZEBSDK& sdk) {
        ZEBInternal::ExceptionRecord record{owned(exception.className),
                                            owned(exception.methodName),
                                            owned(exception.exceptionMessage),
                                            owned(exception.stackTrace)};
        return sdk.trackException(record, owned(sessionID));
    });
}

int32_t zebSetReachOutHandler(ZEBInstance* instance, ZEBReachOutShowCallback showCallback,
                              ZEBReachOutCloseCallback closeCallback,
                              ZEBReachOutStatusCallback statusCallback, void* userData) {
    return guardedCall(instance, [&](ZEBSDK& sdk) {
        std::unique_ptr<ZEBInternal::ZEBSDKReachOutHandler> handler;
        if (showCallback != nullptr) {
            handler.reset(new ZEBInternal::ZEBReachOutHandlerAdapter(showCallback, closeCallback,
                                                                     statusCallback, userData));
        }
        return sdk.setReachOutHandler(std::move(handler));
    });
}

int32_t zebSetReachOutOnAutoSync(ZEBInstance* instance, bool enabled) {
    return guardedCall(instance, [&](ZEBSDK& sdk) { return sdk.setReachOutOnAutoSync(enabled); });
}

int32_t zebCheckForReachOut(ZEBInstance* instance, char** message, int32_t* messageCount,
                            int32_t* messageType) {
    return guardedCall(instance, [&](ZEBSDK& sdk) -> int32_t {
        if (message == nullptr || messageCount == nullptr || messageType == nullptr) return -110;
        std::string text;
        int32_t count = 0;
        int32_t type = 0;
        const int32_t rc = sdk.checkForReachOut(0, text, count, type);
        *message = heapCopy(rc == 0 ? text : std::string());
        *messageCount = rc == 0 ? count : 0;
        *messageType = rc == 0 ? type : 0;
        return rc;
    });
}

int32_t zebCheckForReachOutOfType(ZEBInstance* instance, char** message, int32_t* messageCount,
                                  uint32_t messageType) {
    return guardedCall(instance, [&](ZEBSDK& sdk) -> int32_t {
        if (message == nullptr || messageCount == nullptr) return -110;
        std::string text;
        int32_t count = 0;
        int32_t type = 0;
        const int32_t rc = sdk.checkForReachOut(messageType, text, count, type);
        *message = heapCopy(rc == 0 ? text : std::string());
        *messageCount = rc == 0 ? count : 0;
        return rc;
    });
}

void zebFree(void* p) { std::free(p); }

}  // extern "C"
