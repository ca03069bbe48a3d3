// Date and time forms read beside the system's fifteen patterns: month
// names of several languages, East Asian dates, ordinal days, and the
// machine-readable stamps of <time>, <abbr> and datePublished markup.
// Each form is one row of a table (date_forms.cpp); see extract/README.md
// for how to add one.
#pragma once

#include <boost/regex.hpp>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace w2r {

typedef boost::match_results<const char*> FormMatch;

// How a form's month capture reads: as a number, or as a month name of one
// language (full names, usual abbreviations, inflected forms).
enum class MonthNames {
    kNumber,
    kEnglish,
    kFrench,
    kGerman,
    kSpanish,
    kPortuguese,
    kItalian,
    kDutch,
    kRussian,
};

// One row of the table, as written in date_forms.cpp.
struct DateFormRow {
    const char* example;  // a text the form reads, for people and tests
    // Perl-syntax pattern for Boost.Regex. "{month}" stands for one
    // capturing group of the month names of `months` (longest first) and
    // "{sp}" for one white-space character, NBSP or "&nbsp;".
    const char* pattern;
    bool icase;  // compile case-insensitively (ASCII letters only)
    MonthNames months;
    // Capture numbers of the fields; 0 when the form does not give them.
    int year, month, day;
    int hour, minute;
};

// A row with its expanded pattern compiled.
struct ExtraDateForm {
    DateFormRow row;
    std::string pattern;  // the pattern with {month} and {sp} expanded
    boost::regex regex;
    // Linear-time locator of match starts: the pattern without its
    // look-around assertions (a superset), run by RE2 over bytes; null when
    // RE2 cannot take it.
    std::shared_ptr<const re2::RE2> locator;

    bool givesDate() const { return row.day != 0; }
    bool givesTime() const { return row.hour != 0; }
    // Whether the form reads markup (a tag's attributes) rather than text.
    bool readsMarkup() const { return row.example[0] == '<'; }
};

// The table in its fixed order, compiled on first use.
const std::vector<ExtraDateForm>& extraDateForms();

// Leftmost match of form in [a, b); a search the regex engine gives up on
// counts as no match. The locator finds where a match can start; Boost
// then tries only there, so searches stay about linear in the text.
bool searchExtraForm(const ExtraDateForm& form, const char* a, const char* b, FormMatch& m);

// Reads the date of a match of form: true when the form gives a date and
// the fields make a real calendar date (any year from 1 to 9999; the caller
// applies its own window).
bool readExtraDate(const ExtraDateForm& form, const FormMatch& m, int& year, int& month, int& day);
// Reads the time of day: true when the form gives one, its captures took
// part in the match, and the time is 00:00-23:59.
bool readExtraTime(const ExtraDateForm& form, const FormMatch& m, int& hour, int& minute);

// Month number (1-12) of a name in the given language, 0 when unknown.
// Case-insensitive for ASCII letters; a trailing "." is ignored.
int monthNumber(MonthNames language, std::string_view name);
// The same over every language of the table.
int monthNumberAnyLanguage(std::string_view name);

bool isRealDate(int year, int month, int day);

}  // namespace w2r
