// A host program in C++, the same story as demo_host.c told the way a C++
// application would wrap the C interface: an owning handle class, a
// presenter object behind the reach-out callbacks, and the standard
// library's mutex and condition variable for the callback thread.
//
//   zeb_demo_host_cpp DATADIR SERVER_URL AES_KEY_HEX
//
// Its last line, "DemoCpp tracked: ...", counts what the library accepted.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zeb.h"

namespace {

// Owns one instance; destroying it stops the library and joins its threads.
class Zeb {
public:
    Zeb() : handle_(zebCreateInstance(false)) {}
    ~Zeb() {
        if (handle_ != nullptr) zebDestroyInstance(handle_);
    }
    Zeb(const Zeb&) = delete;
    Zeb& operator=(const Zeb&) = delete;

    ZEBInstance* get() const { return handle_; }
    // The library hands out malloc'ed strings released with zebFree.
    std::string clientID() const {
        char* id = nullptr;
        if (zebGetClientID(handle_, &id) != 0) return "?";
        std::string copy = id;
        zebFree(id);
        return copy;
    }

private:
    ZEBInstance* handle_;
};

// Shows reach-out messages. The library calls it on its own thread, so
// whatever the main thread reads is guarded by the mutex.
class Presenter {
public:
    static void show(void* self, const char* width, const char* height, int32_t position,
                     const char* message) {
        std::printf("  [reach-out] show a %sx%s window at position %d: \"%s\"\n", width, height,
                    static_cast<int>(position), message);
        std::fflush(stdout);
        auto* p = static_cast<Presenter*>(self);
        std::lock_guard<std::mutex> lock(p->mutex_);
        ++p->shown_;
        p->changed_.notify_all();
    }
    static void close(void*) {
        std::printf("  [reach-out] close the window\n");
        std::fflush(stdout);
    }
    // Non-zero once the user closed the window shown last.
    static int32_t status(void*) { return 1; }

    bool waitForShow(std::chrono::seconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return shown_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int shown_ = 0;  // guarded by mutex_
};

struct Tally {
    int plain = 0, numeric = 0, text = 0, custom = 0, exceptions = 0, sessions = 0;
};

int failures = 0;

bool report(const std::string& what, int32_t rc) {
    std::printf("  %-44s -> %d\n", what.c_str(), static_cast<int>(rc));
    if (rc != 0) ++failures;
    return rc == 0;
}

bool waitUntilRunning(const Zeb& zeb, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const int32_t state = zebGetState(zeb.get());
        if (state == 4) return true;
        if (state != 3) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DATADIR SERVER_URL AES_KEY_HEX\n", argv[0]);
        return 2;
    }
    const std::string carol = "session-carol-03";
    const std::string dave = "session-dave-004";
    Presenter presenter;
    Tally tally;

    Zeb zeb;
    if (zeb.get() == nullptr) {
        std::fprintf(stderr, "could not create an instance\n");
        return 1;
    }
    report("zebSetReachOutHandler",
           zebSetReachOutHandler(zeb.get(), &Presenter::show, &Presenter::close, &Presenter::status,
                                 &presenter));
    if (!report("zebCreateConfig (HTTP + AES, user sessions on)",
                zebCreateConfig(zeb.get(), argv[1], "1234567890", "DemoCpp", argv[2],
                                ZEB_PROTOCOL_HTTP_AES, argv[3], true, false)))
        return 1;
    report("zebSetProductData",
           zebSetProductData(zeb.get(), "Professional", "de-DE", "3.0.0", "300"));
    report("zebSetCustomProperty 1", zebSetCustomProperty(zeb.get(), 1, "plan=team"));

    report("zebStartSDK", zebStartSDK(zeb.get()));
    if (!waitUntilRunning(zeb, std::chrono::seconds(15))) {
        std::fprintf(stderr, "registration did not finish: state %d\n", zebGetState(zeb.get()));
        return 1;
    }
    std::printf("  registered: state %d, client ID %s\n", zebGetState(zeb.get()),
                zeb.clientID().c_str());

    if (report("zebStartSession carol", zebStartSession(zeb.get(), carol.c_str())))
        ++tally.sessions;
    if (report("zebStartSession dave", zebStartSession(zeb.get(), dave.c_str()))) ++tally.sessions;
    if (report("zebTrackEvent Canvas/Draw",
               zebTrackEvent(zeb.get(), "Canvas", "Draw", carol.c_str())))
        ++tally.plain;
    if (report("zebTrackEventNumeric Canvas/Layers 3",
               zebTrackEventNumeric(zeb.get(), "Canvas", "Layers", 3, carol.c_str())))
        ++tally.numeric;
    if (report("zebTrackEventText Share/Link",
               zebTrackEventText(zeb.get(), "Share", "Link", "https://example.org/a?b=1&c=2",
                                 dave.c_str())))
        ++tally.text;
    const std::vector<ZEBNameValuePair> pairs = {{"brush", "round"}, {"size", "12px"}};
    if (report("zebTrackEventCustom Canvas/Brush, 2 pairs",
               zebTrackEventCustom(zeb.get(), "Canvas", "Brush", pairs.data(),
                                   static_cast<uint32_t>(pairs.size()), carol.c_str())))
        ++tally.custom;
    const ZEBExceptionData error = {"std::out_of_range", "Layer::at", "index 7 >= size 3",
                                    "Layer::at\nCanvas::draw"};
    if (report("zebTrackException std::out_of_range",
               zebTrackException(zeb.get(), error, dave.c_str())))
        ++tally.exceptions;

    report("zebSync with reach-out", zebSync(zeb.get(), true));
    if (!presenter.waitForShow(std::chrono::seconds(15))) {
        std::fprintf(stderr, "no reach-out message was shown\n");
        ++failures;
    }

    if (report("zebTrackEventNumeric Export/Seconds 0.75",
               zebTrackEventNumeric(zeb.get(), "Export", "Seconds", 0.75, dave.c_str())))
        ++tally.numeric;
    if (report("zebTrackEvent Canvas/Undo",
               zebTrackEvent(zeb.get(), "Canvas", "Undo", carol.c_str())))
        ++tally.plain;
    report("zebStopSession carol", zebStopSession(zeb.get(), carol.c_str()));
    report("zebStopSession dave", zebStopSession(zeb.get(), dave.c_str()));
    report("zebStopSDK (final sync, at most 10 s)", zebStopSDK(zeb.get(), 10));

    std::printf(
        "DemoCpp tracked: plain=%d numeric=%d text=%d custom=%d exception=%d user-sessions=%d\n",
        tally.plain, tally.numeric, tally.text, tally.custom, tally.exceptions, tally.sessions);
    return failures == 0 ? 0 : 1;
}
