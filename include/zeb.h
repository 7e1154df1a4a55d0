/*
 * zeb.h - the C interface of libzeb, an application-analytics client.
 *
 * Rules that hold for every function below:
 *  - Every function that takes a ZEBInstance returns an int32_t result code:
 *    0 for success, a negative ZEB_E... code otherwise (zebResultText gives
 *    it in words). zebGetState returns the state number (0 to 14) or
 *    -100 / -214 / -999. Every such function answers -100 for a NULL handle,
 *    -214 in a child that fork() made after the instance was created, and
 *    -999 once the instance is broken; the lists below leave these out.
 *  - A NULL `const char*` argument is read as the empty string. The library
 *    copies every argument before it returns and keeps no pointer of yours,
 *    except the callbacks and their userData (see their setters).
 *  - Strings the library hands out (client ID, version, reach-out message) are
 *    allocated with malloc; release them with zebFree.
 *  - Once a call answers -999 (ZEB_E_FATAL) the instance is broken for good:
 *    every later call on it answers -999.
 *  - Any function may be called from any thread. Only the life-cycle and
 *    server calls (zebCreateConfig, zebStartSDK, zebStopSDK, zebOptOut,
 *    zebSync, zebTestConnection, the two message checks,
 *    zebSetReachOutHandler, zebSetReachOutOnAutoSync) are serialised, by
 *    one lock per instance that an exchange with the server holds for its
 *    whole length. The tracking and session calls, the product-data,
 *    custom-property and proxy setters, zebGetState, zebGetClientID,
 *    zebGetSDKVersion and zebSetLogHandler take no such lock: they run
 *    concurrently with everything and never wait for the disk or the
 *    network. Tracking calls only queue a record.
 *  - Callbacks (reach-out, log handler) are never called while the library
 *    holds a lock of its own; they may call any zeb function except
 *    zebStopSDK and zebDestroyInstance. Reach-out callbacks run on a library
 *    thread, except the close callback, which runs on the thread that stops
 *    or destroys the instance.
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

/* Life cycle. */

/* A new instance in state 0; `unused` has no effect. NULL when nothing could
 * be made. Starts no thread and touches no file. */
ZEB_API ZEBInstance* zebCreateInstance(bool unused);
/* Stops the instance as zebStopSDK(instance, -1) would if it still runs
 * (the close callback runs on this thread), joins every library thread
 * (an exchange in progress gives up within about 50 ms, a host-name lookup
 * only when it ends) and frees the instance. It then writes the
 * configuration file anew when this run loaded one or stored anything the
 * server sent. 0. A broken instance answers -999 and is not freed; in a
 * forked child (-214) only the handle is freed. The handle is invalid
 * afterwards. Never from a callback or the log handler. */
ZEB_API int32_t zebDestroyInstance(ZEBInstance* instance);
/* *version = "Quellora SDK version 5.6.0 for Linux/C" (zebFree it). 0, or
 * -110 for a NULL `version`. Any state; takes no lock. */
ZEB_API int32_t zebGetSDKVersion(ZEBInstance* instance, char** version);
/* The state (ZEB_STATE_...): 9 while a back-off is in force and 10 while the
 * server has disabled the client (each over any stored state), 14 after
 * zebOptOut, else the stored state 0 to 13. Takes a short internal lock
 * only; never waits behind an exchange. */
ZEB_API int32_t zebGetState(ZEBInstance* instance);
/* *clientID = the client ID the server gave, "0" before there is one
 * (zebFree it). 0, or -110 for a NULL `clientID`. Any state; never waits
 * behind an exchange. */
ZEB_API int32_t zebGetClientID(ZEBInstance* instance, char** clientID);
/* Once per instance, in state 0. Checks the arguments in this order:
 * productID ten digits (-130); appName 1 to 16 characters (-111, -114)
 * without blank, tab, CR, LF or '/' (-113); configFilePath not empty
 * (-120); protocol 1 to 3 (-144) with aesKeyHex empty for 3 (-145), else
 * 32 (-146) hexadecimal (-147) digits; serverURL host[:port][/path]
 * without a scheme (-140); configFilePath an existing (-120) writable
 * (-122) directory (-121). Then loads the configuration file there:
 * 0 with state 1 (a file verified: the client is registered) or 2 (none:
 * the client registers at start); -331 with state 1 when the loaded file
 * says the server disabled the client (every later checked call answers
 * -331 too). -201 when called again. Blocks on the disk (directory, file,
 * fingerprints, and the machine's certificates in modes 2 and 3), holding
 * the instance's lock. The AES key is copied and wiped when released. */
ZEB_API int32_t zebCreateConfig(ZEBInstance* instance, const char* configFilePath,
                                const char* productID, const char* appName,
                                const char* serverURL, int32_t protocol, const char* aesKeyHex,
                                bool multiSessionEnabled, bool reachOutOnAutoSync);
/* Starts the library's threads: state 3 (a new client registers in the
 * background) or 4 (a registered one runs). 0; -200 before zebCreateConfig;
 * -211 when already started; -213 after a stop; -331 disabled; -998 after a
 * failed registration. Allowed during a back-off and after zebOptOut.
 * Touches no disk or network, but waits for a connection test or message
 * check another thread runs. */
ZEB_API int32_t zebStartSDK(ZEBInstance* instance);
/* Records the end of every open session (not during a back-off or after
 * zebOptOut), makes a final sync when running
 * (state 4) and `waitSeconds` is not -1 (0: no time limit; n: at most n
 * seconds; none during a back-off or after zebOptOut), stops the threads
 * (the close callback runs on this thread) and writes what is still
 * queued: state 13, for good. 0; -210 in states 0 to 2; -213 when already
 * stopping or stopped; -170 for `waitSeconds` below -1 in state 4. In
 * states 3 and 5 to 7 it stops without a sync and answers 0. Blocks for
 * the final sync, a show callback still running (at most 10 s more) and
 * the log write; another thread's connection test or message check gives
 * up within about 50 ms. Never from a callback or the log handler. */
ZEB_API int32_t zebStopSDK(ZEBInstance* instance, int32_t waitSeconds);
/* This run records and uploads nothing and tells the server so (state 14).
 * After zebCreateConfig, before zebStartSDK: 0; -200 before configuring;
 * -211 once started; -213, -331, -332 (already opted out), -998. */
ZEB_API int32_t zebOptOut(ZEBInstance* instance);
/* Asks the sync thread for a sync now, with a reach-out message when
 * `withReachOut`, a handler is installed and no message is open. Returns at
 * once: 0 (the sync runs later); -210 when not running (states 1 to 3);
 * -310 while a sync runs; -320 within MANUALSYNCTIMETHRESHOLD minutes (5 by
 * default, server-controlled) of the last sync or of the registration;
 * -213 stopping or stopped; -200, -330, -331, -332, -998. Waits only for a
 * connection test or message check another thread runs. */
ZEB_API int32_t zebSync(ZEBInstance* instance, bool withReachOut);
/* One test exchange with the server on this thread, from zebCreateConfig
 * on (also during a back-off): 0 when the server knows the product and the
 * URL; -420 unknown product; -421 URL not the product's; -400 no usable
 * answer; -402 bad signature; -200, -213, -331, -332, -998. Blocks for the
 * exchange: per attempt up to 10 s to connect, 5 s for the TLS handshake,
 * 5 s to send and 10 s to receive, plus name resolution; mode 2 may try TLS
 * then plain HTTP, each through the proxy and then directly. */
ZEB_API int32_t zebTestConnection(ZEBInstance* instance);

/* Product data, custom properties, proxy. From zebCreateConfig until the
 * stop; the values are reported with the next registration or sync and not
 * kept across runs. Each answers 0, or -200 before zebCreateConfig, -213
 * stopping or stopped, -330 during a back-off (not zebSetProxy), -331,
 * -332, -998; no lock that an exchange holds, no disk, no network. */

/* All four product values; each cut to 128 characters. */
ZEB_API int32_t zebSetProductData(ZEBInstance* instance, const char* edition,
                                  const char* language, const char* version,
                                  const char* buildNumber);
/* One product value each, cut to 128 characters. */
ZEB_API int32_t zebSetProductEdition(ZEBInstance* instance, const char* edition);
ZEB_API int32_t zebSetProductLanguage(ZEBInstance* instance, const char* language);
ZEB_API int32_t zebSetProductVersion(ZEBInstance* instance, const char* version);
ZEB_API int32_t zebSetProductBuildNumber(ZEBInstance* instance, const char* buildNumber);
/* Custom property `index` 1 to 20 (-160 otherwise), cut to 256 characters. */
ZEB_API int32_t zebSetCustomProperty(ZEBInstance* instance, uint32_t index, const char* value);
/* HTTP proxy for every later exchange; all empty and port 0 remove it.
 * -191 an address without port or the reverse; -190 a user name without
 * password or the reverse. The password is never stored on disk and is
 * wiped from memory when released. */
ZEB_API int32_t zebSetProxy(ZEBInstance* instance, const char* address, uint16_t port,
                            const char* username, const char* password);

/* Sessions and tracking. Once started (state 3 or 4). Each call only
 * queues a record and returns; none takes a lock that an exchange holds,
 * none waits for the disk or the network. Common answers: 0; -200, -210
 * before the start; -213 stopping or stopped; -330 during a back-off (the
 * record is not kept); -331, -332, -998. `sessionID` must be NULL or empty
 * unless multi-session is configured (-150); then the four feature-event
 * calls need the ID of an open user session (-151 none given, -152 9
 * characters or fewer, -153 more than 64, -155 not open). Category and
 * name lose leading and trailing blanks and every tab, CR and LF, and are
 * cut to 128 characters; an empty name answers -111. */

/* A user session, multi-session mode only (-300 otherwise); IDs of 10 to 64
 * characters. Start: -154 already open, -151, -152, -153. Stop: -155 not
 * open. */
ZEB_API int32_t zebStartSession(ZEBInstance* instance, const char* sessionID);
ZEB_API int32_t zebStopSession(ZEBInstance* instance, const char* sessionID);
/* A feature event; with a double; with a text (-111 when empty). */
ZEB_API int32_t zebTrackEvent(ZEBInstance* instance, const char* category, const char* name,
                              const char* sessionID);
ZEB_API int32_t zebTrackEventNumeric(ZEBInstance* instance, const char* category,
                                     const char* name, double value, const char* sessionID);
ZEB_API int32_t zebTrackEventText(ZEBInstance* instance, const char* category, const char* name,
                                  const char* text, const char* sessionID);
/* A feature event with `count` name/value pairs: -110 for a NULL `pairs`
 * or `count` 0, -113 for a pair name holding a blank, tab, CR or LF. The
 * array and its strings are copied before the call returns. */
ZEB_API int32_t zebTrackEventCustom(ZEBInstance* instance, const char* category,
                                    const char* name, const ZEBNameValuePair* pairs,
                                    uint32_t count, const char* sessionID);
/* An exception: -111 when the class or method name is empty after
 * cleaning; the session may be empty also in multi-session mode. */
ZEB_API int32_t zebTrackException(ZEBInstance* instance, ZEBExceptionData exception,
                                  const char* sessionID);

/* Reach-out. */

/* Installs the three callbacks (a NULL showCallback removes them), from
 * state 0 on, before zebStartSDK: 0; -211 once started; -213, -331, -332,
 * -998. The callbacks and `userData` must stay usable until zebStopSDK or
 * zebDestroyInstance has returned. */
ZEB_API int32_t zebSetReachOutHandler(ZEBInstance* instance, ZEBReachOutShowCallback showCallback,
                                      ZEBReachOutCloseCallback closeCallback,
                                      ZEBReachOutStatusCallback statusCallback, void* userData);
/* Whether automatic syncs (and the registration) ask for reach-out
 * messages. 0; -200, -213, -330, -331, -332, -998. */
ZEB_API int32_t zebSetReachOutOnAutoSync(ZEBInstance* instance, bool enabled);
/* Ask the server, on this thread, for one waiting message of type 0 (the
 * OfType form: 0, 1 or 2; -180 above 2) and hand it back with the number
 * waiting (0: none, empty text) and, in *messageType, its type (-1: none);
 * the library shows nothing. Running only (state 4). 0; -110 a
 * NULL output pointer; -320 within MESSAGETIMETHRESHOLD seconds (1 by
 * default) of the last check, failed ones included; -400, -402; -200,
 * -210, -213, -330, -331, -332, -998. On failure the text is empty and the
 * counts 0. Set *message to NULL before the call and zebFree it afterwards
 * whatever the result. Blocks for one exchange, as zebTestConnection. */
ZEB_API int32_t zebCheckForReachOut(ZEBInstance* instance, char** message,
                                    int32_t* messageCount, int32_t* messageType);
ZEB_API int32_t zebCheckForReachOutOfType(ZEBInstance* instance, char** message,
                                          int32_t* messageCount, uint32_t messageType);

/* Diagnostics. */

/* Installs `callback` for the messages of `level` and more severe ones (a
 * NULL callback, or a level below ZEB_LOG_ERROR, removes it; a level above
 * ZEB_LOG_DEBUG counts as ZEB_LOG_DEBUG). Any time, any state; takes no
 * lock that an exchange holds. 0. The handler runs on library threads and
 * on host threads inside zeb calls, never under a library lock; it must
 * stay callable, with `userData`, until zebDestroyInstance has returned.
 * Messages never carry a key, password or credential. */
ZEB_API int32_t zebSetLogHandler(ZEBInstance* instance, int32_t level, ZEBLogCallback callback,
                                 void* userData);
/* A constant English text for `code` (static storage, never freed): "success"
 * for 0, "unknown result code" for a code the library never answers. */
ZEB_API const char* zebResultText(int32_t code);

/* Releases a string returned by the library; NULL is ignored. */
ZEB_API void zebFree(void* p);

#ifdef __cplusplus
}
#endif

#endif /* ZEB_H */
