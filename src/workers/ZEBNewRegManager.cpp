#include "workers/ZEBNewRegManager.h"

#include "config/RuntimeSettings.h"

namespace ZEBInternal {

ZEBNewRegManager::ZEBNewRegManager(const SDKContext* context, const RuntimeSettings* settings,
                                   bool optedOut)
    : context_(context), settings_(settings), optedOut_(optedOut) {
    thread_ = createThread(this, "NewReg", TimeValue{settings_->NEWREGRETRYSEC, 0},
                           settings_->NEWREGRETRYATTEMPTMAX);
    thread_->start();
}

ZEBNewRegManager::~ZEBNewRegManager() {
    try {
        thread_->stop();
        thread_->join();
    } catch (...) {
        // A destructor must not throw; the thread is gone or broken either way.
    }
}

void ZEBNewRegManager::run() {}

void ZEBNewRegManager::stop() { thread_->stop(); }

void ZEBNewRegManager::join() { thread_->join(); }

}  // namespace ZEBInternal
