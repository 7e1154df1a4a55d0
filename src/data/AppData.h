#pragma once
// The application data stores of one client: custom properties, product
// information, system information and fingerprints. Built by
// zebCreateConfig; the stores themselves arrive with later work.

namespace ZEBInternal {

struct RuntimeSettings;

class AppData {
public:
    // settings is borrowed from the SDK, which outlives this.
    explicit AppData(const RuntimeSettings* settings) : settings_(settings) {}
    AppData(const AppData&) = delete;
    AppData& operator=(const AppData&) = delete;

private:
    [[maybe_unused]] const RuntimeSettings* settings_;
};

}  // namespace ZEBInternal
