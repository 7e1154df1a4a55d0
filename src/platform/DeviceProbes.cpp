#include "platform/DeviceProbes.h"

#include "platform/ProbeEnvironment.h"
#include "platform/ProbeFiles.h"
#include "platform/ProbeText.h"
#include "util/Strings.h"

namespace ZEBInternal {

namespace {

// USB touch screens: vendor ID, "|", the product IDs separated by ";" or
// "ALL" for every product of that vendor.
const char* const kTouchScreens[] = {
    "0408|3001",
    "0457|0817;10e1",
    "0486|0185",
    "04e7|ALL",
    "04f3|000a;016f;0201;0381",
    "056a|005d;005e;00f6;00f8;0309;034a;034b;0353;0354;0355;0356;0368;037e",
    "0596|ALL",
    "0664|ALL",
    "06cb|0006",
    "088b|4944",
    "0afa|07d2",
    "0c6a|0005",
    "0dfc|ALL",
    "0eef|ALL",
    "10f0|2002",
    "134c|ALL",
    "14c8|0005",
    "14e1|5000",
    "161c|0002",
    "166a|0304;0305",
    "1870|0001",
    "1926|ALL",
    "1aad|0001",
    "1bfd|ALL",
    "1d45|1d45",
    "1f87|0002",
    "1ff7|0013",
    "2087|0a01;0a02;0a03",
    "20b3|0a18",
    "2149|ALL",
    "22b9|ALL",
    "595a|ALL",
    "6615|ALL"};

// The vendor must equal the entry's vendor and the product one of its
// products (or the entry cover ALL). Whole-ID comparison, not "contains":
// an empty or partial ID read from a malformed line would otherwise match
// every entry and report a touch screen that is not there.
bool tableMatches(const std::string& vendor, const std::string& product) {
    if (vendor.empty() || product.empty()) return false;
    const std::string vendorLower = toLower(vendor);
    const std::string productLower = toLower(product);
    for (const char* entry : kTouchScreens) {
        const std::string text(entry);
        const size_t bar = text.find('|');
        if (bar == std::string::npos || bar == 0 || bar + 1 == text.size()) continue;
        if (text.compare(0, bar, vendorLower) != 0) continue;
        const std::string products = text.substr(bar + 1);
        if (startsWith(products, "ALL")) return true;
        for (const std::string& id : split(products, ";"))
            if (id == productLower) return true;
    }
    return false;
}

// The four hex digits after "0x" of a PCI ID file such as "0x10de\n".
std::string readHexId(const std::string& path) {
    const std::string content = readProbePrefix(path, 64);
    return content.size() >= 6 ? content.substr(2, 4) : std::string();
}

}  // namespace

bool isTouchScreenLine(const std::string& line) {
    if (!startsWith(line, "P:  ")) return false;
    const size_t vendorAt = line.find("Vendor=");
    if (vendorAt == std::string::npos) return false;
    const std::string fromVendor = line.substr(vendorAt);
    const size_t vendorStart = fromVendor.find('=') + 1;
    const size_t vendorEnd = fromVendor.find(' ', vendorStart);
    if (vendorEnd == std::string::npos) return false;
    const std::string vendor = fromVendor.substr(vendorStart, vendorEnd - vendorStart);

    const std::string rest = fromVendor.substr(vendorEnd + 1);
    const size_t prodAt = rest.find("ProdID=");
    if (prodAt == std::string::npos || prodAt + 7 >= rest.size()) return false;
    const size_t productStart = rest.find('=') + 1;
    const size_t productEnd = rest.find(' ', productStart);
    const std::string product =
        rest.substr(productStart, productEnd == std::string::npos ? std::string::npos
                                                                  : productEnd - productStart);
    return tableMatches(vendor, product);
}

std::string touchScreenExists(const ProbeEnvironment& env) {
    const std::string devices = readProbePrefix(env.path("/proc/bus/usb/devices"));
    const bool found = forEachLine(
        devices, [](std::string_view line) { return isTouchScreenLine(std::string(line)); });
    return found ? "TRUE" : "FALSE";
}

std::vector<GpuPair> gpus(const ProbeEnvironment& env) {
    std::vector<GpuPair> adapters;
    const std::string dir = env.path("/sys/bus/pci/devices/");
    for (const DirectoryEntry& entry : listEntries(dir)) {
        const std::string device = dir + entry.name;
        if (!startsWith(readProbePrefix(device + "/class", 64), "0x03")) continue;
        std::string vendor = readHexId(device + "/vendor");
        std::string model = readHexId(device + "/device");
        if (!vendor.empty() && !model.empty())
            adapters.emplace_back(std::move(vendor), std::move(model));
    }
    return adapters;
}

}  // namespace ZEBInternal
