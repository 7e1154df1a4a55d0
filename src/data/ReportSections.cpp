#include "data/ReportSections.h"

#include "data/AppData.h"
#include "data/SectionText.h"

namespace ZEBInternal {

std::string reportSections(AppData& appData, bool sendReachOut, bool optOut) {
    std::string block;
    block.reserve(1024);
    if (!optOut) {
        appendSection(block, "PRODINFO", appData.productInfo().productSectionText());
        appendSection(block, "SYSINFO", appData.systemInfo().sectionText());
    }
    appendSection(block, "FINGERPRINTS", appData.fingerprint().sectionText());
    if (!optOut) appendSection(block, "CUSTOM", appData.customValues().customSectionText());
    std::string instructions;
    appendSectionLine(instructions, "SENDREACHOUT", sendReachOut ? "1" : "0");
    appendSectionLine(instructions, "OPTOUT", optOut ? "1" : "0");
    appendSection(block, "INSTRUCTIONS", instructions);
    return block;
}

}  // namespace ZEBInternal
