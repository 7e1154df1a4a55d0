/* A host program in C, as an application would use libzeb: it registers as
 * a new client, describes its product, opens two user sessions, tracks an
 * event of every kind and an exception, shows the reach-out message the
 * server sends through its three callbacks, syncs, and stops with a final
 * sync that uploads the rest.
 *
 *   zeb_demo_host_c DATADIR SERVER_URL AES_KEY_HEX
 *
 * scripts/demo runs it against zeb-callhome. It prints every call and its
 * result code, and last a line "DemoC tracked: ..." that counts what the
 * library accepted, so that it can be compared with what the server got. */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "zeb.h"

/* What the reach-out callbacks share with the main thread: they run on a
 * library thread, so every field is guarded by the mutex. */
typedef struct Presenter {
    pthread_mutex_t lock;
    pthread_cond_t changed;
    int shown;
} Presenter;

static void onShow(void* userData, const char* width, const char* height, int32_t position,
                   const char* message) {
    Presenter* p = userData;
    printf("  [reach-out] show a %sx%s window at position %d: \"%s\"\n", width, height,
           (int)position, message);
    fflush(stdout);
    pthread_mutex_lock(&p->lock);
    p->shown++;
    pthread_cond_broadcast(&p->changed);
    pthread_mutex_unlock(&p->lock);
}

static void onClose(void* userData) {
    (void)userData;
    printf("  [reach-out] close the window\n");
    fflush(stdout);
}

/* The library polls this after a show until it answers non-zero. A real
 * host answers 1 once its user closed the window; here the user reads fast. */
static int32_t onStatus(void* userData) {
    (void)userData;
    return 1;
}

/* Waits until the show callback ran, for at most `seconds`. */
static int waitForShow(Presenter* p, int seconds) {
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += seconds;
    pthread_mutex_lock(&p->lock);
    int rc = 0;
    while (p->shown == 0 && rc != ETIMEDOUT)
        rc = pthread_cond_timedwait(&p->changed, &p->lock, &deadline);
    const int shown = p->shown;
    pthread_mutex_unlock(&p->lock);
    return shown > 0;
}

/* How many records of each kind the library accepted (result 0). */
typedef struct Tally {
    int plain, numeric, text, custom, exceptions, sessions;
} Tally;

static int failures = 0;

static int report(const char* what, int32_t rc) {
    printf("  %-44s -> %d\n", what, (int)rc);
    if (rc != 0) failures++;
    return rc == 0;
}

static void sleepMs(long ms) {
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

/* A fresh client registers in the background: state 3 until the server
 * answered, then 4 (running). */
static int waitUntilRunning(ZEBInstance* zeb, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        const int32_t state = zebGetState(zeb);
        if (state == 4) return 1;
        if (state != 3) break;
        sleepMs(50);
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s DATADIR SERVER_URL AES_KEY_HEX\n", argv[0]);
        return 2;
    }
    const char* alice = "session-alice-01";
    const char* bob = "session-bob-0002";
    Presenter presenter = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0};
    Tally tally = {0, 0, 0, 0, 0, 0};
    char* text = NULL;

    ZEBInstance* zeb = zebCreateInstance(false);
    if (zeb == NULL) {
        fprintf(stderr, "could not create an instance\n");
        return 1;
    }
    if (zebGetSDKVersion(zeb, &text) == 0) {
        printf("  %s\n", text);
        zebFree(text);
    }

    /* Callbacks go in before the start; they cannot change while it runs. */
    report("zebSetReachOutHandler",
           zebSetReachOutHandler(zeb, onShow, onClose, onStatus, &presenter));
    if (!report("zebCreateConfig (HTTP + AES, user sessions on)",
                zebCreateConfig(zeb, argv[1], "1234567890", "DemoC", argv[2], ZEB_PROTOCOL_HTTP_AES,
                                argv[3], true, false))) {
        zebDestroyInstance(zeb);
        return 1;
    }
    printf("  state %d: no configuration file yet, so this client registers first\n",
           (int)zebGetState(zeb));
    report("zebSetProductData", zebSetProductData(zeb, "Community", "en-GB", "2.4.1", "2411"));
    report("zebSetCustomProperty 1", zebSetCustomProperty(zeb, 1, "plan=free"));
    report("zebSetCustomProperty 2", zebSetCustomProperty(zeb, 2, "theme=dark"));

    report("zebStartSDK", zebStartSDK(zeb));
    if (!waitUntilRunning(zeb, 15)) {
        fprintf(stderr, "registration did not finish: state %d\n", (int)zebGetState(zeb));
        zebDestroyInstance(zeb);
        return 1;
    }
    if (zebGetClientID(zeb, &text) == 0) {
        printf("  registered: state %d, client ID %s\n", (int)zebGetState(zeb), text);
        zebFree(text);
    }

    if (report("zebStartSession alice", zebStartSession(zeb, alice))) tally.sessions++;
    if (report("zebStartSession bob", zebStartSession(zeb, bob))) tally.sessions++;
    if (report("zebTrackEvent Menu/Open", zebTrackEvent(zeb, "Menu", "Open", alice))) tally.plain++;
    if (report("zebTrackEventNumeric Editor/Zoom 1.25",
               zebTrackEventNumeric(zeb, "Editor", "Zoom", 1.25, alice)))
        tally.numeric++;
    if (report("zebTrackEventText Search/Query",
               zebTrackEventText(zeb, "Search", "Query", "coffee $5\nand cake", alice)))
        tally.text++;
    const ZEBNameValuePair pairs[] = {{"format", "pdf"}, {"pages", "12"}, {"range", "(1,12)"}};
    if (report("zebTrackEventCustom Export/Done, 3 pairs",
               zebTrackEventCustom(zeb, "Export", "Done", pairs, 3, bob)))
        tally.custom++;
    const ZEBExceptionData error = {"ParseError", "Document::load", "unexpected ',' at 3:14",
                                    "Document::load\nApp::open\nmain"};
    if (report("zebTrackException ParseError", zebTrackException(zeb, error, bob)))
        tally.exceptions++;

    /* The server's newreg answer set MANUALSYNCTIMETHRESHOLD to 0, so a
     * manual sync is allowed right after registration. It runs on the sync
     * thread; the reach-out message in its answer is shown on another. */
    report("zebSync with reach-out", zebSync(zeb, true));
    if (!waitForShow(&presenter, 15)) {
        fprintf(stderr, "no reach-out message was shown\n");
        failures++;
    }

    if (report("zebTrackEvent Menu/Save", zebTrackEvent(zeb, "Menu", "Save", alice))) tally.plain++;
    if (report("zebTrackEventNumeric Document/Pages 12",
               zebTrackEventNumeric(zeb, "Document", "Pages", 12, bob)))
        tally.numeric++;
    if (report("zebTrackEventText Feedback/Comment",
               zebTrackEventText(zeb, "Feedback", "Comment", "fast & (mostly) right", bob)))
        tally.text++;
    if (report("zebTrackEvent Help/About", zebTrackEvent(zeb, "Help", "About", bob))) tally.plain++;
    report("zebStopSession alice", zebStopSession(zeb, alice));

    /* bob's session is still open: the stop ends it, then uploads the rest
     * in a final sync that may take at most 10 seconds. */
    report("zebStopSDK (final sync, at most 10 s)", zebStopSDK(zeb, 10));
    printf("  state after stop: %d\n", (int)zebGetState(zeb));
    report("zebDestroyInstance", zebDestroyInstance(zeb));

    printf("DemoC tracked: plain=%d numeric=%d text=%d custom=%d exception=%d user-sessions=%d\n",
           tally.plain, tally.numeric, tally.text, tally.custom, tally.exceptions, tally.sessions);
    return failures == 0 ? 0 : 1;
}
