#pragma once
// zeb-inspect's view of what zeb-callhome received, from its --out folder:
// the decoded uploads ("upload-NNNNNN.log", log files joined by
// "++0--===--0++" lines) as one table of events, and a summary built from
// "requests.log" (one REQUEST line per connection): requests by type,
// events by application and kind, and the upload bytes before and after
// compression. Reads only. Single-threaded; the follow mode installs its
// own SIGINT and SIGTERM handlers.

#include <string>

namespace ZEBInspect {

// Prints the report to stdout; the exit status as for inspectDataDirectory.
// With follow, prints instead the events already there and then those of
// every new upload (polled every 200 ms, each upload once, stdout flushed
// after each poll), without a summary, until SIGINT or SIGTERM; then 0.
int inspectReceived(const std::string& outDir, bool json, bool follow);

}  // namespace ZEBInspect
