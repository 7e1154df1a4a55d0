/* The public header used from plain C: every declaration compiles under
 * -Wall -Wextra -Wpedantic -Werror, and the basic calls behave through the
 * shared library. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "zeb.h"

static int failures = 0;
static int passes = 0;

#define EXPECT(cond)                                                   \
    do {                                                               \
        if (cond) {                                                    \
            ++passes;                                                  \
        } else {                                                       \
            ++failures;                                                \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
        }                                                              \
    } while (0)

static void onShow(void* userData, const char* width, const char* height, int32_t position,
                   const char* message) {
    (void)userData; (void)width; (void)height; (void)position; (void)message;
}
static void onClose(void* userData) { (void)userData; }
static int32_t onStatus(void* userData) { (void)userData; return 1; }

int main(void) {
    char dir[] = "/tmp/zebctest_XXXXXX";
    char* text = NULL;
    ZEBNameValuePair pairs[1];
    ZEBExceptionData exception;
    ZEBInstance* zeb;

    EXPECT(mkdtemp(dir) != NULL);
    zebFree(NULL);
    EXPECT(sizeof(ZEBNameValuePair) == 16);
    EXPECT(zebGetState(NULL) == ZEB_E_INVALID_HANDLE);

    zeb = zebCreateInstance(true);
    EXPECT(zeb != NULL);
    if (zeb == NULL) return 1;
    EXPECT(zebGetState(zeb) == 0);
    EXPECT(zebGetSDKVersion(zeb, &text) == 0);
    EXPECT(text != NULL && strcmp(text, "Quellora SDK version 5.6.0 for Linux/C") == 0);
    zebFree(text);
    text = NULL;
    EXPECT(zebGetClientID(zeb, &text) == 0);
    EXPECT(text != NULL && strcmp(text, "0") == 0);
    zebFree(text);
    EXPECT(zebGetClientID(zeb, NULL) == ZEB_E_NULL_POINTER);
    EXPECT(zebSetReachOutHandler(zeb, onShow, onClose, onStatus, NULL) == 0);
    EXPECT(zebStartSDK(zeb) == ZEB_E_NOT_CONFIGURED);

    EXPECT(zebCreateConfig(zeb, dir, "123456789", "App", "localhost/x", 1,
                           "000102030405060708090A0B0C0D0E0F", false, false) == ZEB_E_PRODUCT_ID);
    EXPECT(zebCreateConfig(zeb, dir, "1234567890", "App", "localhost:8080/x", 1,
                           "000102030405060708090A0B0C0D0E0F", false, false) == 0);
    EXPECT(zebGetState(zeb) == 2);
    EXPECT(zebStartSDK(zeb) == 0);
    EXPECT(zebGetState(zeb) == 3);

    pairs[0].name = "n";
    pairs[0].value = "v";
    EXPECT(zebTrackEventCustom(zeb, "c", "e", pairs, 0, NULL) == ZEB_E_NULL_POINTER);
    exception.className = "C";
    exception.methodName = "m";
    exception.exceptionMessage = NULL;
    exception.stackTrace = NULL;
    (void)zebTrackException(zeb, exception, NULL);
    (void)zebTrackEventNumeric(zeb, "c", "e", 0.5, NULL);

    EXPECT(zebStopSDK(zeb, -1) == 0);
    EXPECT(zebStopSDK(zeb, -1) == ZEB_E_STOPPED);
    EXPECT(zebGetState(zeb) == 13);
    EXPECT(zebDestroyInstance(zeb) == 0);
    rmdir(dir);

    printf("%d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}
