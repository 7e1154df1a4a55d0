#pragma once
// The host's numbered custom properties, kept in memory for the running
// instance and reported whole in the CUSTOM section of every sync. Owned by
// AppData; host threads set values while the sync worker reads the
// section. The recursive "AppCustomValue API lock" covers every operation,
// so a section is a consistent snapshot.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "threading/ZEBMutex.h"

namespace ZEBInternal {

class AppCustomValue {
public:
    // Positions at or beyond this are refused (see setValue).
    static constexpr uint32_t kMaxPositions = 1000;

    AppCustomValue();
    AppCustomValue(const AppCustomValue&) = delete;
    AppCustomValue& operator=(const AppCustomValue&) = delete;

    // Stores `value` for property position + 1 (0-based position), adding
    // unset properties before it as needed. The interface layer has
    // already checked the index and cut the value. False, with nothing
    // stored, for a position of kMaxPositions or more: one stray index
    // must not allocate gigabytes of empty entries.
    bool setValue(uint32_t position, const std::string& value);

    // One line per set property in position order, keyed "C" followed by
    // the tens and the units of its 1-based number (C01, C12, C20); empty
    // when none is set.
    std::string customSectionText();

private:
    std::unique_ptr<ZEBMutex> lock_;
    std::vector<std::optional<std::string>> values_;  // guarded by lock_; [0] is property 1
};

}  // namespace ZEBInternal
