// The constant English text of each result code, as the README's table of
// result codes gives it (without its code marks), so a host can log a
// failed call in words.

#include <cstdint>

#include "zeb.h"

namespace {

struct ResultText {
    int32_t code;
    const char* text;
};

constexpr ResultText kTexts[] = {
    {0, "success"},
    {-100, "the handle is NULL"},
    {-110, "a required pointer is NULL (output pointer, pair array), or a custom event has count 0"},
    {-111, "a required text is empty: appName, the event name after cleaning, the text of a text event, the exception's class or method name"},
    {-113, "appName, or a custom pair's name, holds a blank, tab, CR or LF (appName also /)"},
    {-114, "appName longer than 16 characters"},
    {-120, "the data directory is empty or cannot be resolved"},
    {-121, "the data directory is not a directory"},
    {-122, "the data directory is not writable (a test file cannot be created and removed)"},
    {-130, "the product ID is not exactly 10 digits"},
    {-140, "the server URL is not host[:port][/path] (a scheme, ://, white space, a bad port, or a host beginning with http)"},
    {-144, "protocol mode not 1, 2 or 3"},
    {-145, "mode 3 with an AES key"},
    {-146, "mode 1 or 2 with a key that is not 32 characters"},
    {-147, "mode 1 or 2 with a key that is not hexadecimal"},
    {-150, "a session ID given while multi-session is off"},
    {-151, "multi-session is on and the call gave no session ID"},
    {-152, "session ID of 9 characters or fewer"},
    {-153, "session ID longer than 64 characters"},
    {-154, "that session is already open"},
    {-155, "that session is not open"},
    {-160, "custom property index 0 or above 20"},
    {-170, "zebStopSDK with waitSeconds below -1"},
    {-180, "reach-out type above 2"},
    {-190, "a proxy user name without password, or the reverse"},
    {-191, "a proxy address without port, or the reverse"},
    {-200, "not configured yet"},
    {-201, "zebCreateConfig called a second time"},
    {-210, "not started yet; for zebSync and the message checks: not running yet (still registering)"},
    {-211, "already started (zebStartSDK, zebOptOut, zebSetReachOutHandler)"},
    {-213, "stopping or stopped; for zebSync also: the sync thread took no more requests"},
    {-214, "the instance belongs to another process: this is a child that fork() made after the instance was created (every call, zebGetState and zebDestroyInstance included)"},
    {-300, "session calls while multi-session is off"},
    {-310, "zebSync while a sync is running"},
    {-320, "zebSync within MANUALSYNCTIMETHRESHOLD minutes of the last sync or the registration, or a message check within MESSAGETIMETHRESHOLD seconds of the last one"},
    {-330, "the server told the client to back off"},
    {-331, "the server has disabled the client (also zebCreateConfig, when the loaded file says so)"},
    {-332, "this run was opted out with zebOptOut"},
    {-400, "no usable answer: no connection, no HTTP 200, not our server, an answer that could not be read"},
    {-402, "the answer's signature is missing or wrong"},
    {-420, "the server does not know the product ID"},
    {-421, "the server says the URL does not belong to the product"},
    {-998, "registering the new client failed; the instance will not run"},
    {-999, "an internal failure; the instance is broken and answers -999 to everything"},
};

}  // namespace

extern "C" const char* zebResultText(int32_t code) {
    for (const ResultText& entry : kTexts) {
        if (entry.code == code) return entry.text;
    }
    return "unknown result code";
}
