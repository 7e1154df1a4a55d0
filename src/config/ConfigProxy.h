#pragma once
// The HTTP proxy the host set with zebSetProxy, held for this run only
// (never persisted). Owned by Configuration. The host's thread sets it while
// workers read it for each request; the recursive "ConfigProxy API lock"
// makes every set and get atomic, so a request sees the four values of one
// set together.

#include <cstdint>
#include <memory>
#include <string>

#include "threading/ZEBMutex.h"

namespace ZEBInternal {

class ConfigProxy {
public:
    // Empty: no proxy. Throws ZEBConcurrencyException when the lock cannot
    // be created.
    ConfigProxy();
    ~ConfigProxy();  // wipes the password
    ConfigProxy(const ConfigProxy&) = delete;
    ConfigProxy& operator=(const ConfigProxy&) = delete;
    ConfigProxy(ConfigProxy&&) = delete;
    ConfigProxy& operator=(ConfigProxy&&) = delete;

    // REQUIRES: address and port given together, username and password
    // given together (checked by the interface).
    void set(const std::string& address, uint16_t port, const std::string& username,
             const std::string& password);
    // Copies all four; the caller wipes its copy of the password. True when
    // a proxy is configured: at least one of address, username and password
    // is non-empty (the port alone does not count). False means connect
    // directly.
    bool get(std::string& address, uint16_t& port, std::string& username,
             std::string& password) const;

private:
    std::unique_ptr<ZEBMutex> lock_;  // "ConfigProxy API lock", recursive
    // Guarded by lock_.
    std::string address_;
    uint16_t port_ = 0;
    std::string username_;
    std::string password_;
};

}  // namespace ZEBInternal
