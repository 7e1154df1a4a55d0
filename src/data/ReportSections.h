#pragma once
// The block of report sections that registration and sync requests carry
// after their envelope: PRODINFO, SYSINFO, FINGERPRINTS, CUSTOM and
// INSTRUCTIONS, in this order, empty sections left out. Runs on the thread
// building the request; takes each store's lock in turn, never two at once.

#include <string>

namespace ZEBInternal {

class AppData;

// An opted-out client sends only its fingerprints and its instructions.
// May block for a system-information collection or a fingerprint
// recomputation when those are due.
std::string reportSections(AppData& appData, bool sendReachOut, bool optOut);

}  // namespace ZEBInternal
