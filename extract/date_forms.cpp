// The table of extra date and time forms, its month names, and the readers
// that turn a match into numbers.
#include "extract/date_forms.h"

#include <re2/re2.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <unordered_map>
#include <utility>

#include "extract/html.h"

namespace w2r {

namespace {

using M = MonthNames;

// The forms, in the order a caller tries them. Printed dates first, then
// the machine-readable stamps (which give a time too when they hold one),
// then forms that give only a time. Digits are fenced with (?<!\d) and
// (?!\d) so that longer numbers never match; every repeat is bounded.
const DateFormRow kRows[] = {
    // Day, month name, year.
    {"26 août 2017", R"((?<!\d)(\d{1,2})(?:er)?{sp}{0,3}{month}\.?,?{sp}{1,3}(\d{4})(?!\d))", true,
     M::kFrench, 3, 2, 1, 0, 0},
    {"13. Januar 2014", R"((?<!\d)(\d{1,2})\.?{sp}{0,3}{month}\.?,?{sp}{1,3}(\d{4})(?!\d))", true,
     M::kGerman, 3, 2, 1, 0, 0},
    {"sábado, 12 de octubre de 2013",
     R"((?<!\d)(\d{1,2})(?:º|°)?{sp}{1,3}(?:de{sp}{1,3})?{month}\.?,?{sp}{1,3}(?:del?{sp}{1,3})?(\d{4})(?!\d))",
     true, M::kSpanish, 3, 2, 1, 0, 0},
    {"30 de dezembro de 2017",
     R"((?<!\d)(\d{1,2})(?:º|°)?{sp}{1,3}(?:de{sp}{1,3})?{month}\.?,?{sp}{1,3}(?:de{sp}{1,3})?(\d{4})(?!\d))",
     true, M::kPortuguese, 3, 2, 1, 0, 0},
    {"12 ottobre 2013", R"((?<!\d)(\d{1,2})(?:º|°)?{sp}{1,3}{month}\.?,?{sp}{1,3}(\d{4})(?!\d))",
     true, M::kItalian, 3, 2, 1, 0, 0},
    {"28 maart 2022", R"((?<!\d)(\d{1,2}){sp}{1,3}{month}\.?,?{sp}{1,3}(\d{4})(?!\d))", true,
     M::kDutch, 3, 2, 1, 0, 0},
    {"4 апреля 2016 г.", R"((?<!\d)(\d{1,2}){sp}{1,3}{month}\.?,?{sp}{1,3}(\d{4})(?!\d))", false,
     M::kRussian, 3, 2, 1, 0, 0},
    // Month name, day, year: English order with the month names of
    // another language ("avril 2, 2024", "Segunda-feira, Março 24, 2003").
    {"avril 2, 2024", R"(\b{month}\.?{sp}{1,3}(\d{1,2})(?:er)?,?{sp}{1,3}(\d{4})(?!\d))", true,
     M::kFrench, 3, 1, 2, 0, 0},
    {"Januar 13, 2014", R"(\b{month}\.?{sp}{1,3}(\d{1,2})\.?,?{sp}{1,3}(\d{4})(?!\d))", true,
     M::kGerman, 3, 1, 2, 0, 0},
    {"octubre 12, 2013",
     R"(\b{month}\.?{sp}{1,3}(\d{1,2}),?{sp}{1,3}(?:de{sp}{1,3})?(\d{4})(?!\d))", true, M::kSpanish,
     3, 1, 2, 0, 0},
    {"Março 24, 2003", R"(\b{month}\.?{sp}{1,3}(\d{1,2}),?{sp}{1,3}(?:de{sp}{1,3})?(\d{4})(?!\d))",
     true, M::kPortuguese, 3, 1, 2, 0, 0},
    {"ottobre 12, 2013", R"(\b{month}\.?{sp}{1,3}(\d{1,2}),?{sp}{1,3}(\d{4})(?!\d))", true,
     M::kItalian, 3, 1, 2, 0, 0},
    {"maart 28, 2022", R"(\b{month}\.?{sp}{1,3}(\d{1,2}),?{sp}{1,3}(\d{4})(?!\d))", true, M::kDutch,
     3, 1, 2, 0, 0},
    // English forms the system's patterns miss: one-digit days before the
    // month, abbreviated months with an ordinal day.
    {"1 March 2004",
     R"((?<!\d)(\d{1,2})(?:st|nd|rd|th)?{sp}{1,3}(?:of{sp}{1,3})?{month}\b\.?,?{sp}{1,3}(\d{4})(?!\d))",
     true, M::kEnglish, 3, 2, 1, 0, 0},
    {"Jul 8th, 2016", R"(\b{month}\.?{sp}{1,3}(\d{1,2})(?:st|nd|rd|th)\b,?{sp}{0,3}(\d{4})(?!\d))",
     true, M::kEnglish, 3, 1, 2, 0, 0},
    // East Asian dates.
    {"2018年9月18日",
     R"((?<!\d)(\d{4}){sp}{0,2}年{sp}{0,2}(\d{1,2}){sp}{0,2}月{sp}{0,2}(\d{1,2}){sp}{0,2}(?:日|号))",
     false, M::kNumber, 1, 2, 3, 0, 0},
    {"2021년 2월 18일",
     R"((?<!\d)(\d{4}){sp}{0,2}년{sp}{0,2}(\d{1,2}){sp}{0,2}월{sp}{0,2}(\d{1,2}){sp}{0,2}일)",
     false, M::kNumber, 1, 2, 3, 0, 0},
    {"2021. 2. 18.", R"((?<![\d.])(\d{4})\.{sp}{1,2}(\d{1,2})\.{sp}{1,2}(\d{1,2})\.)", false,
     M::kNumber, 1, 2, 3, 0, 0},
    // Numeric day-first dates: dotted ones are day-first wherever they are
    // used; a slashed one reaches this row when the month-first reading
    // failed.
    {"21.05.2019", R"((?<![\d.])(\d{1,2})\.(\d{1,2})\.(\d{4})(?!\.?\d))", false, M::kNumber, 3, 2,
     1, 0, 0},
    {"22/03/2015", R"((?<![\d/])(\d{1,2})/(\d{1,2})/(\d{4})(?!/?\d))", false, M::kNumber, 3, 2, 1,
     0, 0},
    // Machine-readable stamps (ISO 8601 in attributes).
    {R"(<time datetime="2024-03-01T10:00:00+01:00">)",
     R"(<time\s[^>]{0,300}?\bdatetime\s{0,2}=\s{0,2}["']?\s{0,2}(\d{4})-(\d{2})-(\d{2})(?:[T\s](\d{2}):(\d{2}))?)",
     true, M::kNumber, 1, 2, 3, 4, 5},
    {R"(<time datetime="October 30, 2023">)",
     R"(<time\s[^>]{0,300}?\bdatetime\s{0,2}=\s{0,2}["']?\s{0,2}{month}\.?{sp}{1,3}(\d{1,2}),?{sp}{1,3}(\d{4})(?!\d))",
     true, M::kEnglish, 3, 1, 2, 0, 0},
    {R"(<abbr class="published" title="2008-05-12T09:30:00Z">)",
     R"(<abbr\s[^>]{0,300}?\btitle\s{0,2}=\s{0,2}["']?\s{0,2}(\d{4})-(\d{2})-(\d{2})(?:[T\s](\d{2}):(\d{2}))?)",
     true, M::kNumber, 1, 2, 3, 4, 5},
    {R"(<meta itemprop="datePublished" content="2024-03-01">)",
     R"(\bitemprop\s{0,2}=\s{0,2}["']?datePublished\b[^>]{0,300}?\b(?:content|datetime)\s{0,2}=\s{0,2}["']?\s{0,2}(\d{4})-(\d{2})-(\d{2})(?:[T\s](\d{2}):(\d{2}))?)",
     true, M::kNumber, 1, 2, 3, 4, 5},
    {R"(<meta content="2024-03-01" itemprop="datePublished">)",
     R"(\b(?:content|datetime)\s{0,2}=\s{0,2}["']?\s{0,2}(\d{4})-(\d{2})-(\d{2})(?:[T\s](\d{2}):(\d{2}))?[^<>]{0,300}?\bitemprop\s{0,2}=\s{0,2}["']?datePublished\b)",
     true, M::kNumber, 1, 2, 3, 4, 5},
    // Times of day.
    {"14h30", R"((?<![\w.:])([01]?\d|2[0-3]){sp}?h{sp}?([0-5]\d)(?!\d))", false, M::kNumber, 0, 0,
     0, 1, 2},
    {"14:30 Uhr", R"((?<![\d:])(\d{1,2}):(\d{2}){sp}{0,2}Uhr\b)", true, M::kNumber, 0, 0, 0, 1, 2},
};

// Month names, lower case, spellings separated by spaces, January first.
// Capitalised forms of names that begin with a non-ASCII letter are added
// when the table is built; ASCII case is left to case-insensitive matching.
struct MonthList {
    MonthNames language;
    const char* months[12];
};

const MonthList kMonthLists[] = {
    {M::kEnglish,
     {"january jan", "february feb", "march mar", "april apr", "may", "june jun", "july jul",
      "august aug", "september sept sep", "october oct", "november nov", "december dec"}},
    {M::kFrench,
     {"janvier janv", "février fevrier févr fevr fév fev", "mars", "avril avr", "mai", "juin",
      "juillet juil", "août aout", "septembre sept", "octobre oct", "novembre nov",
      "décembre decembre déc dec"}},
    {M::kGerman,
     {"januar jänner jan jän", "februar feber febr feb", "märz maerz mär mrz", "april apr", "mai",
      "juni jun", "juli jul", "august aug", "september sept sep", "oktober okt", "november nov",
      "dezember dez"}},
    {M::kSpanish,
     {"enero ene", "febrero feb", "marzo mar", "abril abr", "mayo may", "junio jun", "julio jul",
      "agosto ago", "septiembre setiembre sept sep set", "octubre oct", "noviembre nov",
      "diciembre dic"}},
    {M::kPortuguese,
     {"janeiro jan", "fevereiro fev", "março marco mar", "abril abr", "maio mai", "junho jun",
      "julho jul", "agosto ago", "setembro set", "outubro out", "novembro nov", "dezembro dez"}},
    {M::kItalian,
     {"gennaio gen", "febbraio feb", "marzo mar", "aprile apr", "maggio mag", "giugno giu",
      "luglio lug", "agosto ago", "settembre sett set", "ottobre ott", "novembre nov",
      "dicembre dic"}},
    {M::kDutch,
     {"januari jan", "februari feb", "maart mrt mar", "april apr", "mei", "juni jun", "juli jul",
      "augustus aug", "september sept sep", "oktober okt", "november nov", "december dec"}},
    // Genitive ("4 апреля"), nominative and abbreviated forms.
    {M::kRussian,
     {"января январь янв", "февраля февраль февр фев", "марта март мар", "апреля апрель апр",
      "мая май", "июня июнь июн", "июля июль июл", "августа август авг",
      "сентября сентябрь сент сен", "октября октябрь окт", "ноября ноябрь нояб ноя",
      "декабря декабрь дек"}},
};

// The name with its first letter capitalised when that letter is a
// non-ASCII Latin-1 or Cyrillic lower-case letter; empty otherwise.
std::string capitalisedNonAscii(const std::string& name) {
    if (name.size() < 2) return {};
    unsigned char a = static_cast<unsigned char>(name[0]);
    unsigned char b = static_cast<unsigned char>(name[1]);
    std::string out = name;
    if (a == 0xC3 && b >= 0xA0 && b <= 0xBE && b != 0xB7) {  // à-þ
        out[1] = static_cast<char>(b - 0x20);
    } else if (a == 0xD0 && b >= 0xB0 && b <= 0xBF) {  // а-п
        out[1] = static_cast<char>(b - 0x20);
    } else if (a == 0xD1 && b >= 0x80 && b <= 0x8F) {  // р-я
        out[0] = static_cast<char>(0xD0);
        out[1] = static_cast<char>(b + 0x20);
    } else if (a == 0xD1 && b >= 0x90 && b <= 0x9F) {  // ѐ-џ
        out[0] = static_cast<char>(0xD0);
        out[1] = static_cast<char>(b - 0x10);
    } else {
        return {};
    }
    return out;
}

// Every spelling of a language with its month number.
std::vector<std::pair<std::string, int>> spellings(MonthNames language) {
    std::vector<std::pair<std::string, int>> out;
    for (const MonthList& list : kMonthLists) {
        if (list.language != language) continue;
        for (int m = 0; m < 12; ++m) {
            std::string word;
            for (const char* p = list.months[m];; ++p) {
                if (*p && *p != ' ') {
                    word += *p;
                    continue;
                }
                if (!word.empty()) {
                    out.emplace_back(word, m + 1);
                    std::string cap = capitalisedNonAscii(word);
                    if (!cap.empty()) out.emplace_back(cap, m + 1);
                }
                word.clear();
                if (!*p) break;
            }
        }
    }
    return out;
}

std::string escapeRegex(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (std::string_view(R"(\^$.|?*+()[]{})").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

void replaceAll(std::string& s, std::string_view from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

std::string expandPattern(const DateFormRow& row) {
    std::string pattern = row.pattern;
    if (row.months != M::kNumber) {
        auto names = spellings(row.months);
        std::stable_sort(names.begin(), names.end(), [](const auto& x, const auto& y) {
            return x.first.size() > y.first.size();
        });
        std::string group = "(";
        for (size_t k = 0; k < names.size(); ++k)
            group += (k ? "|" : "") + escapeRegex(names[k].first);
        group += ")";
        replaceAll(pattern, "{month}", group);
    }
    replaceAll(pattern, "{sp}", "(?:\\s|\xC2\xA0|&nbsp;|&#160;)");
    return pattern;
}

// Decimal value of capture n; -1 when it did not take part or holds no
// digits; saturates instead of overflowing.
int captureNumber(const FormMatch& m, int n) {
    if (n <= 0 || n >= static_cast<int>(m.size()) || !m[n].matched) return -1;
    long long value = 0;
    bool any = false;
    for (const char* p = m[n].first; p != m[n].second; ++p) {
        if (*p < '0' || *p > '9') return -1;
        any = true;
        value = std::min<long long>(value * 10 + (*p - '0'), INT_MAX);
    }
    return any ? static_cast<int>(value) : -1;
}

// The pattern with its look-around assertions removed and \s spelled as
// Boost reads it (with \v), for RE2 in Latin-1 mode: every text Boost
// matches from some start, this matches from the same start.
std::string locatorPattern(const std::string& pattern) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '\\' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == 's')
                out += "[\\t-\\r ]";
            else
                out.append(pattern, i, 2);
            ++i;
            continue;
        }
        if (c == '[') {  // a bracket expression is copied as it is
            size_t close = pattern.find(']', i + 2);
            if (close == std::string::npos) return {};
            std::string bracket = pattern.substr(i, close - i + 1);
            for (size_t at = bracket.find("\\s"); at != std::string::npos;
                 at = bracket.find("\\s", at))
                bracket.replace(at, 2, "\\t-\\r ");
            out += bracket;
            i = close;
            continue;
        }
        bool look = pattern.compare(i, 3, "(?=") == 0 || pattern.compare(i, 3, "(?!") == 0 ||
                    pattern.compare(i, 4, "(?<=") == 0 || pattern.compare(i, 4, "(?<!") == 0;
        if (!look) {
            out += c;
            continue;
        }
        // Skip to the assertion's closing parenthesis.
        int depth = 0;
        size_t k = i;
        for (; k < pattern.size(); ++k) {
            if (pattern[k] == '\\') {
                ++k;
            } else if (pattern[k] == '[') {
                k = pattern.find(']', k + 2);
                if (k == std::string::npos) return {};
            } else if (pattern[k] == '(') {
                ++depth;
            } else if (pattern[k] == ')' && --depth == 0) {
                break;
            }
        }
        if (k >= pattern.size()) return {};
        i = k;
    }
    return out;
}

std::shared_ptr<const re2::RE2> makeLocator(const std::string& pattern, bool icase) {
    std::string text = locatorPattern(pattern);
    if (text.empty()) return nullptr;
    re2::RE2::Options options;
    options.set_encoding(re2::RE2::Options::EncodingLatin1);
    options.set_case_sensitive(!icase);
    options.set_log_errors(false);
    auto re = std::make_shared<const re2::RE2>(text, options);
    if (!re->ok()) return nullptr;
    return re;
}

// Boost search of [from, b) whose look-behind assertions see back to base.
bool boostSearch(const ExtraDateForm& form, const char* from, const char* b, FormMatch& m,
                 boost::match_flag_type flags, const char* base) {
    try {
        return boost::regex_search(from, b, m, form.regex, flags, base);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

const std::vector<ExtraDateForm>& extraDateForms() {
    static const std::vector<ExtraDateForm> forms = [] {
        std::vector<ExtraDateForm> out;
        for (const DateFormRow& row : kRows) {
            ExtraDateForm form;
            form.row = row;
            form.pattern = expandPattern(row);
            boost::regex::flag_type flags = boost::regex::perl;
            if (row.icase) flags |= boost::regex::icase;
            form.regex.assign(form.pattern, flags);
            form.locator = makeLocator(form.pattern, row.icase);
            out.push_back(std::move(form));
        }
        return out;
    }();
    return forms;
}

bool searchExtraForm(const ExtraDateForm& form, const char* a, const char* b, FormMatch& m) {
    if (!a || !b || a >= b) return false;
    if (!form.locator) return boostSearch(form, a, b, m, boost::match_default, a);
    const re2::StringPiece text(a, static_cast<size_t>(b - a));
    re2::StringPiece found;
    for (size_t from = 0; from < text.size();) {
        if (!form.locator->Match(text, from, text.size(), re2::RE2::UNANCHORED, &found, 1))
            return false;
        const char* start = found.data();
        // No match starts before start; try Boost there only, with the text
        // before it visible to look-behind assertions.
        boost::match_flag_type flags = boost::match_continuous;
        if (start > a) flags |= boost::match_prev_avail;
        if (boostSearch(form, start, b, m, flags, a)) return true;
        from = static_cast<size_t>(start - a) + 1;
    }
    return false;
}

int monthNumber(MonthNames language, std::string_view name) {
    // Spelling -> month, one map per language, built once.
    static const auto kLookup = [] {
        std::vector<std::unordered_map<std::string, int>> maps;
        for (const MonthList& list : kMonthLists)
            maps.resize(std::max(maps.size(), static_cast<size_t>(list.language) + 1));
        for (const MonthList& list : kMonthLists)
            for (auto& [spelling, month] : spellings(list.language))
                maps[static_cast<size_t>(list.language)].emplace(spelling, month);
        return maps;
    }();
    size_t index = static_cast<size_t>(language);
    if (language == M::kNumber || index >= kLookup.size()) return 0;
    while (!name.empty() && name.back() == '.') name.remove_suffix(1);
    auto it = kLookup[index].find(lowerAscii(name));
    return it == kLookup[index].end() ? 0 : it->second;
}

int monthNumberAnyLanguage(std::string_view name) {
    for (const MonthList& list : kMonthLists)
        if (int m = monthNumber(list.language, name)) return m;
    return 0;
}

bool isRealDate(int year, int month, int day) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool readExtraDate(const ExtraDateForm& form, const FormMatch& m, int& year, int& month, int& day) {
    if (!form.givesDate() || m.empty()) return false;
    const DateFormRow& row = form.row;
    int y = captureNumber(m, row.year);
    int d = captureNumber(m, row.day);
    int mo;
    if (row.months == M::kNumber) {
        mo = captureNumber(m, row.month);
    } else if (row.month > 0 && row.month < static_cast<int>(m.size()) && m[row.month].matched) {
        mo = monthNumber(row.months, std::string_view(m[row.month].first,
                                                      static_cast<size_t>(m[row.month].length())));
    } else {
        mo = -1;
    }
    if (!isRealDate(y, mo, d)) return false;
    year = y;
    month = mo;
    day = d;
    return true;
}

bool readExtraTime(const ExtraDateForm& form, const FormMatch& m, int& hour, int& minute) {
    if (!form.givesTime() || m.empty()) return false;
    int h = captureNumber(m, form.row.hour);
    int mi = captureNumber(m, form.row.minute);
    if (h < 0 || h > 23 || mi < 0 || mi > 59) return false;
    hour = h;
    minute = mi;
    return true;
}

}  // namespace w2r
