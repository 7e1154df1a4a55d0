#pragma once
// The distribution as "lsb_release -a" describes it, built from the
// os-release file that command reads, without running it. Stateless; any
// thread.

#include <map>
#include <string>

namespace ZEBInternal {

struct ProbeEnvironment;

// The assignments of an os-release text read the way a shell sources it:
// NAME=value with double quotes (backslash escaping $ ` " \ and line ends),
// single quotes or backslashes; comments and other lines are passed over.
std::map<std::string, std::string> parseOsRelease(const std::string& text);

// "Distributor ID:", "Description:", "Release:" and "Codename:" lines, each
// a tab and its value, as lsb_release -a prints them from /etc/os-release
// (else /usr/lib/os-release): the ID with its first letter in upper case,
// or NAME when the two differ only in case; PRETTY_NAME; VERSION_ID;
// VERSION_CODENAME; "n/a" for what is empty. Empty text when neither file
// can be read, as when the command is missing.
std::string lsbReleaseText(const ProbeEnvironment& env);

}  // namespace ZEBInternal
