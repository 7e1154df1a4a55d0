#pragma once
// Readers of a call-home response once it is split into lines: field
// lookup, the "****CONFIG" section and the "****REACHOUT" section. The
// lines come from a server and are untrusted; every reader checks lengths
// before it indexes and rejects what it cannot read whole.
//
// Stateless free functions; any thread. applyConfigSection takes the
// configuration file's own lock through its setter.

#include <cstdint>
#include <string>
#include <vector>

namespace ZEBInternal {

class ConfigFile;

// One reach-out message as the server describes it. Width and height stay
// text: the host receives them as text.
struct ReachOutMessage {
    std::string width;
    std::string height;
    int32_t position = 0;
    std::string content;

    bool operator==(const ReachOutMessage& other) const {
        return width == other.width && height == other.height && position == other.position &&
               content == other.content;
    }
};

// The text split at line feeds, each line trimmed of spaces, tabs, carriage
// returns and line feeds, empty lines dropped.
std::vector<std::string> splitResponseLines(const std::string& text);

// The rest of the first line that starts with key (key includes its colon).
// False when key is empty or no line starts with it.
bool findResponseValue(const std::vector<std::string>& lines, const std::string& key,
                       std::string& value);

// Splits at the first colon; the key keeps the colon, the value is the rest
// (possibly empty). False when there is no colon or it is the first
// character.
bool splitField(const std::string& line, std::string& key, std::string& value);

// Hands every field between the first line starting with "****CONFIG" and
// the next line starting with "****" to file.applyServerSetting; lines that
// are not fields and keys the file refuses are skipped. True when the
// section header was found, even with nothing in it. Does not save.
bool applyConfigSection(const std::vector<std::string>& lines, ConfigFile& file);

// Reads the first "****REACHOUT" section. True, with out filled, only when
// "DIMENSIONS:", "SCREENPOSITION:" and "MESSAGECONTENT:" were all given
// and valid and no other line stands in the section; out is untouched
// otherwise.
bool parseReachOut(const std::vector<std::string>& lines, ReachOutMessage& out);

}  // namespace ZEBInternal
