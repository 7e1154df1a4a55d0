#include "Options.h"

#include <functional>
#include <map>

namespace ZEBCallHome {

namespace {

bool parseUnsigned(const std::string& text, unsigned long long max, unsigned long long& out) {
    if (text.empty() || text.size() > 12 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoull(text);
    return out <= max;
}

}  // namespace

const char* usageText() {
    return "Usage: zeb-callhome [options]\n"
           "A local call-home server on 127.0.0.1 for tests and demos.\n"
           "\n"
           "  --port N            port to listen on; 0 (default) lets the system choose\n"
           "  --port-file F       write the chosen port, one line, to F (atomically)\n"
           "  --script S          answer script (format: tools/callhome/README.md)\n"
           "  --out DIR           store decoded requests and uploads in DIR (created if missing)\n"
           "  --aes-key HEX       the 32-hex-digit AES key the clients use\n"
           "  --cert C --key K    PEM certificate (chain) and key: also serve TLS on the port\n"
           "  --fault [TYPE=]F    fault for every answer (of TYPE only, when given); F is\n"
           "                      bad-signature, no-server-header, wrong-length, http-500,\n"
           "                      http-204, garbage, hang, no-close, verification-error,\n"
           "                      empty-body, close or delay:MS; may be repeated\n"
           "  --proxy-auth U:P    require 'Proxy-Authorization: Basic' with U:P on\n"
           "                      absolute-form and CONNECT requests\n"
           "  --allow-unsigned    accept requests whose signature is missing or wrong\n"
           "  --dev               development mode: newreg and sync answers also set\n"
           "                      MANUALSYNCTIMETHRESHOLD:0 (a manual sync is allowed at\n"
           "                      once) and AUTOSYNCTIMETHRESHOLD:1 (an automatic sync every\n"
           "                      minute) in their ****CONFIG section, unless the script's\n"
           "                      answer sets the same key\n"
           "  --idle-timeout MS   close a connection that sends nothing for MS (10000)\n"
           "  --hold-max MS       longest hold for the hang and no-close faults (120000)\n"
           "  --max-body BYTES    refuse larger request bodies with 413 (16777216)\n"
           "  --max-text BYTES    refuse uploads that inflate to more (268435456)\n"
           "  --max-connections N connections served at the same time (16)\n"
           "  --help              this text\n"
           "\n"
           "stdout: 'LISTENING 127.0.0.1:PORT' first (with --dev, a 'dev mode: ...' line\n"
           "after it), then one 'REQUEST key=value ...' line per connection, and\n"
           "'STOPPED' after SIGTERM or SIGINT.\n";
}

bool parseOptions(int argc, char** argv, Options& out, std::string& error) {
    unsigned long long number = 0;
    const std::map<std::string, std::function<bool(const std::string&)>> valued = {
        {"--port",
         [&](const std::string& v) {
             if (!parseUnsigned(v, 65535, number)) return false;
             out.port = static_cast<uint16_t>(number);
             return true;
         }},
        {"--port-file",
         [&](const std::string& v) {
             out.portFile = v;
             return !v.empty();
         }},
        {"--script",
         [&](const std::string& v) {
             out.scriptPath = v;
             return !v.empty();
         }},
        {"--out",
         [&](const std::string& v) {
             out.outDir = v;
             return !v.empty();
         }},
        {"--aes-key",
         [&](const std::string& v) {
             out.aesKeyHex = v;
             return v.size() == 32 &&
                    v.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
         }},
        {"--cert",
         [&](const std::string& v) {
             out.certFile = v;
             return !v.empty();
         }},
        {"--key",
         [&](const std::string& v) {
             out.keyFile = v;
             return !v.empty();
         }},
        {"--fault",
         [&](const std::string& v) {
             out.faults.push_back(v);
             return !v.empty();
         }},
        {"--proxy-auth",
         [&](const std::string& v) {
             out.proxyAuth = v;
             return v.find(':') != std::string::npos;
         }},
        {"--idle-timeout",
         [&](const std::string& v) {
             if (!parseUnsigned(v, 3600000, number) || number == 0) return false;
             out.idleTimeoutMs = static_cast<unsigned>(number);
             return true;
         }},
        {"--hold-max",
         [&](const std::string& v) {
             if (!parseUnsigned(v, 3600000, number)) return false;
             out.holdMaxMs = static_cast<unsigned>(number);
             return true;
         }},
        {"--max-body",
         [&](const std::string& v) {
             if (!parseUnsigned(v, 1ull << 30, number)) return false;
             out.maxBody = static_cast<size_t>(number);
             return true;
         }},
        // The text is inflated into memory whole; gzip shrinks event text
        // several times, so this ceiling is well above --max-body's.
        {"--max-text",
         [&](const std::string& v) {
             if (!parseUnsigned(v, 1ull << 32, number)) return false;
             out.maxText = static_cast<size_t>(number);
             return true;
         }},
        {"--max-connections",
         [&](const std::string& v) {
             if (!parseUnsigned(v, 256, number) || number == 0) return false;
             out.maxConnections = static_cast<unsigned>(number);
             return true;
         }},
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            continue;
        }
        if (arg == "--allow-unsigned") {
            out.allowUnsigned = true;
            continue;
        }
        if (arg == "--dev") {
            out.dev = true;
            continue;
        }
        std::string value;
        bool haveValue = false;
        const size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            haveValue = true;
        }
        const auto it = valued.find(arg);
        if (it == valued.end()) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        if (!haveValue) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!it->second(value)) {
            error = "bad value '" + value + "' for " + arg;
            return false;
        }
    }
    if (out.certFile.empty() != out.keyFile.empty()) {
        error = "--cert and --key go together";
        return false;
    }
    return true;
}

}  // namespace ZEBCallHome
