#include "core/Diagnostics.h"

#include <cstring>

#include "threading/HeldLocks.h"

namespace ZEBInternal {

void Diagnostics::setHandler(int32_t level, Callback callback, void* userData) noexcept {
    if (callback == nullptr || level < static_cast<int32_t>(LogLevel::kError)) level = 0;
    if (level > static_cast<int32_t>(LogLevel::kDebug)) level = static_cast<int32_t>(LogLevel::kDebug);
    std::lock_guard<std::mutex> guard(handlerLock_);
    callback_ = level == 0 ? nullptr : callback;
    userData_ = level == 0 ? nullptr : userData;
    level_.store(level, std::memory_order_relaxed);
}

void Diagnostics::deliver(LogLevel level, std::string message) noexcept {
    Callback callback = nullptr;
    void* userData = nullptr;
    {
        std::lock_guard<std::mutex> guard(handlerLock_);
        callback = callback_;
        userData = userData_;
    }
    if (callback == nullptr) return;
    // One line each: a line feed from a server's text must not forge a line.
    for (char& c : message) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    runWithoutLocks([callback, userData, level, text = std::move(message)] {
        callback(userData, static_cast<int32_t>(level), text.c_str());
    });
}

std::string errnoText(int err) {
    // The English description whatever the host's locale, so that reports
    // read alike everywhere; strerrordesc_np is also safe on any thread.
    const char* text = strerrordesc_np(err);
    return text != nullptr ? std::string(text) : "error " + std::to_string(err);
}

}  // namespace ZEBInternal
