#include "Output.h"

#include <algorithm>
#include <cstdio>

namespace ZEBInspect {

namespace {

constexpr size_t kMaxCellChars = 72;

// Length of the valid UTF-8 sequence starting at text[i], or 0.
size_t utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

std::string hexByte(unsigned char c, const char* prefix) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%s%02X", prefix, c);
    return buf;
}

size_t charCount(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

}  // namespace

std::string cellText(const std::string& text, size_t maxChars) {
    if (maxChars == 0) maxChars = kMaxCellChars;
    std::string out;
    size_t chars = 0;
    for (size_t i = 0; i < text.size() && chars <= maxChars;) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::string piece;
        size_t consumed = 1;
        if (c == '\n') {
            piece = "\\n";
        } else if (c == '\t') {
            piece = "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            piece = hexByte(c, "\\x");
        } else if (const size_t n = utf8SequenceLength(text, i); n > 1) {
            // C1 controls (U+0080 to U+009F) would move a terminal too.
            if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)
                piece = hexByte(static_cast<unsigned char>(text[i + 1]), "\\u00");
            else
                piece = text.substr(i, n);
            consumed = n;
        } else if (n == 0) {
            piece = hexByte(c, "\\x");
        } else {
            piece = std::string(1, static_cast<char>(c));
        }
        out += piece;
        chars += charCount(piece);
        i += consumed;
    }
    if (chars > maxChars) {
        // Cut back to maxChars - 3 characters and mark the cut.
        size_t keep = 0;
        size_t seen = 0;
        for (; keep < out.size(); ++keep) {
            if ((static_cast<unsigned char>(out[keep]) & 0xC0) != 0x80 && seen++ == maxChars - 3)
                break;
        }
        out = out.substr(0, keep) + "...";
    }
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t n = utf8SequenceLength(text, i);
        if (n == 0) {
            out += "\\ufffd";  // not UTF-8: the replacement character
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(text, i, n);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += hexByte(c, "\\u00");
        } else {
            out += static_cast<char>(c);
        }
        i += n;
    }
    return out + "\"";
}

std::string jsonNumberOrString(const std::string& text) {
    // The JSON grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    size_t i = 0;
    const auto digits = [&]() {
        const size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - from;
    };
    if (i < text.size() && text[i] == '-') ++i;
    const size_t intStart = i;
    bool ok = digits() > 0 && (text[intStart] != '0' || i == intStart + 1);
    if (ok && i < text.size() && text[i] == '.') {
        ++i;
        ok = digits() > 0;
    }
    if (ok && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        ok = digits() > 0;
    }
    return ok && i == text.size() ? text : jsonString(text);
}

JsonLine::JsonLine(const std::string& record) : text_("{\"record\":" + jsonString(record)) {}

JsonLine& JsonLine::add(const std::string& key, const std::string& value) {
    return addRaw(key, jsonString(value));
}

JsonLine& JsonLine::add(const std::string& key, uint64_t value) {
    return addRaw(key, std::to_string(value));
}

JsonLine& JsonLine::addNumber(const std::string& key, const std::string& text) {
    return addRaw(key, jsonNumberOrString(text));
}

JsonLine& JsonLine::addBool(const std::string& key, bool value) {
    return addRaw(key, value ? "true" : "false");
}

JsonLine& JsonLine::addRaw(const std::string& key, const std::string& json) {
    text_ += "," + jsonString(key) + ":" + json;
    return *this;
}

void JsonLine::print() const {
    std::printf("%s}\n", text_.c_str());
}

Table::Table(std::vector<std::string> headings) {
    rows_.push_back(std::move(headings));
}

void Table::addRow(std::vector<std::string> cells) {
    for (auto& cell : cells) cell = cellText(cell);
    rows_.push_back(std::move(cells));
}

void Table::print(const std::string& indent, bool withHeadings,
                  const std::vector<size_t>& minWidths) const {
    std::vector<size_t> widths = minWidths;
    for (const auto& row : rows_) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], charCount(row[c]));
    }
    for (size_t r = withHeadings ? 0 : 1; r < rows_.size(); ++r) {
        const auto& row = rows_[r];
        std::string line = indent;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line += std::string(widths[c] - charCount(row[c]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::printf("%s\n", line.c_str());
    }
}

std::string withThousands(uint64_t value) {
    std::string digits = std::to_string(value);
    for (size_t pos = digits.size(); pos > 3; pos -= 3) digits.insert(pos - 3, ",");
    return digits;
}

}  // namespace ZEBInspect
