#include "dates/extra_index.h"

#include <algorithm>

#include "extract/date_forms.h"

namespace w2r {

ExtraDateIndex::ExtraDateIndex() = default;
ExtraDateIndex::~ExtraDateIndex() = default;

void ExtraDateIndex::prepare(const char* begin, const char* end, YearWindow window) {
    drop();
    if (!begin || !end || begin >= end) return;
    begin_ = begin;
    end_ = end;
    window_ = window;
    forms_.resize(extraDateForms().size());
}

void ExtraDateIndex::drop() {
    begin_ = end_ = nullptr;
    tagsFound_ = false;
    tagBounds_.clear();
    orderCounted_ = false;
    dayFirst_ = false;
    for (FormSpans& f : forms_) {
        f.built = false;
        f.dates.clear();
        f.times.clear();
    }
}

// One pass of the form over the store; every search resumes at the end of
// the previous match, so the work is about linear in the store's size.
void ExtraDateIndex::build(int form) {
    FormSpans& spans = forms_[static_cast<size_t>(form)];
    spans.built = true;
    const ExtraDateForm& f = extraDateForms()[static_cast<size_t>(form)];
    FormMatch m;
    for (const char* pos = begin_; pos < end_;) {
        if (!searchExtraForm(f, pos, end_, m)) break;
        pos = m[0].second > m[0].first ? m[0].second : m[0].first + 1;
        // Printed forms count only in text, not in attribute values (an
        // SVG path's "19h12").
        if (!f.readsMarkup() && (insideTag(m[0].first) || endsDateRange(m[0].first, begin_)))
            continue;
        Span s{m[0].first, m[0].second, ExtraStamp(),
               !f.readsMarkup() && inTitleHeading(m[0].first, m[0].second, begin_, end_)};
        ExtraStamp& st = s.stamp;
        st.form = form;
        st.markup = f.readsMarkup();
        bool date = f.givesDate() && readExtraDate(f, m, st.year, st.month, st.day) &&
                    st.year >= window_.from && st.year <= window_.to;
        bool time = f.givesTime() && readExtraTime(f, m, st.hour, st.minute);
        if (date) spans.dates.push_back(s);
        if (time) spans.times.push_back(s);
    }
}

void ExtraDateIndex::findTags() {
    tagsFound_ = true;
    tagBounds_.clear();
    bool inTag = false;
    for (const char* p = begin_; p < end_; ++p) {
        if (inTag) {
            if (*p == '>') {
                tagBounds_.push_back(p + 1);
                inTag = false;
            }
        } else if (*p == '<' && p + 1 < end_) {
            char next = p[1];
            if (next == '/' || next == '!' || (next >= 'a' && next <= 'z') ||
                (next >= 'A' && next <= 'Z')) {
                tagBounds_.push_back(p);
                inTag = true;
            }
        }
    }
    if (inTag) tagBounds_.push_back(end_);
}

bool ExtraDateIndex::insideTag(const char* p) {
    if (!begin_ || p < begin_ || p >= end_) return false;
    if (!tagsFound_) findTags();
    // Bounds alternate start, end: p is inside when an odd number of them
    // lie at or before it (a start, not yet its end).
    auto at = std::upper_bound(tagBounds_.begin(), tagBounds_.end(), p);
    return (at - tagBounds_.begin()) % 2 == 1;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the run of one or two digits at p (0 when not one; a longer
// run gives 0 too).
int shortNumber(const char* p, const char* end) {
    int n = 0;
    while (p + n < end && isDigit(p[n]) && n < 3) ++n;
    return n == 1 || n == 2 ? n : 0;
}

int numberAt(const char* p, int len) {
    int v = 0;
    for (int k = 0; k < len; ++k) v = v * 10 + (p[k] - '0');
    return v;
}

}  // namespace

void ExtraDateIndex::countNumberOrder() {
    orderCounted_ = true;
    long dayFirst = 0, monthFirst = 0;
    for (const char* p = begin_; p < end_; ++p) {
        if (!isDigit(*p) || (p > begin_ && (isDigit(p[-1]) || p[-1] == '/' || p[-1] == '.')))
            continue;
        int a = shortNumber(p, end_);
        const char* q = p + a;
        if (!a || q >= end_ || (*q != '/' && *q != '.' && *q != '-')) continue;
        char sep = *q++;
        int b = shortNumber(q, end_);
        const char* r = q + b;
        if (!b || r >= end_ || *r != sep) continue;
        ++r;
        int year = 0;
        while (r + year < end_ && isDigit(r[year])) ++year;
        if (year != 2 && year != 4) continue;
        if (r + year < end_ && (r[year] == sep || isDigit(r[year]))) continue;
        if (insideTag(p)) continue;
        int first = numberAt(p, a), second = numberAt(q, b);
        if (first > 12 && first <= 31 && second >= 1 && second <= 12) ++dayFirst;
        if (second > 12 && second <= 31 && first >= 1 && first <= 12) ++monthFirst;
        p = r + year - 1;
    }
    dayFirst_ = dayFirst > monthFirst;
}

bool ExtraDateIndex::dayFirstNumbers() {
    if (!begin_) return false;
    if (!orderCounted_) countNumberOrder();
    return dayFirst_;
}

namespace {

// Dates in title headings passed over in one search.
constexpr int kMaxPassedInTitles = 4;
// Bytes looked at around a date for the heading that holds it.
constexpr long kHeadingReach = 400;
// Letters and digits besides the date's that make a heading a title.
constexpr int kTitleWordBytes = 12;

bool isHeadingDigit(char c) { return c >= '1' && c <= '6'; }

bool isWordByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80;
}

}  // namespace

bool inTitleHeading(const char* p, const char* end, const char* begin, const char* limit) {
    // Back to the heading's start tag, unless a heading closes first.
    const char* open = nullptr;
    for (const char* q = p - 1; q >= begin && p - q <= kHeadingReach; --q) {
        if (*q != '<' || q + 2 >= limit) continue;
        if (q[1] == '/' && (q[2] == 'h' || q[2] == 'H') && q + 3 < limit && isHeadingDigit(q[3]))
            return false;
        if ((q[1] == 'h' || q[1] == 'H') && isHeadingDigit(q[2]) && q + 3 < limit &&
            (q[3] == '>' || q[3] == ' ' || q[3] == '\t' || q[3] == '\n' || q[3] == '\r')) {
            open = q;
            break;
        }
    }
    if (!open) return false;
    // The words of the text run that holds the date (between the tags
    // around it), the date's bytes not counted: a date in a <time> or
    // <span> of its own beside the title is a stamp, not part of it.
    int words = 0;
    for (const char* q = p - 1; q > open && *q != '>'; --q)
        if (isWordByte(static_cast<unsigned char>(*q))) ++words;
    for (const char* q = end; q < limit && *q != '<' && q - end <= kHeadingReach; ++q)
        if (isWordByte(static_cast<unsigned char>(*q))) ++words;
    return words >= kTitleWordBytes;
}

bool endsDateRange(const char* p, const char* begin) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    const char* q = p;
    if (q > begin && space(q[-1])) --q;
    if (q > begin && q[-1] == '-') {
        --q;
    } else if (q - begin >= 3 && q[-3] == '\xE2' && q[-2] == '\x80' &&
               (q[-1] == '\x93' || q[-1] == '\x94')) {  // en or em dash
        q -= 3;
    } else {
        return false;
    }
    if (q > begin && space(q[-1])) --q;
    if (q > begin && q[-1] == '.') --q;
    return q > begin && isDigit(q[-1]);
}

bool ExtraDateIndex::first(const std::vector<Span>& spans, const char* a, const char* b,
                           ExtraStamp& out, bool avoidTitles) {
    // Matches of one form do not overlap: ordered by start, they are
    // ordered by end too.
    auto it = std::lower_bound(spans.begin(), spans.end(), a,
                               [](const Span& s, const char* p) { return s.start < p; });
    for (int passed = 0; it != spans.end() && it->end <= b; ++it) {
        if (avoidTitles && it->inTitle) {
            if (++passed > kMaxPassedInTitles) return false;
            continue;
        }
        out = it->stamp;
        return true;
    }
    return false;
}

bool ExtraDateIndex::findDate(const char* a, const char* b, ExtraStamp& out, bool avoidTitles) {
    if (!begin_ || a < begin_ || b > end_ || a >= b) return false;
    for (std::size_t k = 0; k < forms_.size(); k++) {
        FormSpans& spans = forms_[k];
        if (!spans.built) build(static_cast<int>(k));
        if (!spans.dates.empty() && first(spans.dates, a, b, out, avoidTitles)) return true;
    }
    return false;
}

bool ExtraDateIndex::findTime(const char* a, const char* b, ExtraStamp& out) {
    if (!begin_ || a < begin_ || b > end_ || a >= b) return false;
    for (std::size_t k = 0; k < forms_.size(); k++) {
        FormSpans& spans = forms_[k];
        if (!spans.built) build(static_cast<int>(k));
        if (!spans.times.empty() && first(spans.times, a, b, out, false)) return true;
    }
    return false;
}

}  // namespace w2r
