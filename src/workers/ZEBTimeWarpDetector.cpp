#include "workers/ZEBTimeWarpDetector.h"

#include <cstdlib>

#include "core/SDKContext.h"
#include "config/Configuration.h"
#include "events/EventManager.h"
#include "events/ZEBEventLifecycle.h"

namespace ZEBInternal {

namespace {
// One dwell of 60 s plus 2 s of scheduling slack.
constexpr int32_t kMaxQuietDelta = 62;
}  // namespace

ZEBTimeWarpDetector::ZEBTimeWarpDetector(const SDKContext* context, TimeValue dwell)
    : context_(context), thread_(createThread(this, "TimeWarpDetector", dwell, 0)) {
    thread_->start();
}

ZEBTimeWarpDetector::~ZEBTimeWarpDetector() {
    try {
        thread_->stop();
        thread_->join();
    } catch (...) {
        // A destructor must not throw; the thread is gone or broken either way.
    }
}

void ZEBTimeWarpDetector::run() { check(timeutil::now()); }

void ZEBTimeWarpDetector::stop() { thread_->stop(); }

void ZEBTimeWarpDetector::join() { thread_->join(); }

void ZEBTimeWarpDetector::check(const TimeValue& now) {
    Configuration& configuration = *context_->configuration;
    // While the server has paused or disabled the client nothing is logged;
    // the old reading stays, so the first pass after may report the gap.
    if (configuration.isDisabled() || configuration.isBackoffActive()) return;
    if (lastReading_.seconds == 0) lastReading_ = now;
    const int32_t delta = static_cast<int32_t>(now.seconds - lastReading_.seconds);
    if (std::abs(static_cast<int64_t>(delta)) > kMaxQuietDelta) {
        // Refused once the stop has begun, as a tracking call is: the
        // application session's end, queued after that, stays the last line,
        // and nothing is queued after the log writer's final flush.
        context_->eventManager->pushFromHost(
            std::make_unique<ZEBEventTimeWarp>(delta, configuration.appValues().getInstanceID()));
    }
    lastReading_ = now;
}

}  // namespace ZEBInternal
