/* A small host program: creates an instance, configures it on a fresh data
 * directory, starts and stops it, and prints what it sees on the way. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zeb.h"

static int check(const char* what, int32_t rc) {
    printf("%-28s -> %d\n", what, (int)rc);
    return rc == 0;
}

int main(int argc, char** argv) {
    char dir[] = "/tmp/zebdemo_XXXXXX";
    const char* dataDir = argc > 1 ? argv[1] : mkdtemp(dir);
    const char* server = argc > 2 ? argv[2] : "127.0.0.1:8080/callhome";
    char* text = NULL;
    ZEBInstance* zeb = zebCreateInstance(false);
    if (zeb == NULL || dataDir == NULL) {
        fprintf(stderr, "could not create an instance\n");
        return 1;
    }

    if (zebGetSDKVersion(zeb, &text) == 0) {
        printf("version: %s\n", text);
        zebFree(text);
    }
    printf("data directory: %s\n", dataDir);
    printf("state after create: %d\n", (int)zebGetState(zeb));

    if (!check("zebCreateConfig", zebCreateConfig(zeb, dataDir, "1234567890", "DemoApp", server,
                                                  ZEB_PROTOCOL_HTTP_AES,
                                                  "000102030405060708090A0B0C0D0E0F", false,
                                                  false))) {
        zebDestroyInstance(zeb);
        return 1;
    }
    printf("state after configuration: %d\n", (int)zebGetState(zeb));
    if (zebGetClientID(zeb, &text) == 0) {
        printf("client ID: %s\n", text);
        zebFree(text);
    }

    check("zebStartSDK", zebStartSDK(zeb));
    printf("state after start: %d\n", (int)zebGetState(zeb));
    check("zebStopSDK", zebStopSDK(zeb, -1));
    printf("state after stop: %d\n", (int)zebGetState(zeb));
    check("zebDestroyInstance", zebDestroyInstance(zeb));
    return 0;
}
