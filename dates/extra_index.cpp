#include "dates/extra_index.h"

#include <algorithm>

#include "extract/date_forms.h"

namespace w2r {

ExtraDateIndex::ExtraDateIndex() = default;
ExtraDateIndex::~ExtraDateIndex() = default;

int ExtraDateIndex::formCount() { return static_cast<int>(extraDateForms().size()); }

void ExtraDateIndex::prepare(const char* begin, const char* end, YearWindow window) {
    drop();
    if (!begin || !end || begin >= end) return;
    begin_ = begin;
    end_ = end;
    window_ = window;
    forms_.resize(static_cast<size_t>(formCount()));
}

void ExtraDateIndex::drop() {
    begin_ = end_ = nullptr;
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
        Span s{m[0].first, m[0].second, ExtraStamp()};
        ExtraStamp& st = s.stamp;
        st.form = form;
        bool date = f.givesDate() && readExtraDate(f, m, st.year, st.month, st.day) &&
                    st.year >= window_.from && st.year <= window_.to;
        bool time = f.givesTime() && readExtraTime(f, m, st.hour, st.minute);
        if (date) spans.dates.push_back(s);
        if (time) spans.times.push_back(s);
        pos = m[0].second > m[0].first ? m[0].second : m[0].first + 1;
    }
}

bool ExtraDateIndex::first(const std::vector<Span>& spans, const char* a, const char* b,
                           ExtraStamp& out) {
    // Matches of one form do not overlap: ordered by start, they are
    // ordered by end too.
    auto it = std::lower_bound(spans.begin(), spans.end(), a,
                               [](const Span& s, const char* p) { return s.start < p; });
    if (it == spans.end() || it->end > b) return false;
    out = it->stamp;
    return true;
}

bool ExtraDateIndex::findDate(int form, const char* a, const char* b, ExtraStamp& out) {
    if (!begin_ || form < 0 || form >= formCount() || a < begin_ || b > end_ || a >= b)
        return false;
    FormSpans& spans = forms_[static_cast<size_t>(form)];
    if (!spans.built) build(form);
    return first(spans.dates, a, b, out);
}

bool ExtraDateIndex::findTime(int form, const char* a, const char* b, ExtraStamp& out) {
    if (!begin_ || form < 0 || form >= formCount() || a < begin_ || b > end_ || a >= b)
        return false;
    FormSpans& spans = forms_[static_cast<size_t>(form)];
    if (!spans.built) build(form);
    return first(spans.times, a, b, out);
}

}  // namespace w2r
