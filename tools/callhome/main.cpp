// zeb-callhome: a local call-home server for tests and the demo. Listens on
// 127.0.0.1 only, answers the client's messages from a script, and prints
// one line per request. See README.md beside this file.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "CallHomeServer.h"
#include "Options.h"
#include "ServerContext.h"
#include "util/Digest.h"
#include "util/Files.h"
#include "util/Strings.h"

using namespace ZEBCallHome;

namespace {

int gWakeWriteFd = -1;

extern "C" void onStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // Async-signal-safe: only write(2) on the self-pipe.
    if (::write(gWakeWriteFd, &byte, 1) < 0) {
    }
    errno = saved;
}

bool installSignals(std::string& error) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = SA_RESTART;
    if (::sigaction(SIGPIPE, &ignore, nullptr) != 0 || ::sigaction(SIGTERM, &stop, nullptr) != 0 ||
        ::sigaction(SIGINT, &stop, nullptr) != 0) {
        error = std::string("sigaction: ") + std::strerror(errno);
        return false;
    }
    return true;
}

// Written under a temporary name and renamed, so a reader never sees a
// half-written port.
bool writePortFile(const std::string& path, uint16_t port, std::string& error) {
    const std::string temp = path + ".tmp";
    if (!ZEBInternal::writeFile(temp, std::to_string(port) + "\n", false) ||
        ::rename(temp.c_str(), path.c_str()) != 0) {
        error = "writing port file '" + path + "' failed: " + std::strerror(errno);
        ZEBInternal::removeFile(temp);
        return false;
    }
    return true;
}

bool prepareOutDir(const std::string& dir, std::string& error) {
    if (ZEBInternal::isDirectory(dir)) return true;
    if (::mkdir(dir.c_str(), 0755) == 0 || (errno == EEXIST && ZEBInternal::isDirectory(dir)))
        return true;
    error = "cannot create output folder '" + dir + "': " + std::strerror(errno);
    return false;
}

// "[TYPE=]FAULT": a prefix names the message type only when it is one.
bool addFaultOption(const std::string& faultOption, Script& script, std::string& error) {
    std::string type;
    std::string name = faultOption;
    const size_t eq = faultOption.find('=');
    if (eq != std::string::npos) {
        type = faultOption.substr(0, eq);
        name = faultOption.substr(eq + 1);
        if (!isKnownType(type)) {
            error = "unknown message type '" + type + "' in --fault " + faultOption;
            return false;
        }
    }
    Fault fault;
    if (!applyFaultName(name, fault)) {
        error = "unknown fault '" + name + "'";
        return false;
    }
    script.addOverride(type, fault);
    return true;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "zeb-callhome: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) return fail(error + " (see --help)");
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }

    Script script;
    if (!options.scriptPath.empty() && !script.load(options.scriptPath, error)) return fail(error);
    for (const auto& faultOption : options.faults)
        if (!addFaultOption(faultOption, script, error)) return fail(error);
    if (!options.outDir.empty() && !prepareOutDir(options.outDir, error)) return fail(error);

    RequestLog log(options.outDir);
    ServerContext ctx(script, log);
    if (!options.aesKeyHex.empty()) {
        const std::string key = ZEBInternal::hexDecode(options.aesKeyHex);
        std::memcpy(ctx.decode.key, key.data(), sizeof ctx.decode.key);
        ctx.decode.haveKey = true;
    }
    ctx.decode.allowUnsigned = options.allowUnsigned;
    ctx.limits.maxBody = options.maxBody;
    ctx.decode.maxInflated = options.maxText;
    ctx.limits.idleMs = options.idleTimeoutMs;
    ctx.holdMaxMs = options.holdMaxMs;
    ctx.devMode = options.dev;
    if (!options.proxyAuth.empty())
        ctx.proxyAuthorization = "Basic " + ZEBInternal::base64Encode(options.proxyAuth);

    TlsServer tls;
    if (!options.certFile.empty()) {
        if (!tls.load(options.certFile, options.keyFile, error)) return fail(error);
        ctx.tls = &tls;
    }

    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail(std::string("pipe2: ") + std::strerror(errno));
    Socket wakeRead(wake[0]);
    Socket wakeWrite(wake[1]);
    gWakeWriteFd = wakeWrite.get();
    if (!installSignals(error)) return fail(error);

    Socket listener;
    if (!listenLoopback(options.port, listener, ctx.port, error)) return fail(error);
    if (!options.portFile.empty() && !writePortFile(options.portFile, ctx.port, error))
        return fail(error);
    log.printLine("LISTENING 127.0.0.1:" + std::to_string(ctx.port));
    // After LISTENING, which callers wait for as the first line.
    if (options.dev)
        log.printLine("dev mode: manual syncs allowed at once, automatic sync every minute");

    {
        CallHomeServer server(ctx, listener, wakeRead.get(), options.maxConnections);
        server.run();
    }
    log.printLine("STOPPED");
    return 0;
}
