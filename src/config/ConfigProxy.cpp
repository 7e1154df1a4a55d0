#include "config/ConfigProxy.h"

#include "threading/ZEBScopedLock.h"
#include "util/SecureWipe.h"

namespace ZEBInternal {

ConfigProxy::ConfigProxy() : lock_(createMutex(true, "ConfigProxy API lock")) {}

ConfigProxy::~ConfigProxy() {
    secureWipe(password_);
}

void ConfigProxy::set(const std::string& address, uint16_t port, const std::string& username,
                      const std::string& password) {
    ZEBScopedLock guard(lock_.get());
    address_ = address;
    port_ = port;
    username_ = username;
    // Wiped first: a longer password would move to a new buffer and leave
    // the old one unwiped, a shorter one would leave its tail.
    secureWipe(password_);
    password_ = password;
}

bool ConfigProxy::get(std::string& address, uint16_t& port, std::string& username,
                      std::string& password) const {
    ZEBScopedLock guard(lock_.get());
    address = address_;
    port = port_;
    username = username_;
    password = password_;
    return !address_.empty() || !username_.empty() || !password_.empty();
}

}  // namespace ZEBInternal
