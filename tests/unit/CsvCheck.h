// A strict reader of the CSV log for the tests: it accepts nothing the format does not allow.
#pragma once
#include <string>
#include <vector>

// Strict RFC 4180 over the whole log: every record five quoted fields ended by CR LF (a CR or
// LF inside a quoted field is allowed). False on anything else.
inline bool ParseCsv(const std::string& text, std::vector<std::vector<std::string>>& records) {
    size_t i = 0;
    while (i < text.size()) {
        std::vector<std::string> fields;
        for (;;) {
            if (text[i] != '"')
                return false;
            std::string field;
            for (++i;; ++i) {
                if (i >= text.size())
                    return false;
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i];
            }
            fields.push_back(field);
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            if (text.compare(i, 2, "\r\n") != 0)
                return false;
            i += 2;
            break;
        }
        if (fields.size() != 5)
            return false;
        records.push_back(fields);
    }
    return true;
}
