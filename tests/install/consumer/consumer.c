/* Uses the installed library: version, a configuration on the directory
 * given, its state (2: a new client that would register first), destroy. */
#include <stdio.h>
#include <zeb.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    ZEBInstance* zeb = zebCreateInstance(false);
    char* version = NULL;
    if (zeb == NULL || zebGetSDKVersion(zeb, &version) != ZEB_OK) return 1;
    const int32_t rc =
        zebCreateConfig(zeb, argv[1], "1234567890", "Consumer", "127.0.0.1:9/x",
                        ZEB_PROTOCOL_HTTP_AES, "000102030405060708090A0B0C0D0E0F", false, false);
    const int32_t state = zebGetState(zeb);
    printf("consumer: %s, zebCreateConfig %d, state %d\n", version, (int)rc, (int)state);
    zebFree(version);
    if (zebDestroyInstance(zeb) != ZEB_OK) return 1;
    return rc == ZEB_OK && state == 2 ? 0 : 1;
}
