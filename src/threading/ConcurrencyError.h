#pragma once
// The one message shape shared by every failure of the locking layer and the
// worker threads: "<kind> '<name>' <operation> (<code>)". The kind is left out
// when empty, the quoted name when empty, and the code for misuse reports
// (operation words that begin with "BUG - ") and other failures without a
// POSIX result.

#include <string>

namespace ZEBInternal {

// "<kind> '<name>' <operation>", parts left out as described above.
std::string concurrencyMessage(const std::string& kind, const std::string& name,
                               const std::string& operation);

// The same message followed by " (<code>)", for a failed POSIX call.
std::string concurrencyMessage(const std::string& kind, const std::string& name,
                               const std::string& operation, int code);

// Throw ZEBConcurrencyException with the messages above.
[[noreturn]] void throwConcurrencyError(const std::string& kind, const std::string& name,
                                        const std::string& operation);
[[noreturn]] void throwConcurrencyError(const std::string& kind, const std::string& name,
                                        const std::string& operation, int code);

}  // namespace ZEBInternal
