#pragma once
// zeb-inspect's view of what zeb-callhome received, from its --out folder:
// the decoded uploads ("upload-NNNNNN.log", log files joined by
// "++0--===--0++" lines) as one table of events, and a summary built from
// "requests.log" (one REQUEST line per connection): requests by type,
// events by application and kind, and the upload bytes before and after
// compression. Reads only. Single-threaded.

#include <string>

namespace ZEBInspect {

// Prints the report to stdout; the exit status as for inspectDataDirectory.
int inspectReceived(const std::string& outDir, bool json);

}  // namespace ZEBInspect
