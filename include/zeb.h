/*
 * zeb.h - the C interface of libzeb, an application-analytics client.
 *
 * Rules that hold for every function below:
 *  - Every function that takes a ZEBInstance returns an int32_t result code:
 *    0 for success, a negative ZEB_E... code otherwise. zebGetState returns the
 *    state number (0 to 14) or -100 / -214 / -999.
 *  - A NULL `const char*` argument is read as the empty string. The library
 *    copies every argument before it returns and keeps no pointer of yours.
 *  - Strings the library hands out (client ID, version, reach-out message) are
 *    allocated with malloc; release them with zebFree.
 *  - Once a call answers -999 (ZEB_E_FATAL) the instance is broken for good:
 *    every later call on it answers -999.
 *  - Any function may be called from any thread; calls on one instance are
 *    serialised inside the library. Tracking calls only queue a record and
 *    never wait for the disk or the network.
 *  - Reach-out callbacks run on a library thread, except the close callback,
 *    which runs on the thread that stops or destroys the instance.
 */
#ifndef ZEB_H
#define ZEB_H

#include <stdbool.h>
#include <stdint.h>

#if defined(ZEB_BUILDING_LIBRARY)
#define ZEB_API __attribute__((visibility("default")))
#else
#define ZEB_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define ZEB_OK 0
#define ZEB_E_INVALID_HANDLE (-100)
#define ZEB_E_NULL_POINTER (-110)
#define ZEB_E_EMPTY_STRING (-111)
#define ZEB_E_WHITESPACE (-113)
#define ZEB_E_APPNAME_TOO_LONG (-114)
#define ZEB_E_PATH_EMPTY (-120)
#define ZEB_E_PATH_NOT_DIRECTORY (-121)
#define ZEB_E_PATH_NOT_WRITABLE (-122)
#define ZEB_E_PRODUCT_ID (-130)
#define ZEB_E_SERVER_URL (-140)
#define ZEB_E_PROTOCOL (-144)
#define ZEB_E_AES_KEY_UNEXPECTED (-145)
#define ZEB_E_AES_KEY_LENGTH (-146)
#define ZEB_E_AES_KEY_HEX (-147)
#define ZEB_E_SESSIONS_DISABLED_ID_GIVEN (-150)
#define ZEB_E_SESSION_ID_MISSING (-151)
#define ZEB_E_SESSION_ID_TOO_SHORT (-152)
#define ZEB_E_SESSION_ID_TOO_LONG (-153)
#define ZEB_E_SESSION_ACTIVE (-154)
#define ZEB_E_SESSION_NOT_ACTIVE (-155)
#define ZEB_E_CUSTOM_PROPERTY_INDEX (-160)
#define ZEB_E_WAIT_SECONDS (-170)
#define ZEB_E_MESSAGE_TYPE (-180)
#define ZEB_E_PROXY_CREDENTIALS (-190)
#define ZEB_E_PROXY_ADDRESS (-191)
#define ZEB_E_NOT_CONFIGURED (-200)
#define ZEB_E_ALREADY_CONFIGURED (-201)
#define ZEB_E_NOT_RUNNING (-210)
#define ZEB_E_ALREADY_STARTED (-211)
#define ZEB_E_STOPPED (-213)
/* The instance was created in another process: this one is a child that
 * fork() made after the instance existed. Every call on it answers this code;
 * zebDestroyInstance frees only the handle. Create a new instance here. */
#define ZEB_E_FORKED_CHILD (-214)
#define ZEB_E_SESSIONS_NOT_ENABLED (-300)
#define ZEB_E_SYNC_IN_PROGRESS (-310)
#define ZEB_E_TOO_SOON (-320)
#define ZEB_E_BACKOFF (-330)
#define ZEB_E_DISABLED (-331)
#define ZEB_E_OPTED_OUT (-332)
#define ZEB_E_EXCHANGE_FAILED (-400)
#define ZEB_E_SIGNATURE (-402)
#define ZEB_E_PRODUCT_INVALID (-420)
#define ZEB_E_URL_MISMATCH (-421)
#define ZEB_E_REGISTRATION_FAILED (-998)
#define ZEB_E_FATAL (-999)

/* The library's version; zebGetSDKVersion gives the same numbers as text. */
#define ZEB_VERSION_MAJOR 5
#define ZEB_VERSION_MINOR 6
#define ZEB_VERSION_PATCH 0

/* States, as zebGetState answers them. */
#define ZEB_STATE_CREATED 0
#define ZEB_STATE_CONFIG_LOADED 1
#define ZEB_STATE_NEEDS_REGISTRATION 2
#define ZEB_STATE_REGISTERING 3
#define ZEB_STATE_RUNNING 4
#define ZEB_STATE_REGISTRATION_REFUSED 5
#define ZEB_STATE_REGISTRATION_FAILED 6
#define ZEB_STATE_REGISTRATION_ERROR 7
#define ZEB_STATE_BACKOFF 9
#define ZEB_STATE_DISABLED 10
#define ZEB_STATE_STOP_REQUESTED 11
#define ZEB_STATE_STOPPING 12
#define ZEB_STATE_STOPPED 13
#define ZEB_STATE_OPTED_OUT 14

/* Levels of zebSetLogHandler: a handler gets the messages of its level and
 * of every level above it (ZEB_LOG_INFO also gets warnings and errors). */
#define ZEB_LOG_ERROR 1
#define ZEB_LOG_WARNING 2
#define ZEB_LOG_INFO 3
#define ZEB_LOG_DEBUG 4

/* Protocol modes for zebCreateConfig. */
#define ZEB_PROTOCOL_HTTP_AES 1      /* plain HTTP, bodies AES-encrypted */
#define ZEB_PROTOCOL_TLS_FALLBACK 2  /* TLS, falling back to plain HTTP with AES */
#define ZEB_PROTOCOL_TLS_ONLY 3      /* TLS only; no AES key */

/* The instance handle; opaque to the host. */
typedef struct ZEBInstance ZEBInstance;

/* One name/value pair of a custom event. */
typedef struct ZEBNameValuePair {
    const char* name;
    const char* value;
} ZEBNameValuePair;

/* An exception to record, passed by value. */
typedef struct ZEBExceptionData {
    const char* className;
    const char* methodName;
    const char* exceptionMessage;
    const char* stackTrace;
} ZEBExceptionData;

/* Reach-out callbacks. `userData` is the pointer given to
 * zebSetReachOutHandler; the strings are valid only during the call. */
typedef void (*ZEBReachOutShowCallback)(void* userData, const char* width, const char* height,
                                        int32_t position, const char* message);
typedef void (*ZEBReachOutCloseCallback)(void* userData);
/* Answer non-zero once the message shown last has been closed. */
typedef int32_t (*ZEBReachOutStatusCallback)(void* userData);

/* A diagnostic message: `level` is one of ZEB_LOG_...; `message` is one line
 * of English without a line feed, valid only during the call. */
typedef void (*ZEBLogCallback)(void* userData, int32_t level, const char* message);

/* Life cycle. `unused` has no effect. Returns NULL when nothing could be made. */
ZEB_API ZEBInstance* zebCreateInstance(bool unused);
ZEB_API int32_t zebDestroyInstance(ZEBInstance* instance);
ZEB_API int32_t zebGetSDKVersion(ZEBInstance* instance, char** version);
ZEB_API int32_t zebGetState(ZEBInstance* instance);
ZEB_API int32_t zebGetClientID(ZEBInstance* instance, char** clientID);
ZEB_API int32_t zebCreateConfig(ZEBInstance* instance, const char* configFilePath,
                                const char* productID, const char* appName,
                                const char* serverURL, int32_t protocol, const char* aesKeyHex,
                                bool multiSessionEnabled, bool reachOutOnAutoSync);
ZEB_API int32_t zebStartSDK(ZEBInstance* instance);
ZEB_API int32_t zebStopSDK(ZEBInstance* instance, int32_t waitSeconds);
ZEB_API int32_t zebOptOut(ZEBInstance* instance);
ZEB_API int32_t zebSync(ZEBInstance* instance, bool withReachOut);
ZEB_API int32_t zebTestConnection(ZEBInstance* instance);

/* Product data, custom properties, proxy. */
ZEB_API int32_t zebSetProductData(ZEBInstance* instance, const char* edition,
                                  const char* language, const char* version,
                                  const char* buildNumber);
ZEB_API int32_t zebSetProductEdition(ZEBInstance* instance, const char* edition);
ZEB_API int32_t zebSetProductLanguage(ZEBInstance* instance, const char* language);
ZEB_API int32_t zebSetProductVersion(ZEBInstance* instance, const char* version);
ZEB_API int32_t zebSetProductBuildNumber(ZEBInstance* instance, const char* buildNumber);
ZEB_API int32_t zebSetCustomProperty(ZEBInstance* instance, uint32_t index, const char* value);
ZEB_API int32_t zebSetProxy(ZEBInstance* instance, const char* address, uint16_t port,
                            const char* username, const char* password);

/* Sessions and tracking. */
ZEB_API int32_t zebStartSession(ZEBInstance* instance, const char* sessionID);
ZEB_API int32_t zebStopSession(ZEBInstance* instance, const char* sessionID);
ZEB_API int32_t zebTrackEvent(ZEBInstance* instance, const char* category, const char* name,
                              const char* sessionID);
ZEB_API int32_t zebTrackEventNumeric(ZEBInstance* instance, const char* category,
                                     const char* name, double value, const char* sessionID);
ZEB_API int32_t zebTrackEventText(ZEBInstance* instance, const char* category, const char* name,
                                  const char* text, const char* sessionID);
ZEB_API int32_t zebTrackEventCustom(ZEBInstance* instance, const char* category,
                                    const char* name, const ZEBNameValuePair* pairs,
                                    uint32_t count, const char* sessionID);
ZEB_API int32_t zebTrackException(ZEBInstance* instance, ZEBExceptionData exception,
                                  const char* sessionID);

/* Reach-out. A NULL showCallback removes the handler. */
ZEB_API int32_t zebSetReachOutHandler(ZEBInstance* instance, ZEBReachOutShowCallback showCallback,
                                      ZEBReachOutCloseCallback closeCallback,
                                      ZEBReachOutStatusCallback statusCallback, void* userData);
ZEB_API int32_t zebSetReachOutOnAutoSync(ZEBInstance* instance, bool enabled);
ZEB_API int32_t zebCheckForReachOut(ZEBInstance* instance, char** message,
                                    int32_t* messageCount, int32_t* messageType);
ZEB_API int32_t zebCheckForReachOutOfType(ZEBInstance* instance, char** message,
                                          int32_t* messageCount, uint32_t messageType);

/* Diagnostics. zebSetLogHandler installs `callback` for the messages of
 * `level` and above (a NULL callback, or a level below ZEB_LOG_ERROR,
 * removes it; a level above ZEB_LOG_DEBUG counts as ZEB_LOG_DEBUG).
 * zebResultText gives a constant English text for a result code. */
ZEB_API int32_t zebSetLogHandler(ZEBInstance* instance, int32_t level, ZEBLogCallback callback,
                                 void* userData);
ZEB_API const char* zebResultText(int32_t code);

/* Releases a string returned by the library; NULL is ignored. */
ZEB_API void zebFree(void* p);

#ifdef __cplusplus
}
#endif

#endif /* ZEB_H */
