// Checks an explanation report as the restricted HTML its writer emits;
// shared by the report's tests and the --explain tests.
#pragma once

#include <cctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace w2r::test {

using std::string;

inline bool validUtf8(const string& s) {
    for (std::size_t i = 0; i < s.size();) {
        unsigned char b = s[i];
        std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; k++)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

// The reference at s[i] of the five the report writes, or null.
inline const std::pair<const char*, char>* referenceAt(const string& s, std::size_t i) {
    static const std::pair<const char*, char> refs[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&amp;", '&'}};
    for (const auto& r : refs)
        if (s.compare(i, std::char_traits<char>::length(r.first), r.first) == 0) return &r;
    return nullptr;
}

inline string unescape(const string& s) {
    string out;
    for (std::size_t i = 0; i < s.size();) {
        auto r = s[i] == '&' ? referenceAt(s, i) : nullptr;
        out += r ? r->second : s[i];
        i += r ? std::char_traits<char>::length(r->first) : 1;
    }
    return out;
}

// Reads the report as the restricted HTML the writer emits: known elements,
// all closed in order, double-quoted attributes without '<' or '"', no raw
// '<' or '>' in text, only the five references. Returns the first fault
// ("" when none) and the iframe's srcdoc, decoded.
inline string checkStructure(const string& h, string& srcdoc) {
    static const std::set<string> known = {"html", "head", "meta",  "title", "style", "body", "h1", "h2", "p",  "dl", "dt",   "dd",
                                           "br",   "code", "table", "thead", "tbody", "tr",   "th", "td", "ul", "li", "span", "iframe"};
    const string doctype = "<!DOCTYPE html>\n";
    if (h.compare(0, doctype.size(), doctype) != 0) return "no doctype";
    if (!validUtf8(h)) return "not UTF-8";
    std::vector<string> open;
    int iframes = 0;
    for (std::size_t i = doctype.size(); i < h.size();) {
        if (h[i] == '&' && !referenceAt(h, i)) return "bad reference at " + std::to_string(i);
        if (h[i] == '>') return "raw > at " + std::to_string(i);
        if (h[i] != '<') {
            i++;
            continue;
        }
        bool closing = h[i + 1] == '/';
        std::size_t j = i + (closing ? 2 : 1), nameAt = j;
        while (j < h.size() && std::isalnum(static_cast<unsigned char>(h[j]))) j++;
        string name = h.substr(nameAt, j - nameAt);
        if (!known.count(name)) return "unknown element '" + name + "' at " + std::to_string(i);
        while (!closing && h[j] == ' ') {
            std::size_t eq = h.find_first_of("=> ", j + 1);
            if (eq == string::npos) return "tag not closed";
            j = eq;
            if (h[j] != '=') continue;
            if (h[j + 1] != '"') return "unquoted attribute at " + std::to_string(j);
            std::size_t q = h.find('"', j + 2);
            string value = h.substr(j + 2, q - j - 2);
            if (value.find('<') != string::npos) return "< in attribute";
            if (h.compare(h.rfind(' ', j), 8, " srcdoc=") == 0) srcdoc = unescape(value);
            j = q + 1;
        }
        if (h[j] != '>') return "tag not closed at " + std::to_string(j);
        i = j + 1;
        if (closing) {
            if (open.empty() || open.back() != name) return "misnested </" + name + ">";
            open.pop_back();
        } else if (name != "meta" && name != "br") {
            open.push_back(name);
            iframes += name == "iframe";
            if (name == "style" || name == "title" || name == "iframe") {
                std::size_t end = h.find("</" + name + ">", i);
                if (end == string::npos || h.find('<', i) != end) return "< inside " + name;
                if (name == "iframe" && end != i) return "iframe has content";
                i = end;
            }
        }
    }
    if (!open.empty()) return "unclosed <" + open.back() + ">";
    return iframes <= 1 ? "" : "more than one iframe";
}

}  // namespace w2r::test
