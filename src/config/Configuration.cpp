#include "config/Configuration.h"

#include "config/BuiltInCertificate.h"
#include "util/SecureWipe.h"

namespace ZEBInternal {

namespace {

// Protocol 1 is plain HTTP only: no TLS connection is ever made, so no
// certificate is kept.
std::vector<std::string> certificatesFor(const ConfigArguments& args) {
    return args.protocol == 1 ? std::vector<std::string>() : args.discoveredCAs;
}

}  // namespace

ConfigArguments::~ConfigArguments() {
    secureWipe(aesKeyHex);
}

Configuration::Configuration(ZEBStopMonitor* owner, const RuntimeSettings* settings,
                             ConfigArguments args)
    : owner_(owner),
      settings_(settings),
      args_(std::move(args)),
      appValues_(args_.configFilePath, args_.dataDirectory, args_.serverURL, args_.protocol,
                 args_.aesKeyHex, args_.productID, args_.appName, args_.multiSessionEnabled,
                 args_.reachOutOnAutoSync, args_.instanceID),
      file_(settings, args_.dataDirectory, args_.productID, args_.appName),
      discoveredCAs_(certificatesFor(args_)),
      version_(VersionInfo::forFlavour(args_.flavour)),
      reachOutOnAutoSync_(args_.reachOutOnAutoSync) {
    setReachOutOnAutoSync(args_.reachOutOnAutoSync);
}

std::vector<std::string> Configuration::builtInCAs() {
    return std::vector<std::string>{builtInCertificatePem()};
}

bool Configuration::setReachOutOnAutoSync(bool enabled) {
    reachOutOnAutoSync_ = enabled;
    appValues_.setReachOutOnAutoSync(enabled);
    return true;
}

bool Configuration::getReachOutOnAutoSync() const { return appValues_.getReachOutOnAutoSync(); }

std::string Configuration::effectiveCallHomeURL() const {
    std::string url = file_.getCallHomeURL();
    return url.empty() ? appValues_.getServerURL() : url;
}

}  // namespace ZEBInternal
