#pragma once
// The door through which a sync reaches the event log: flush() writes what
// is queued and closes the active file so that everything written can be
// uploaded; getLogFiles() names the files. The log writer implements it.
// Called on the sync manager's thread.

#include <string>
#include <vector>

namespace ZEBInternal {

class ZEBLogFileSource {
public:
    virtual ~ZEBLogFileSource() = default;

    virtual void flush() = 0;
    // Closed files, then (includeActive) active files; onlyStale keeps only
    // active files that no running process still writes.
    virtual std::vector<std::string> getLogFiles(bool includeActive, bool onlyStale) = 0;
};

}  // namespace ZEBInternal
