// A slow scanner that applies the rule table literally: at every position each of the 290 rules is tried
// as a pattern that yields all the lengths it can match; the longest match wins, ties go to the earlier
// rule. It shares nothing with the real scanner but the element-name table.
#pragma once
#include <cctype>
#include <climits>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scanner/scanner.h"
namespace ref {
struct Item {
    int code;
    std::string text;
    int value;
};  // value: entities only

// A pattern maps (text, start) to every position where a match can end.
using Ends = std::set<size_t>;
using Pattern = std::function<Ends(const std::string&, size_t)>;
using ByteSet = std::function<bool(unsigned char)>;

inline Pattern byteIf(ByteSet ok) {  // one byte of the set, never NUL
    return [ok](const std::string& s, size_t i) {
        return i < s.size() && s[i] != 0 && ok(static_cast<unsigned char>(s[i])) ? Ends{i + 1} : Ends{};
    };
}
inline ByteSet notIn(std::string bytes) {
    return [bytes](unsigned char b) { return bytes.find(static_cast<char>(b)) == std::string::npos; };
}
inline Pattern lit(std::string word) {
    return [word](const std::string& s, size_t i) { return s.compare(i, word.size(), word) == 0 ? Ends{i + word.size()} : Ends{}; };
}
inline Pattern seq(std::vector<Pattern> parts) {
    return [parts](const std::string& s, size_t i) {
        Ends at{i};
        for (const Pattern& p : parts) {
            Ends next;
            for (size_t a : at)
                for (size_t b : p(s, a)) next.insert(b);
            at.swap(next);
        }
        return at;
    };
}
inline Pattern alt(std::vector<Pattern> choices) {
    return [choices](const std::string& s, size_t i) {
        Ends all;
        for (const Pattern& p : choices)
            for (size_t b : p(s, i)) all.insert(b);
        return all;
    };
}
inline Pattern star(Pattern p) {
    return [p](const std::string& s, size_t i) {
        Ends reached{i};
        for (std::vector<size_t> todo{i}; !todo.empty();) {
            size_t a = todo.back();
            todo.pop_back();
            for (size_t b : p(s, a))
                if (reached.insert(b).second) todo.push_back(b);
        }
        return reached;
    };
}
inline Pattern plus(Pattern p) { return seq({p, star(p)}); }
inline Pattern opt(Pattern p) { return alt({p, lit("")}); }
inline Pattern anyCase(std::string word) {
    std::vector<Pattern> letters;
    for (unsigned char c : word) letters.push_back(alt({lit({char(tolower(c))}), lit({char(toupper(c))})}));
    return seq(letters);
}
inline bool isWs(unsigned char b) { return b == ' ' || b == '\t' || b == '\n' || b == '\r'; }
inline bool isDigit(unsigned char b) { return b >= '0' && b <= '9'; }
inline bool isPunct(unsigned char b) {
    return (b >= 0x21 && b <= 0x2F) || (b >= 0x3A && b <= 0x40) || (b >= 0x5B && b <= 0x60) || (b >= 0x7B && b <= 0x7E);
}

struct Rule {
    Pattern pattern;
    int code, value;
};  // value: entities; -1 takes it from the digits

inline std::vector<Rule> makeRules() {
    std::vector<Rule> t;
    auto add = [&t](int code, int value, std::vector<Pattern> parts) { t.push_back({seq(parts), code, value}); };
    auto quoted = [](std::string q) { return seq({lit(q), star(byteIf(notIn(q))), lit(q)}); };
    Pattern r = alt({byteIf(notIn(">\"'")), quoted("\""), quoted("'")});
    Pattern q = alt({byteIf(notIn(">\"'!")), quoted("\""), quoted("'")});
    Pattern ws = star(byteIf(isWs)), notDash = byteIf(notIn("-"));
    add(92, 0, {lit("<!"), ws, lit("--"), star(alt({notDash, seq({lit("-"), notDash})})), lit("--"), ws, lit(">")});
    add(92, 0, {lit("<!"), star(byteIf(notIn(">"))), lit(">")});
    for (int id = 91; id >= 1; --id) {
        add(1000 + id, 0, {lit("</"), anyCase(w2r::kTagNames[id]), star(r), lit(">")});
        add(id, 0, {lit("<"), anyCase(w2r::kTagNames[id]), star(r), lit(">")});
    }
    add(1000, 0, {lit("</"), plus(q), lit(">")});
    add(0, 0, {lit("<"), plus(q), lit(">")});
    add(2004, -1, {lit("&#"), plus(byteIf(isDigit)), opt(lit(";"))});
    // Entity names, independent of the scanner's: four markup ones, then Latin-1 in code order from 160.
    std::vector<std::pair<std::string, int>> names = {{"quot", 34}, {"amp", 38}, {"lt", 60}, {"gt", 62}};
    std::istringstream latin1(
        "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg plusmn sup2 sup3 acute "
        "micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 iquest Agrave Aacute Acirc Atilde Auml Aring "
        "AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute Icirc Iuml ETH Ntilde Ograve Oacute Ocirc Otilde Ouml "
        "times Oslash Ugrave Uacute Ucirc Uuml Yacute THORN szlig agrave aacute acirc atilde auml aring aelig ccedil "
        "egrave eacute ecirc euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc otilde ouml divide oslash "
        "ugrave uacute ucirc uuml yacute thorn yuml");
    int code = 160;  // nbsp delivers an ordinary space
    for (std::string name; latin1 >> name; ++code) names.push_back({name, code == 160 ? 32 : code});
    for (const auto& [name, value] : names) add(2004, value, {lit("&"), lit(name), opt(lit(";"))});
    add(2000, 0, {plus(byteIf([](unsigned char b) { return !isWs(b) && !isPunct(b); }))});
    add(2001, 0, {byteIf(isPunct)});
    add(2003, 0, {byteIf(isWs)});
    return t;
}

inline int numericValue(const std::string& text) {  // of "&#digits;?", INT_MAX when too large
    long long v = 0;
    for (char c : text)
        if (isDigit(c) && (v = v * 10 + (c - '0')) > INT_MAX) return INT_MAX;
    return static_cast<int>(v);
}

inline std::vector<Item> scan(const std::string& input) {  // items of the text up to its first NUL
    std::string s = input.substr(0, input.find('\0'));
    std::vector<Item> items;
    static const std::vector<Rule> rules = makeRules();
    for (size_t pos = 0; pos < s.size();) {
        const Rule* best = nullptr;
        size_t bestLen = 0;
        for (const Rule& rule : rules)  // strictly longer only: ties go to the earlier rule
            for (size_t end : rule.pattern(s, pos))
                if (end - pos > bestLen) bestLen = end - pos, best = &rule;
        std::string text = s.substr(pos, bestLen);
        items.push_back({best->code, text, best->value < 0 ? numericValue(text) : best->value});
        pos += bestLen;
    }
    return items;
}
}  // namespace ref
