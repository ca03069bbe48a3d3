// The copy of the page shown inside the report: scripts and meta and base
// tags taken out, markers put in where the container and the entries start.
// A light pass over the page's tokens decides where a marker may go: only
// between tokens, never inside a tag, comment or raw-text element.
#include <algorithm>
#include <string>
#include <vector>

#include "explain/explain.h"
#include "explain/text.h"

namespace w2r {

using namespace explain_text;

namespace {

enum class MarkKind { kContainerStart, kEntryStart, kContainerEnd };

struct Mark {
    std::size_t offset;
    MarkKind kind;
    std::size_t number;  // entry number, from 1
};

constexpr std::string_view kMarkStyle =
    "<style>"
    ".w2r-mark{display:inline-block!important;margin:2px!important;"
    "padding:1px 5px!important;font:bold 12px/1.4 sans-serif!important;"
    "color:#fff!important;border-radius:3px!important;position:static!important;"
    "visibility:visible!important;opacity:1!important}"
    ".w2r-box{background:#c0392b!important}"
    ".w2r-entry{background:#1f6fb2!important}"
    "[data-w2r-container]{outline:3px dashed #c0392b!important;outline-offset:2px}"
    "[data-w2r-entry]{outline:2px solid #1f6fb2!important;outline-offset:1px}"
    "</style>";

bool endsName(char c) { return isHtmlSpace(c) || c == '/' || c == '>'; }

// Index just past the '>' that ends a tag, given the index just after its
// name; quoted attribute values may hold '>'.
std::size_t tagEnd(std::string_view s, std::size_t i) {
    std::size_t n = s.size();
    for (;;) {
        while (i < n && (isHtmlSpace(s[i]) || s[i] == '/')) i++;
        if (i >= n) return n;
        if (s[i] == '>') return i + 1;
        i++;  // the first character of a name may be anything, '=' too
        while (i < n && !endsName(s[i]) && s[i] != '=') i++;
        while (i < n && isHtmlSpace(s[i])) i++;
        if (i >= n || s[i] != '=') continue;
        i++;
        while (i < n && isHtmlSpace(s[i])) i++;
        if (i < n && (s[i] == '"' || s[i] == '\'')) {
            std::size_t q = s.find(s[i], i + 1);
            if (q == std::string_view::npos) return n;
            i = q + 1;
        } else {
            while (i < n && !isHtmlSpace(s[i]) && s[i] != '>') i++;
        }
    }
}

// Index just past the comment that starts at i ("<!--").
std::size_t commentEnd(std::string_view s, std::size_t i) {
    std::size_t n = s.size();
    if (i + 4 < n && s[i + 4] == '>') return i + 5;                     // <!-->
    if (i + 5 < n && s[i + 4] == '-' && s[i + 5] == '>') return i + 6;  // <!--->
    for (std::size_t k = i + 4; k + 2 < n; k++) {
        if (s[k] != '-' || s[k + 1] != '-') continue;
        if (s[k + 2] == '>') return k + 3;
        if (k + 3 < n && s[k + 2] == '!' && s[k + 3] == '>') return k + 4;
    }
    return n;
}

// Index of the end tag "</name" that closes a raw-text element, or the end.
std::size_t rawTextEnd(std::string_view s, std::size_t i, std::string_view name) {
    std::size_t n = s.size();
    for (std::size_t k = s.find("</", i); k != std::string_view::npos; k = s.find("</", k + 1)) {
        std::size_t after = k + 2 + name.size();
        if (startsWithNoCase(s, k + 2, name) && (after == n || endsName(s[after]))) return k;
    }
    return n;
}

bool isRawText(std::string_view name) {
    static constexpr std::string_view kRaw[] = {"style",  "textarea", "title",   "xmp",
                                                "iframe", "noembed",  "noframes"};
    return std::find(std::begin(kRaw), std::end(kRaw), name) != std::end(kRaw);
}

class CopyWriter {
public:
    CopyWriter(std::string_view page, std::string& out, std::vector<Mark> marks)
        : page_(page), out_(out), marks_(std::move(marks)) {}

    // Offset of the next marker not yet put in.
    std::size_t nextOffset() const {
        return next_ < marks_.size() ? marks_[next_].offset : std::string_view::npos;
    }

    // Puts in the markers due at or before pos. When a start tag follows at
    // pos and a marker's offset is at it (or only blanks come between), the
    // element is flagged for an outline: returns the attributes to add.
    std::string emitDue(std::size_t pos, bool beforeStartTag) {
        std::string flags;
        while (next_ < marks_.size() && marks_[next_].offset <= pos) {
            const Mark& m = marks_[next_++];
            if (!styled_) {
                out_ += kMarkStyle;
                styled_ = true;
            }
            bool atTag = beforeStartTag;
            for (std::size_t k = m.offset; atTag && k < pos; k++) atTag = isHtmlSpace(page_[k]);
            switch (m.kind) {
            case MarkKind::kContainerStart:
                out_ += "<span class=\"w2r-mark w2r-box\">entry container \u25BC</span>";
                if (atTag) flags += " data-w2r-container";
                break;
            case MarkKind::kEntryStart:
                out_ += "<span class=\"w2r-mark w2r-entry\">entry " + std::to_string(m.number) +
                        "</span>";
                if (atTag && flags.find("data-w2r-entry") == std::string::npos)
                    flags += " data-w2r-entry";
                break;
            case MarkKind::kContainerEnd:
                out_ += "<span class=\"w2r-mark w2r-box\">\u25B2 end of entry container</span>";
                break;
            }
        }
        return flags;
    }

private:
    std::string_view page_;
    std::string& out_;
    std::vector<Mark> marks_;
    std::size_t next_ = 0;
    bool styled_ = false;
};

// The first place at or after pos, within text [pos, end), where a marker
// splits neither a UTF-8 sequence nor a character reference.
std::size_t textBreak(std::string_view s, std::size_t pos, std::size_t end) {
    while (pos < end && (static_cast<unsigned char>(s[pos]) & 0xC0) == 0x80) pos++;
    // A reference is '&', then letters, digits or '#', then an optional ';'.
    std::size_t k = pos;
    while (k > 0 && pos - k < 40) {
        char c = s[k - 1];
        if (c == '&') break;
        if (!(isAsciiAlpha(c) || (c >= '0' && c <= '9') || c == '#')) return pos;
        k--;
    }
    if (k == 0 || s[k - 1] != '&') return pos;
    while (pos < end && (isAsciiAlpha(s[pos]) || (s[pos] >= '0' && s[pos] <= '9'))) pos++;
    if (pos < end && s[pos] == ';') pos++;
    return pos;
}

}  // namespace

std::string markedPageCopy(std::string_view html, std::size_t containerStart,
                           std::size_t containerEnd, const std::vector<std::size_t>& entryStarts,
                           std::size_t maxSource) {
    std::string_view s = html.substr(0, std::min(html.size(), maxSource));
    std::size_t n = s.size();

    std::vector<Mark> marks;
    auto add = [&](std::size_t offset, MarkKind kind, std::size_t number) {
        if (offset <= n) marks.push_back({offset, kind, number});
    };
    add(containerStart, MarkKind::kContainerStart, 0);
    add(containerEnd, MarkKind::kContainerEnd, 0);
    for (std::size_t k = 0; k < entryStarts.size() && k < kMaxEntryRows; k++)
        add(entryStarts[k], MarkKind::kEntryStart, k + 1);
    std::stable_sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) {
        return a.offset != b.offset ? a.offset < b.offset : a.kind < b.kind;
    });

    std::string out;
    out.reserve(n + 1024);
    CopyWriter writer(s, out, std::move(marks));

    std::size_t i = 0;
    while (i < n) {
        std::size_t next = s.find('<', i);
        if (next == std::string_view::npos) next = n;
        // Text: markers go where they fall, off characters and references;
        // one followed only by blanks waits for the tag after them.
        std::size_t blanksFrom = next;
        while (blanksFrom > i && isHtmlSpace(s[blanksFrom - 1])) blanksFrom--;
        if (next == n) blanksFrom = n;
        while (i < next) {
            if (i < blanksFrom) writer.emitDue(i, false);
            std::size_t stop = writer.nextOffset();
            if (i >= blanksFrom || stop >= blanksFrom)
                stop = next;
            else
                stop = std::min(next, textBreak(s, stop, next));
            out.append(s.data() + i, stop - i);
            i = stop;
        }
        if (i >= n) break;

        // A token starts at i.
        bool endTag = i + 1 < n && s[i + 1] == '/';
        std::size_t nameAt = i + (endTag ? 2 : 1);
        if (startsWithNoCase(s, i, "<!--")) {
            writer.emitDue(i, false);
            std::size_t e = commentEnd(s, i);
            out.append(s.data() + i, e - i);
            i = e;
        } else if (nameAt < n && isAsciiAlpha(s[nameAt])) {
            std::size_t e = nameAt;
            while (e < n && !endsName(s[e])) e++;
            std::string name;
            for (std::size_t k = nameAt; k < e; k++) name += asciiLower(s[k]);
            std::size_t end = tagEnd(s, e);
            if (endTag) {
                writer.emitDue(i, false);
                out.append(s.data() + i, end - i);
                i = end;
                continue;
            }
            if (name == "script") {
                // Dropped with its content; markers inside go after it.
                std::size_t close = rawTextEnd(s, end, "script");
                i = close < n ? tagEnd(s, close + 8) : n;
                continue;
            }
            if (name == "meta" || name == "base") {
                i = end;
                continue;
            }
            std::string flags = writer.emitDue(i, true);
            out.append(s.data() + i, e - i);
            out += flags;
            out.append(s.data() + e, end - e);
            i = end;
            if (name == "plaintext") {
                out.append(s.data() + i, n - i);
                i = n;
            } else if (isRawText(name)) {
                // Content and end tag as they are: a marker in there would
                // show as text.
                std::size_t close = rawTextEnd(s, i, name);
                std::size_t e2 = close < n ? tagEnd(s, close + 2 + name.size()) : n;
                out.append(s.data() + i, e2 - i);
                i = e2;
            }
        } else if (nameAt < n && (s[nameAt] == '!' || s[nameAt] == '?' || endTag)) {
            // Doctype and other declarations, processing instructions and
            // malformed end tags run to the next '>'. Markers wait until
            // after a doctype so the page keeps its rendering mode.
            if (!startsWithNoCase(s, i, "<!doctype")) writer.emitDue(i, false);
            std::size_t gt = s.find('>', i + 1);
            std::size_t e = gt == std::string_view::npos ? n : gt + 1;
            out.append(s.data() + i, e - i);
            i = e;
        } else {
            // A '<' that opens nothing is text.
            writer.emitDue(i, false);
            out += '<';
            i++;
        }
    }
    writer.emitDue(n, false);
    return out;
}

}  // namespace w2r
