#pragma once
// Reading event logs the way the server does: lines of "$"-separated fields
// with backslash escapes, in log files on disk or in an uploaded text whose
// files are joined by "++0--===--0++" lines.

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace zebtest {

// Unescaped "$"-separated fields of a log line.
inline std::vector<std::string> eventFields(const std::string& line) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            out.back().push_back(line[++i]);
        } else if (line[i] == '$') {
            out.emplace_back();
        } else {
            out.back().push_back(line[i]);
        }
    }
    return out;
}

inline std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Names of the event log files in dir ("zeblogV5_..."), oldest stamp first.
inline std::vector<std::string> logFileNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& name : namesIn(dir)) {
        if (name.rfind("zeblogV5_", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.substr(a.rfind('_')) < b.substr(b.rfind('_'));
    });
    return names;
}

// Lines of every log file in dir, files oldest first.
inline std::vector<std::vector<std::string>> logFiles(const std::string& dir) {
    std::vector<std::vector<std::string>> files;
    for (const auto& name : logFileNames(dir)) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        files.push_back(lines);
    }
    return files;
}

// The files of an upload text: split at its separator lines, empty lines
// (the one after each file) dropped.
inline std::vector<std::vector<std::string>> uploadedFiles(const std::string& text) {
    std::vector<std::vector<std::string>> files(1);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line == "++0--===--0++") {
            files.emplace_back();
        } else if (!line.empty()) {
            files.back().push_back(line);
        }
    }
    return files;
}

}  // namespace zebtest
