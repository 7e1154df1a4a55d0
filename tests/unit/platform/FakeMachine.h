#pragma once
// A machine made of a fixture tree and canned answers, for the probes: files
// and links below a temporary root, the kernel log, the word length, LANG,
// adapters, memory and time zone. env() hands the probes a ProbeEnvironment
// that sees only this machine and records each time the kernel log or the
// word length is asked for ("kernelLog", "longBits").

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ProbeEnvironment.h"
#include "support/TempDir.h"
#include "util/Files.h"
#include "util/Strings.h"

namespace zebtest {

class FakeMachine {
public:
    std::optional<std::string> kernelLog;  // none: the buffer cannot be read
    long longBits = 0;
    std::optional<std::string> lang = std::string("en_US.UTF-8");
    std::vector<std::string> macs;
    std::optional<uint64_t> ramBytes = uint64_t(8) << 30;
    long secondsWestOfUtc = 0;

    const std::string& root() const { return dir_.path(); }
    std::string path(const std::string& absolute) const { return dir_.path() + absolute; }

    void mkdirs(const std::string& absolute) const {
        std::string current = dir_.path();
        for (const std::string& part : ZEBInternal::split(absolute, "/")) {
            current += "/" + part;
            ::mkdir(current.c_str(), 0755);
        }
    }
    void file(const std::string& absolute, const std::string& content) const {
        mkdirs(absolute.substr(0, absolute.rfind('/')));
        if (!ZEBInternal::writeFile(path(absolute), content, false))
            throw std::runtime_error("cannot write fixture " + absolute);
    }
    void link(const std::string& absolute, const std::string& target) const {
        mkdirs(absolute.substr(0, absolute.rfind('/')));
        if (::symlink(target.c_str(), path(absolute).c_str()) != 0)
            throw std::runtime_error("cannot link fixture " + absolute);
    }

    // Sources asked so far, in order.
    std::vector<std::string> ran() const {
        std::lock_guard<std::mutex> lock(log_->mutex);
        return log_->lines;
    }

    ZEBInternal::ProbeEnvironment env() const {
        ZEBInternal::ProbeEnvironment e;
        e.root = dir_.path();
        auto log = log_;
        const auto note = [log](const char* source) {
            std::lock_guard<std::mutex> lock(log->mutex);
            log->lines.push_back(source);
        };
        auto klog = kernelLog;
        e.kernelLog = [note, klog](std::string& text) {
            note("kernelLog");
            text = klog.value_or("");
            return klog.has_value();
        };
        const long bits = longBits;
        e.longBits = [note, bits] {
            note("longBits");
            return bits;
        };
        auto langValue = lang;
        e.getEnv = [langValue](const std::string& name, std::string& value) {
            if (name != "LANG" || !langValue) return false;
            value = *langValue;
            return true;
        };
        auto adapters = macs;
        e.listMacAddresses = [adapters] { return adapters; };
        auto ram = ramBytes;
        e.totalMemory = [ram](uint64_t& bytes) {
            if (!ram) return false;
            bytes = *ram;
            return true;
        };
        const long west = secondsWestOfUtc;
        e.secondsWestOfUtc = [west] { return west; };
        return e;
    }

private:
    struct Log {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    TempDir dir_;
    std::shared_ptr<Log> log_ = std::make_shared<Log>();
};

}  // namespace zebtest
