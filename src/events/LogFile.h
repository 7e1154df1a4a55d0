#pragma once
// The active and closed event log files of this client in the data
// directory. Created with the workers; the file format arrives with the
// offline pipeline.

namespace ZEBInternal {

class Configuration;

class LogFile {
public:
    // configuration is borrowed: the SDK deletes it after this.
    explicit LogFile(Configuration* configuration) : configuration_(configuration) {}
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

private:
    [[maybe_unused]] Configuration* configuration_;
};

}  // namespace ZEBInternal
