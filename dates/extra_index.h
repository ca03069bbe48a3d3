// The extra date and time forms (extract/date_forms.h) searched over a
// page's whole text store once per form, so that the locator's many slice
// searches stay cheap on deep trees and hostile pages.
#pragma once

#include <vector>

#include "dates/dates.h"

namespace w2r {

// A date or time read by an extra form, with the form's number.
struct ExtraStamp {
    int form = -1;        // index into extraDateForms()
    bool markup = false;  // the form reads a tag's attributes (<time datetime>)
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0;
};

// Whether the date whose text starts at p ends a range ("14.-16. Oktober
// 2021", "3 – 5 May"): a dash, then (back from it) a number. Looks no
// further back than begin.
bool endsDateRange(const char* p, const char* begin);

// Whether the date text [p, end) is part of a heading's (h1-h6) text: its
// text run, between the tags around it, says more than the date. A date
// in a post's title ("Paris, 02/12/2017: ...") is not the post's date.
// Looks at most a few hundred bytes around p, within [begin, limit).
bool inTitleHeading(const char* p, const char* end, const char* begin, const char* limit);

// Per page; not shared between threads.
class ExtraDateIndex {
public:
    ExtraDateIndex();
    ~ExtraDateIndex();
    ExtraDateIndex(const ExtraDateIndex&) = delete;
    ExtraDateIndex& operator=(const ExtraDateIndex&) = delete;

    // Prepares for the store [begin, end), whose bytes must stay unchanged
    // until the next prepare or drop. Dates outside window are not read.
    void prepare(const char* begin, const char* end, YearWindow window);
    void drop();

    // The first date, or time, that a whole-store scan of a form finds
    // inside [a, b), of the first form in the table's order that finds one:
    // each form's matches are taken left to right, each search starting
    // where the previous match ended, and only the matches that read as a
    // valid date (time) are kept. [a, b) must lie in the store. With
    // avoidTitles, dates inside a title heading (inTitleHeading) are passed
    // over.
    bool findDate(const char* a, const char* b, ExtraStamp& out, bool avoidTitles = false);
    bool findTime(const char* a, const char* b, ExtraStamp& out);

    // Whether store position p lies inside a tag ("<" and a letter, "/" or
    // "!" up to the next ">").
    bool insideTag(const char* p);

    // Whether the page writes numeric dates day first: more of its dates of
    // three number groups ("31/12/2021", "31.12.21") read only day first
    // than only month first.
    bool dayFirstNumbers();

private:
    struct Span {
        const char* start;
        const char* end;
        ExtraStamp stamp;
        bool inTitle;
    };
    struct FormSpans {
        bool built = false;
        std::vector<Span> dates;
        std::vector<Span> times;
    };
    void build(int form);
    void findTags();
    void countNumberOrder();
    static bool first(const std::vector<Span>& spans, const char* a, const char* b, ExtraStamp& out,
                      bool avoidTitles);

    const char* begin_ = nullptr;
    const char* end_ = nullptr;
    YearWindow window_;
    std::vector<FormSpans> forms_;  // one per form, in the table's order
    bool tagsFound_ = false;
    bool orderCounted_ = false;
    bool dayFirst_ = false;
    std::vector<const char*> tagBounds_;  // start, end, start, end, ... of every tag
};

}  // namespace w2r
