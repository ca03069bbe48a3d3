// A slow scanner that applies the rule table literally: at every position
// each of the 290 rules is tried as a pattern that yields all the lengths
// it can match, the longest match wins and ties go to the earlier rule.
// It shares nothing with the real scanner but the element-name table.
#pragma once

#include <algorithm>
#include <climits>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scanner/vobHTMLParser.h"

namespace ref {

struct Item {
    int code;
    std::string text;
    int value;  // entities only
};

// A pattern maps (text, start) to every position where a match can end
// (sorted, without repeats).
using Ends = std::vector<size_t>;
using Pattern = std::function<Ends(const std::string&, size_t)>;

inline Pattern byteIf(std::function<bool(unsigned char)> ok) {
    return [ok](const std::string& s, size_t i) {
        Ends e;
        if (i < s.size() && s[i] != 0 && ok(static_cast<unsigned char>(s[i]))) e.push_back(i + 1);
        return e;
    };
}

inline Pattern lit(const std::string& word, bool anyCase = false) {
    return [word, anyCase](const std::string& s, size_t i) {
        Ends e;
        if (s.size() - i < word.size()) return e;
        for (size_t k = 0; k < word.size(); ++k) {
            char a = s[i + k], b = word[k];
            if (anyCase) {
                a = static_cast<char>(tolower(static_cast<unsigned char>(a)));
                b = static_cast<char>(tolower(static_cast<unsigned char>(b)));
            }
            if (a != b) return e;
        }
        e.push_back(i + word.size());
        return e;
    };
}

inline Pattern seq(std::vector<Pattern> parts) {
    return [parts](const std::string& s, size_t i) {
        Ends at = parts[0](s, i);
        for (size_t k = 1; k < parts.size() && !at.empty(); ++k) {
            Ends next;
            for (size_t a : at)
                for (size_t b : parts[k](s, a)) next.push_back(b);
            std::sort(next.begin(), next.end());
            next.erase(std::unique(next.begin(), next.end()), next.end());
            at.swap(next);
        }
        return at;
    };
}

inline Pattern alt(std::vector<Pattern> choices) {
    return [choices](const std::string& s, size_t i) {
        Ends all;
        for (const Pattern& p : choices)
            for (size_t b : p(s, i)) all.push_back(b);
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        return all;
    };
}

inline Pattern star(Pattern p) {
    return [p](const std::string& s, size_t i) {
        std::set<size_t> reached{i};
        std::vector<size_t> todo{i};
        while (!todo.empty()) {
            size_t a = todo.back();
            todo.pop_back();
            for (size_t b : p(s, a))
                if (reached.insert(b).second) todo.push_back(b);
        }
        return Ends(reached.begin(), reached.end());
    };
}

inline Pattern plus(Pattern p) { return seq({p, star(p)}); }
inline Pattern opt(Pattern p) { return alt({p, lit("")}); }

inline bool isWs(unsigned char b) { return b == ' ' || b == '\t' || b == '\n' || b == '\r'; }
inline bool isPunct(unsigned char b) {
    return (b >= 0x21 && b <= 0x2F) || (b >= 0x3A && b <= 0x40) || (b >= 0x5B && b <= 0x60) ||
           (b >= 0x7B && b <= 0x7E);
}

struct Rule {
    Pattern pattern;
    int code;
    int value;          // named entities
    bool numeric;       // numeric entity: value from the digits
};

// The entity names written independently of the scanner's table: the four
// markup names, then the Latin-1 names in code order from 160.
inline std::vector<std::pair<std::string, int>> entityNames() {
    std::vector<std::pair<std::string, int>> list = {{"quot", 34}, {"amp", 38}, {"lt", 60}, {"gt", 62}};
    std::istringstream latin1(
        "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr "
        "deg plusmn sup2 sup3 acute micro para middot cedil sup1 ordm raquo frac14 frac12 "
        "frac34 iquest Agrave Aacute Acirc Atilde Auml Aring AElig Ccedil Egrave Eacute Ecirc "
        "Euml Igrave Iacute Icirc Iuml ETH Ntilde Ograve Oacute Ocirc Otilde Ouml times Oslash "
        "Ugrave Uacute Ucirc Uuml Yacute THORN szlig agrave aacute acirc atilde auml aring "
        "aelig ccedil egrave eacute ecirc euml igrave iacute icirc iuml eth ntilde ograve "
        "oacute ocirc otilde ouml divide oslash ugrave uacute ucirc uuml yacute thorn yuml");
    std::string name;
    for (int value = 160; latin1 >> name; ++value) list.push_back({name, value == 160 ? 32 : value});
    return list;
}

inline const std::vector<Rule>& rules() {
    static const std::vector<Rule> table = [] {
        Pattern ws = byteIf(isWs);
        Pattern notDash = byteIf([](unsigned char b) { return b != '-'; });
        auto quoted = [](char q) {
            return seq({lit(std::string(1, q)), star(byteIf([q](unsigned char b) { return b != static_cast<unsigned char>(q); })),
                        lit(std::string(1, q))});
        };
        Pattern r = alt({byteIf([](unsigned char b) { return b != '>' && b != '"' && b != '\''; }),
                         quoted('"'), quoted('\'')});
        Pattern q = alt({byteIf([](unsigned char b) { return b != '>' && b != '"' && b != '\'' && b != '!'; }),
                         quoted('"'), quoted('\'')});
        std::vector<Rule> t;
        t.push_back({seq({lit("<!"), star(ws), lit("--"), star(alt({notDash, seq({lit("-"), notDash})})),
                          lit("--"), star(ws), lit(">")}),
                     92, 0, false});
        t.push_back({seq({lit("<!"), star(byteIf([](unsigned char b) { return b != '>'; })), lit(">")}), 92, 0, false});
        for (int id = 91; id >= 1; --id) {
            std::string name = html_tag_names[id];
            t.push_back({seq({lit("</"), lit(name, true), star(r), lit(">")}), 1000 + id, 0, false});
            t.push_back({seq({lit("<"), lit(name, true), star(r), lit(">")}), id, 0, false});
        }
        t.push_back({seq({lit("</"), plus(q), lit(">")}), 1000, 0, false});
        t.push_back({seq({lit("<"), plus(q), lit(">")}), 0, 0, false});
        t.push_back({seq({lit("&#"), plus(byteIf([](unsigned char b) { return b >= '0' && b <= '9'; })), opt(lit(";"))}),
                     2004, 0, true});
        for (const auto& e : entityNames())
            t.push_back({seq({lit("&"), lit(e.first), opt(lit(";"))}), 2004, e.second, false});
        t.push_back({plus(byteIf([](unsigned char b) { return !isWs(b) && !isPunct(b); })), 2000, 0, false});
        t.push_back({byteIf(isPunct), 2001, 0, false});
        t.push_back({byteIf(isWs), 2003, 0, false});
        return t;
    }();
    return table;
}

// The decimal value of the digits of "&#digits;?", INT_MAX when too large.
inline int numericValue(const std::string& text) {
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') continue;
        v = v * 10 + (c - '0');
        if (v > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(v);
}

// Items of the text up to its first NUL.
inline std::vector<Item> scan(const std::string& input) {
    std::string s = input.substr(0, input.find('\0'));
    std::vector<Item> items;
    size_t pos = 0;
    while (pos < s.size()) {
        const Rule* best = nullptr;
        size_t bestLen = 0;
        for (const Rule& rule : rules()) {
            Ends ends = rule.pattern(s, pos);
            if (ends.empty()) continue;
            size_t len = ends.back() - pos;
            if (len > bestLen) {
                bestLen = len;
                best = &rule;
            }
        }
        std::string text = s.substr(pos, bestLen);
        items.push_back({best->code, text, best->numeric ? numericValue(text) : best->value});
        pos += bestLen;
    }
    return items;
}

}  // namespace ref
