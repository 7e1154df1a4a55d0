#include "config/LeftoverTemporaries.h"

#include "config/ConfigFileNames.h"
#include "util/Files.h"

namespace ZEBInternal {

unsigned removeLeftoverConfigTemporaries(const std::string& dataDirectory,
                                         const std::string& prefix, uint32_t minAgeSeconds) {
    unsigned removed = 0;
    for (const std::string& name : listDirectory(dataDirectory)) {
        if (!isConfigTemporary(name, prefix)) continue;
        const std::string path = dataDirectory + "/" + name;
        if (fileAgeSeconds(path) > minAgeSeconds && removeFile(path)) ++removed;
    }
    return removed;
}

}  // namespace ZEBInternal
