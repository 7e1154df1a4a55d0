#include "Script.h"

#include <cstring>

#include "util/Files.h"
#include "util/Strings.h"

namespace ZEBCallHome {

using ZEBInternal::startsWith;
using ZEBInternal::trim;

namespace {

struct FaultNameEntry {
    const char* name;
    FaultKind kind;
};

constexpr FaultNameEntry kFaultNames[] = {
    {"none", FaultKind::kNone},
    {"bad-signature", FaultKind::kBadSignature},
    {"no-server-header", FaultKind::kNoServerHeader},
    {"wrong-length", FaultKind::kWrongLength},
    {"http-500", FaultKind::kHttp500},
    {"http-204", FaultKind::kHttp204},
    {"garbage", FaultKind::kGarbage},
    {"hang", FaultKind::kHang},
    {"no-close", FaultKind::kNoClose},
    {"verification-error", FaultKind::kVerificationError},
    {"empty-body", FaultKind::kEmptyBody},
    {"close", FaultKind::kClose},
};

// Digits only, at most 9 of them: a delay or count beyond that is a typo.
bool parseSmallNumber(const std::string& text, unsigned& out) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = static_cast<unsigned>(std::stoul(text));
    return true;
}

}  // namespace

bool applyFaultName(const std::string& name, Fault& fault) {
    if (startsWith(name, "delay:")) {
        unsigned ms = 0;
        if (!parseSmallNumber(name.substr(6), ms)) return false;
        fault.delayMs += ms;
        return true;
    }
    for (const auto& entry : kFaultNames) {
        if (name == entry.name) {
            fault.kind = entry.kind;
            return true;
        }
    }
    return false;
}

const char* faultName(FaultKind kind) {
    for (const auto& entry : kFaultNames)
        if (entry.kind == kind) return entry.name;
    return "none";
}

void mergeFault(Fault& into, const Fault& extra) {
    if (extra.kind != FaultKind::kNone) into.kind = extra.kind;
    into.delayMs += extra.delayMs;
}

const char* const kDevSettings[2] = {"MANUALSYNCTIMETHRESHOLD:0", "AUTOSYNCTIMETHRESHOLD:1"};

std::string withDevSettings(const std::string& answer) {
    // Lines as the client reads them: it applies only the first section
    // whose line starts with "****CONFIG", up to the next "****" line, and
    // compares a key with its colon.
    std::vector<std::string> lines;
    for (const std::string& raw : ZEBInternal::split(answer, "\n"))
        if (!trim(raw).empty()) lines.push_back(trim(raw));
    size_t section = 0;
    while (section < lines.size() && !startsWith(lines[section], "****CONFIG")) ++section;
    if (section == lines.size()) lines.emplace_back("****CONFIG");
    size_t end = section + 1;
    while (end < lines.size() && !startsWith(lines[end], "****")) ++end;
    std::vector<std::string> missing;
    for (const char* setting : kDevSettings) {
        const std::string key(setting, std::strchr(setting, ':') + 1);
        bool set = false;
        for (size_t i = section + 1; i < end && !set; ++i) set = startsWith(lines[i], key);
        if (!set) missing.emplace_back(setting);
    }
    lines.insert(lines.begin() + static_cast<long>(end), missing.begin(), missing.end());
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

const std::vector<std::string>& knownTypes() {
    static const std::vector<std::string> types = {"newreg",   "ping", "testconn",
                                                   "msgcheck", "sync", "upload"};
    return types;
}

bool isKnownType(const std::string& type) {
    for (const auto& t : knownTypes())
        if (t == type) return true;
    return false;
}

bool Script::load(const std::string& path, std::string& error) {
    std::string text;
    if (!ZEBInternal::readFile(path, text)) {
        error = "cannot read script '" + path + "'";
        return false;
    }
    return parse(text, error);
}

bool Script::parse(const std::string& text, std::string& error) {
    std::map<std::string, Sequence> parsed;
    Entry* current = nullptr;
    size_t lineNo = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string raw = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        const std::string line = trim(raw);
        const std::string where = "script line " + std::to_string(lineNo) + ": ";
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            const std::string type = line.substr(1, line.size() - 2);
            if (!isKnownType(type)) {
                error = where + "unknown message type '" + type + "'";
                return false;
            }
            parsed[type].entries.emplace_back();
            current = &parsed[type].entries.back();
            current->plan.source = "script:" + std::to_string(lineNo);
            continue;
        }
        if (current == nullptr) {
            error = where + "text before the first [type] line";
            return false;
        }
        if (line[0] == '@') {
            const size_t space = line.find_first_of(" \t");
            const std::string directive = line.substr(0, space);
            const std::string arg = space == std::string::npos ? "" : trim(line.substr(space));
            bool ok = false;
            if (directive == "@fault") {
                ok = applyFaultName(arg, current->plan.fault);
            } else if (directive == "@delay") {
                ok = applyFaultName("delay:" + arg, current->plan.fault);
            } else if (directive == "@times") {
                ok = parseSmallNumber(arg, current->times) && current->times > 0;
            } else {
                error = where + "unknown directive '" + directive + "'";
                return false;
            }
            if (!ok) {
                error = where + "bad argument '" + arg + "' for " + directive;
                return false;
            }
            continue;
        }
        current->plan.text += line + "\n";
    }
    std::lock_guard<std::mutex> lock(lock_);
    sequences_.swap(parsed);
    return true;
}

void Script::addOverride(const std::string& type, const Fault& fault) {
    std::lock_guard<std::mutex> lock(lock_);
    overrides_[type].push_back(fault);
}

AnswerPlan Script::next(const std::string& type) {
    std::lock_guard<std::mutex> lock(lock_);
    AnswerPlan plan;
    plan.source = "default";
    auto it = sequences_.find(type);
    if (it != sequences_.end() && !it->second.entries.empty()) {
        Sequence& seq = it->second;
        const Entry& entry = seq.entries[seq.position];
        plan = entry.plan;
        // The last entry repeats for ever; the others serve `times` answers.
        if (seq.position + 1 < seq.entries.size() && ++seq.used >= entry.times) {
            ++seq.position;
            seq.used = 0;
        }
    }
    for (const char* key : {"", type.c_str()}) {
        auto o = overrides_.find(key);
        if (o == overrides_.end()) continue;
        for (const Fault& f : o->second) mergeFault(plan.fault, f);
    }
    return plan;
}

}  // namespace ZEBCallHome
