// Entry titles: headings and title-classed elements, then permalink texts,
// with the texts that are no titles (dates, bylines, link labels) skipped.
#include "extract/titles.h"

#include <boost/regex.hpp>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <unordered_set>
#include <vector>

#include "extract/date_forms.h"

namespace w2r {

namespace {

// Longer texts are page sections, not titles.
constexpr size_t kMaxTitleBytes = 500;
// An entry whose own text, dates and bylines left out, is shorter than
// this is only a date header: its title is looked for after it.
constexpr size_t kBareEntryBytes = 24;
// Own text allowed before a title that opens its entry (a teaser line, a
// category label).
constexpr size_t kLeadingTextBytes = 120;
// Addresses longer than this are not taken for permalinks.
constexpr size_t kMaxHrefBytes = 4096;

// ---- Words -----------------------------------------------------------

// Decodes the UTF-8 code point at text[i] and advances i; invalid bytes
// read as U+FFFD.
unsigned nextCodePoint(std::string_view text, size_t& i) {
    unsigned char c = static_cast<unsigned char>(text[i++]);
    if (c < 0x80) return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0) return 0xFFFD;
    unsigned cp = c & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0xFFFD;
        cp = cp << 6 | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    return cp;
}

// Letters and digits of any script; punctuation, symbols, emoji, spaces
// and invisible marks are not.
bool isWordCodePoint(unsigned cp) {
    if (cp < 0x80)
        return (cp >= '0' && cp <= '9') || (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z');
    if (cp <= 0xBF || cp == 0xD7 || cp == 0xF7) return false;
    if (cp >= 0x2000 && cp <= 0x2BFF) return false;  // punctuation, arrows, symbols
    if (cp >= 0x2E00 && cp <= 0x2E7F) return false;
    if (cp >= 0x3000 && cp <= 0x303F) return false;  // CJK punctuation
    if (cp >= 0xFE00 && cp <= 0xFE6F) return false;
    if ((cp >= 0xFF00 && cp <= 0xFF0F) || (cp >= 0xFF1A && cp <= 0xFF20) ||
        (cp >= 0xFF3B && cp <= 0xFF40) || (cp >= 0xFF5B && cp <= 0xFF65))
        return false;
    if (cp >= 0x1F000 && cp <= 0x1FAFF) return false;  // emoji
    return cp != 0xFFFD;
}

// Words of a text, in lower case (see lowerLetters).
std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::string word;
    for (size_t i = 0; i < text.size();) {
        size_t start = i;
        unsigned cp = nextCodePoint(text, i);
        if (isWordCodePoint(cp)) {
            word.append(text.data() + start, i - start);
        } else if (!word.empty()) {
            out.push_back(lowerLetters(word));
            word.clear();
        }
    }
    if (!word.empty()) out.push_back(lowerLetters(word));
    return out;
}

bool hasPrefixWord(const std::string& lower, std::string_view prefix) {
    if (lower.compare(0, prefix.size(), prefix) != 0) return false;
    if (lower.size() == prefix.size()) return true;
    char next = lower[prefix.size()];
    return next == ' ' || next == ':' || prefix.back() == ':';
}

// ---- Dates -------------------------------------------------------------

using WordSet = std::unordered_set<std::string>;

const WordSet& weekdayWords() {
    static const WordSet s = {
        "monday",    "tuesday", "wednesday", "thursday",  "friday",      "saturday", "sunday",
        "mon",       "tue",     "tues",      "wed",       "thu",         "thur",     "thurs",
        "fri",       "sat",     "sun",       "lundi",     "mardi",       "mercredi", "jeudi",
        "vendredi",  "samedi",  "dimanche",  "montag",    "dienstag",    "mittwoch", "donnerstag",
        "freitag",   "samstag", "sonnabend", "sonntag",   "lunes",       "martes",   "miércoles",
        "miercoles", "jueves",  "viernes",   "sábado",    "sabado",      "domingo",  "segunda",
        "terça",     "terca",   "quarta",    "quinta",    "sexta",       "feira",    "lunedì",
        "lunedi",    "martedì", "martedi",   "mercoledì", "mercoledi",   "giovedì",  "giovedi",
        "venerdì",   "venerdi", "sabato",    "domenica",  "maandag",     "dinsdag",  "woensdag",
        "donderdag", "vrijdag", "zaterdag",  "zondag",    "понедельник", "вторник",  "среда",
        "среду",     "четверг", "пятница",   "пятницу",   "суббота",     "субботу",  "воскресенье",
        "mo",        "di",      "mi",        "do",        "fr",          "sa",       "so",
        "lun",       "mer",     "jeu",       "ven",       "sam",         "dim",      "mar"};
    return s;
}

// Words that go with dates: prepositions, articles, "posted", units of
// relative stamps ("3 days ago", "vor 2 Tagen", "9 jaar geleden").
const WordSet& dateFillerWords() {
    static const WordSet s = {
        "at",      "on",       "of",      "the",     "am",        "pm",        "a",
        "m",       "p",        "de",      "del",     "le",        "la",        "el",
        "der",     "den",      "um",      "à",       "da",        "do",        "om",
        "op",      "in",       "du",      "vom",     "et",        "y",         "e",
        "en",      "и",        "в",       "г",       "года",      "st",        "nd",
        "rd",      "th",       "er",      "h",       "uhr",       "posted",    "published",
        "updated", "date",     "dated",   "last",    "modified",  "edited",    "ago",
        "just",    "now",      "minute",  "minutes", "min",       "mins",      "hour",
        "hours",   "hr",       "hrs",     "day",     "days",      "week",      "weeks",
        "month",   "months",   "year",    "years",   "yesterday", "today",     "vor",
        "tag",     "tagen",    "stunde",  "stunden", "minuten",   "woche",     "wochen",
        "monat",   "monaten",  "jahr",    "jahren",  "gestern",   "heute",     "il",
        "jour",    "jours",    "heure",   "heures",  "semaine",   "semaines",  "mois",
        "an",      "ans",      "hier",    "aujourd", "hui",       "hace",      "día",
        "días",    "dia",      "dias",    "hora",    "horas",     "semana",    "semanas",
        "mes",     "meses",    "año",     "años",    "ayer",      "hoy",       "há",
        "fa",      "giorno",   "giorni",  "ora",     "ore",       "settimana", "settimane",
        "mese",    "mesi",     "anno",    "anni",    "ieri",      "oggi",      "geleden",
        "dag",     "dagen",    "uur",     "weken",   "maand",     "maanden",   "jaar",
        "jaren",   "gisteren", "vandaag", "назад",   "день",      "дня",       "дней",
        "час",     "часа",     "часов",   "минут",   "минуты",    "неделя",    "недели",
        "недель",  "месяц",    "месяца",  "месяцев", "год",       "лет",       "вчера",
        "сегодня"};
    return s;
}

// Characters that, with digits, write East Asian dates, times and relative
// stamps ("2018年9月18日", "3天前").
bool isDateUnitCodePoint(unsigned cp) {
    static const unsigned kUnits[] = {0x5E74, 0x6708, 0x65E5, 0x53F7, 0x6642, 0x65F6, 0x5206,
                                      0x79D2, 0x524D, 0x5929, 0x5C0F, 0x949F, 0x9031, 0x5468,
                                      0xB144, 0xC6D4, 0xC77C, 0xC2DC, 0xBD84, 0xCD08, 0xC804};
    for (unsigned u : kUnits)
        if (cp == u) return true;
    return false;
}

// Digits, optionally with an ordinal ending ("1st", "1er", "3º").
bool isNumberWord(const std::string& w) {
    size_t k = 0;
    while (k < w.size() && w[k] >= '0' && w[k] <= '9') ++k;
    if (k == 0) return false;
    static const WordSet kEndings = {"",   "st",  "nd",  "rd", "th", "er", "e",
                                     "re", "eme", "ème", "º",  "a",  "o",  "h"};
    return kEndings.count(w.substr(k)) > 0;
}

bool isEastAsianDateWord(const std::string& w) {
    bool digit = false;
    for (size_t i = 0; i < w.size();) {
        unsigned cp = nextCodePoint(w, i);
        if (cp >= '0' && cp <= '9')
            digit = true;
        else if (!isDateUnitCodePoint(cp))
            return false;
    }
    return digit;
}

// A text made only of date words: numbers, month and weekday names and the
// words that go with them, with at least one number or name.
bool isDateLike(std::string_view text) {
    std::vector<std::string> ws = words(text);
    if (ws.empty() || ws.size() > 12) return false;
    bool anchor = false;
    for (const std::string& w : ws) {
        if (isNumberWord(w) || isEastAsianDateWord(w) || monthNumberAnyLanguage(w) ||
            weekdayWords().count(w) || w == "yesterday" || w == "today" || w == "gestern" ||
            w == "heute") {
            anchor = true;
        } else if (!dateFillerWords().count(w)) {
            return false;
        }
    }
    return anchor;
}

// ---- Bylines, category lists, link labels -------------------------------

bool isNameWord(const std::string& original) {
    unsigned char c = static_cast<unsigned char>(original[0]);
    return (c >= 'A' && c <= 'Z') || c >= 0x80 || (c >= '0' && c <= '9') ||
           original.find('@') != std::string::npos;
}

// "Posted by ...", "Written by ...", and "By A. Name" (a few capitalised
// words after "by"; "By the sea" stays a title).
bool isByline(std::string_view text) {
    std::string lower = lowerLetters(text);
    static const char* const kPrefixes[] = {"posted by",
                                            "written by",
                                            "published by",
                                            "posted on",
                                            "published on",
                                            "posted at",
                                            "submitted by",
                                            "contributed by",
                                            "author:",
                                            "autor:",
                                            "auteur:",
                                            "geschrieben von",
                                            "verfasst von",
                                            "veröffentlicht von",
                                            "veröffentlicht am",
                                            "publié par",
                                            "publié le",
                                            "écrit par",
                                            "publicado por",
                                            "publicado el",
                                            "publicado em",
                                            "escrito por",
                                            "pubblicato da",
                                            "pubblicato il",
                                            "scritto da",
                                            "geplaatst door",
                                            "geplaatst op",
                                            "geschreven door",
                                            "автор:",
                                            "опубликовано"};
    for (const char* p : kPrefixes)
        if (hasPrefixWord(lower, p)) return true;
    static const char* const kBy[] = {"by ", "von ", "par ", "por ", "door ", "di ", "av ", "от "};
    for (const char* by : kBy) {
        size_t n = std::strlen(by);
        if (lower.compare(0, n, by) != 0) continue;
        // The words after "by", with their original case.
        std::vector<std::string> rest;
        std::string w;
        for (char c : text.substr(n)) {
            if (c == ' ' || c == ',') {
                if (!w.empty()) rest.push_back(w);
                w.clear();
            } else {
                w += c;
            }
        }
        if (!w.empty()) rest.push_back(w);
        if (rest.empty() || rest.size() > 4) return false;
        static const WordSet kJoin = {"and", "&",   "und", "et",  "y",   "e",  "en",
                                      "van", "von", "de",  "der", "den", "da", "du",
                                      "le",  "la",  "|",   "-",   "on",  "at"};
        for (const std::string& r : rest)
            if (!isNameWord(r) && !kJoin.count(lowerAscii(r))) return false;
        return true;
    }
    return false;
}

bool isCategoryList(std::string_view text) {
    std::string lower = lowerLetters(text);
    static const char* const kPhrases[] = {"posted in",      "filed under", "filed in",
                                           "tagged with",    "tagged as",   "categorised as",
                                           "categorized as", "posted under"};
    for (const char* p : kPhrases)
        if (hasPrefixWord(lower, p)) return true;
    // One-word heads count only with a colon: "Tags: a, b", not "Tag der ...".
    static const char* const kHeads[] = {
        "tags",       "tag",       "tagged",     "labels",       "label",       "categories",
        "category",   "kategorie", "kategorien", "catégorie",    "catégories",  "categoría",
        "categorías", "categoria", "categorie",  "schlagwörter", "schlagworte", "étiquettes",
        "etiquetas",  "rubrik",    "rubrique",   "метки",        "теги",        "рубрика",
        "topics",     "archives",  "archive",    "archiv"};
    for (const char* h : kHeads) {
        size_t n = std::strlen(h);
        if (lower.compare(0, n, h) != 0) continue;
        size_t k = n;
        while (k < lower.size() && lower[k] == ' ') ++k;
        if (k < lower.size() && lower[k] == ':') return true;
    }
    return false;
}

// Link labels and page furniture, compared as their words joined by single
// spaces (digits dropped, so "Comments (3)" reads "comments").
bool isLinkLabel(std::string_view text) {
    static const WordSet kLabels = {"permalink",
                                    "permanent link",
                                    "link",
                                    "direct link",
                                    "comments",
                                    "comment",
                                    "no comments",
                                    "leave a comment",
                                    "leave a reply",
                                    "add comment",
                                    "add a comment",
                                    "post a comment",
                                    "write a comment",
                                    "show comments",
                                    "comments off",
                                    "comments closed",
                                    "comments are closed",
                                    "reply",
                                    "replies",
                                    "response",
                                    "responses",
                                    "no responses",
                                    "discussion",
                                    "discuss",
                                    "trackback",
                                    "trackbacks",
                                    "pingback",
                                    "pingbacks",
                                    "kommentar",
                                    "kommentare",
                                    "keine kommentare",
                                    "commentaire",
                                    "commentaires",
                                    "pas de commentaire",
                                    "comentario",
                                    "comentarios",
                                    "comentário",
                                    "comentários",
                                    "sin comentarios",
                                    "commento",
                                    "commenti",
                                    "nessun commento",
                                    "reactie",
                                    "reacties",
                                    "geen reacties",
                                    "комментарий",
                                    "комментария",
                                    "комментариев",
                                    "комментарии",
                                    "read more",
                                    "read on",
                                    "more",
                                    "continue",
                                    "continue reading",
                                    "read the rest",
                                    "read the rest of this entry",
                                    "read full post",
                                    "read full article",
                                    "read full story",
                                    "read article",
                                    "full post",
                                    "full story",
                                    "weiterlesen",
                                    "weiter lesen",
                                    "weiter",
                                    "mehr",
                                    "mehr lesen",
                                    "lire la suite",
                                    "lire plus",
                                    "la suite",
                                    "suite",
                                    "en savoir plus",
                                    "leer más",
                                    "leer mas",
                                    "seguir leyendo",
                                    "leia mais",
                                    "continue lendo",
                                    "continuar lendo",
                                    "continua a leggere",
                                    "leggi tutto",
                                    "leggi di più",
                                    "leggi",
                                    "lees verder",
                                    "lees meer",
                                    "verder lezen",
                                    "meer",
                                    "читать далее",
                                    "читать дальше",
                                    "далее",
                                    "подробнее",
                                    "阅读全文",
                                    "阅读更多",
                                    "続きを読む",
                                    "더보기",
                                    "더 보기",
                                    "share",
                                    "share this",
                                    "tweet",
                                    "email",
                                    "e mail",
                                    "print",
                                    "edit",
                                    "top",
                                    "back to top",
                                    "home",
                                    "next",
                                    "previous",
                                    "prev",
                                    "older",
                                    "newer",
                                    "older posts",
                                    "newer posts",
                                    "older entries",
                                    "newer entries",
                                    "next post",
                                    "previous post",
                                    "like",
                                    "likes",
                                    "menu",
                                    "search",
                                    "skip to content",
                                    "archives",
                                    "archive",
                                    "uncategorized",
                                    "uncategorised",
                                    "allgemein",
                                    "non classé",
                                    "sin categoría",
                                    "senza categoria",
                                    "geen categorie",
                                    "без рубрики"};
    std::string joined;
    for (const std::string& w : words(text)) {
        if (isNumberWord(w)) continue;
        if (!joined.empty()) joined += ' ';
        joined += w;
    }
    return kLabels.count(joined) > 0;
}

bool isSeparatorOnly(std::string_view text) {
    for (size_t i = 0; i < text.size();)
        if (isWordCodePoint(nextCodePoint(text, i))) return false;
    return true;
}

// A text piece that is never part of a title: a date stamp. A lone number
// is not one ("Top <b>10</b> films").
bool isStampText(const std::string& text) {
    if (!isDateLike(text)) return false;
    std::vector<std::string> ws = words(text);
    return !(ws.size() == 1 && isNumberWord(ws[0]));
}

// Trims separator characters and spaces from both ends.
std::string trimSeparators(std::string text) {
    static const char* const kSeparators[] = {"|",
                                              "-",
                                              ":",
                                              "/",
                                              "~",
                                              ">",
                                              "<",
                                              "=",
                                              "*",
                                              "\xC2\xBB",
                                              "\xC2\xAB",
                                              "\xC2\xB7",
                                              "\xE2\x80\x93",
                                              "\xE2\x80\x94",
                                              "\xE2\x80\xA2",
                                              "\xE2\x86\x92",
                                              "\xE2\x86\x90",
                                              "\xE2\x80\xBA",
                                              "\xE2\x80\xB9",
                                              " "};
    bool changed = true;
    while (changed && !text.empty()) {
        changed = false;
        for (const char* s : kSeparators) {
            size_t n = std::strlen(s);
            if (text.size() >= n && text.compare(0, n, s) == 0) {
                text.erase(0, n);
                changed = true;
            }
            if (text.size() >= n && text.compare(text.size() - n, n, s) == 0) {
                text.erase(text.size() - n);
                changed = true;
            }
        }
    }
    return text;
}

// ---- Elements ------------------------------------------------------------

// Class token split into its parts ("entry-title" -> entry, title).
std::vector<std::string> tokenParts(const std::string& token) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : token) {
        if (c == '-' || c == '_') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

bool namesTitle(const std::string& token) {
    static const char* const kNot[] = {
        "sub",     "site",  "widget",  "sidebar", "menu",       "nav",
        "comment", "meta",  "date",    "author",  "related",    "footer",
        "logo",    "brand", "section", "tooltip", "page-title", "archive-title"};
    bool title = false;
    for (const std::string& p : tokenParts(token))
        if (p.find("title") != std::string::npos || p.find("headline") != std::string::npos ||
            p.find("heading") != std::string::npos)
            title = true;
    if (!title) return false;
    for (const char* n : kNot)
        if (token.find(n) != std::string::npos) return false;
    return true;
}

// Elements whose text is page furniture: dates, meta data, tags, icons.
bool isMetaElement(const GumboNode* e) {
    if (e->v.element.tag == GUMBO_TAG_TIME) return true;
    if (const char* rel = attribute(e, "rel")) {
        std::string r = lowerAscii(rel);
        if (r.find("tag") != std::string::npos || r.find("category") != std::string::npos)
            return true;
    }
    return anyClassToken(e, [](const std::string& token) {
        static const WordSet kParts = {
            "date",      "time",       "meta",     "byline",    "author",  "tag",      "tags",
            "taglist",   "categories", "category", "separator", "sep",     "comments", "comment",
            "count",     "icon",       "badge",    "published", "updated", "posted",   "datetime",
            "timestamp", "readtime",   "avatar",   "share"};
        for (const std::string& p : tokenParts(token))
            if (kParts.count(p)) return true;
        return false;
    });
}

bool isHeading(const GumboNode* e) {
    switch (e->v.element.tag) {
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
        return true;
    default:
        return false;
    }
}

bool isTitleCandidate(const GumboNode* e) {
    if (isHeading(e)) return true;
    const char* itemprop = attribute(e, "itemprop");
    if (itemprop && std::strstr(itemprop, "headline")) return true;
    return anyClassToken(e, namesTitle);
}

// Page regions that never hold an entry's title.
bool isOutsideTitles(const GumboNode* e) {
    switch (e->v.element.tag) {
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_FORM:
        return true;
    default:
        return isInvisible(e);
    }
}

bool isDescendant(const GumboNode* node, const GumboNode* ancestor) {
    for (const GumboNode* p = node->parent; p; p = p->parent)
        if (p == ancestor) return true;
    return false;
}

// The text an element gives as a title: stamps and furniture left out,
// separators trimmed; empty when it is no acceptable title.
std::string candidateText(const GumboNode* e) {
    std::string text =
        trimSeparators(elementText(e, isMetaElement, isStampText, kMaxTitleBytes * 2));
    return isAcceptableTitle(text) ? text : std::string();
}

bool isFollowableHref(const char* href) {
    if (!href) return false;
    while (*href == ' ' || *href == '\t' || *href == '\n' || *href == '\r') ++href;
    if (!*href || *href == '#') return false;
    std::string lower = lowerAscii(std::string_view(href).substr(0, 11));
    return lower.compare(0, 11, "javascript:") != 0 && lower.compare(0, 7, "mailto:") != 0;
}

// The link of a title element: its first followable link, else the link
// that encloses it.
std::string titleLinkOf(const GumboNode* e) {
    if (e->v.element.tag == GUMBO_TAG_A && isFollowableHref(attribute(e, "href")))
        return attribute(e, "href");
    std::string found;
    walkElements(e, [&](const GumboNode* d) {
        if (d->v.element.tag == GUMBO_TAG_A && isFollowableHref(attribute(d, "href"))) {
            found = attribute(d, "href");
            return Walk::kStop;
        }
        return Walk::kDescend;
    });
    if (!found.empty()) return found;
    for (const GumboNode* p = e->parent; p && p->type == GUMBO_NODE_ELEMENT; p = p->parent)
        if (p->v.element.tag == GUMBO_TAG_A && isFollowableHref(attribute(p, "href")))
            return attribute(p, "href");
    return {};
}

// A text piece that counts as the entry's own text: not a stamp, byline,
// category list, link label or separator.
bool isOwnText(const std::string& text) {
    return !text.empty() && !isSeparatorOnly(text) && !isDateLike(text) && !isByline(text) &&
           !isCategoryList(text) && !isLinkLabel(text);
}

// A heading or title-classed element with the amount of the fragment's own
// text before its start and after its end (bytes).
struct Candidate {
    const GumboNode* node;
    size_t before;
    size_t after;
};

// The title candidates of a fragment in document order, and the size of
// its own text.
struct FragmentTitles {
    std::vector<Candidate> candidates;
    size_t ownText = 0;

    explicit FragmentTitles(const HtmlFragment& f) {
        struct Frame {
            const GumboNode* node;
            unsigned next;
            long candidate;  // index into candidates, -1 when none
            bool meta;       // inside a meta element: its text is not counted
        };
        std::vector<size_t> endSeen;
        std::vector<Frame> stack{{f.body(), 0, -1, false}};
        while (!stack.empty()) {
            Frame& top = stack.back();
            const GumboVector& kids = top.node->v.element.children;
            if (top.next >= kids.length) {
                if (top.candidate >= 0) endSeen[static_cast<size_t>(top.candidate)] = ownText;
                stack.pop_back();
                continue;
            }
            const GumboNode* kid = static_cast<const GumboNode*>(kids.data[top.next++]);
            if (kid->type == GUMBO_NODE_TEXT) {
                if (top.meta) continue;
                std::string text = collapseWhitespace(kid->v.text.text);
                if (isOwnText(text)) ownText += text.size();
            } else if (kid->type == GUMBO_NODE_ELEMENT || kid->type == GUMBO_NODE_TEMPLATE) {
                if (isOutsideTitles(kid)) continue;
                bool meta = top.meta || isMetaElement(kid);
                long index = -1;
                // Title elements inside meta elements count: a date header
                // that carries the post's title.
                if (isTitleCandidate(kid)) {
                    index = static_cast<long>(candidates.size());
                    candidates.push_back({kid, ownText, 0});
                    endSeen.push_back(ownText);
                    meta = false;
                }
                stack.push_back({kid, 0, index, meta});
            }
        }
        for (size_t i = 0; i < candidates.size(); ++i) candidates[i].after = ownText - endSeen[i];
    }
};

// A candidate's title text, or empty when it gives none (including
// headings that link to a category or tag page: they name that page).
std::string titleTextOf(const GumboNode* e) {
    std::string text = candidateText(e);
    if (text.empty() || isTaxonomyHref(titleLinkOf(e))) return {};
    return text;
}

// The title from candidate i on: its text, unless a candidate inside it
// gives one (the more precise title).
bool titleFrom(const std::vector<Candidate>& cands, size_t i, ModernTitle& out) {
    std::string text = titleTextOf(cands[i].node);
    if (text.empty()) return false;
    size_t best = i;
    for (size_t k = i + 1; k < cands.size() && isDescendant(cands[k].node, cands[i].node); ++k) {
        if (!isDescendant(cands[k].node, cands[best].node)) continue;
        std::string inner = titleTextOf(cands[k].node);
        if (inner.empty()) continue;
        best = k;
        text = inner;
    }
    out.text = text;
    out.link = titleLinkOf(cands[best].node);
    return true;
}

// The first candidate with a title that opens the fragment: at most
// kLeadingTextBytes of own text before it, and no more than after it (a
// title at the end of a post's text opens the next post).
bool leadingTitle(const FragmentTitles& f, ModernTitle& out) {
    for (size_t i = 0; i < f.candidates.size(); ++i) {
        const Candidate& c = f.candidates[i];
        if (c.before <= kLeadingTextBytes && c.before <= c.after && titleFrom(f.candidates, i, out))
            return true;
    }
    return false;
}

// The first candidate with a title anywhere.
bool firstTitle(const FragmentTitles& f, ModernTitle& out) {
    for (size_t i = 0; i < f.candidates.size(); ++i)
        if (titleFrom(f.candidates, i, out)) return true;
    return false;
}

// The last candidate with a title and almost no own text after it: a
// header that opens what comes next.
bool trailingTitle(const FragmentTitles& f, ModernTitle& out) {
    for (size_t i = f.candidates.size(); i-- > 0;) {
        if (f.candidates[i].after >= kBareEntryBytes) break;
        std::string text = titleTextOf(f.candidates[i].node);
        if (text.empty()) continue;
        out.text = text;
        out.link = titleLinkOf(f.candidates[i].node);
        return true;
    }
    return false;
}

// The first permalink with an acceptable text.
bool isBlock(const GumboNode* e) {
    switch (e->v.element.tag) {
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_P:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_FIGCAPTION:
        return true;
    default:
        return isHeading(e);
    }
}

// The title of a link that wraps a whole card (picture, title, teaser,
// date): the text of the block that holds the card's first own text.
std::string cardTitle(const GumboNode* link) {
    std::string title;
    std::vector<const GumboNode*> stack{link};
    while (!stack.empty() && title.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type == GUMBO_NODE_TEXT) {
            if (!isOwnText(collapseWhitespace(node->v.text.text))) continue;
            const GumboNode* block = node->parent;
            while (block != link && !isBlock(block)) block = block->parent;
            title = candidateText(block);
            if (title.empty()) title = candidateText(node->parent);
            if (title.empty()) return {};
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        if (node != link && (isOutsideTitles(node) || isMetaElement(node))) continue;
        const GumboVector& kids = node->v.element.children;
        for (unsigned k = kids.length; k-- > 0;)
            stack.push_back(static_cast<const GumboNode*>(kids.data[k]));
    }
    return title;
}

bool findPermalinkTitle(const HtmlFragment& f, ModernTitle& out) {
    bool found = false;
    walkElements(f.body(), [&](const GumboNode* e) {
        if (isOutsideTitles(e)) return Walk::kSkipChildren;
        if (e->v.element.tag != GUMBO_TAG_A) return Walk::kDescend;
        const char* href = attribute(e, "href");
        const char* rel = attribute(e, "rel");
        if (!isFollowableHref(href) || !looksLikePermalink(href, rel ? rel : ""))
            return Walk::kSkipChildren;
        std::string text = candidateText(e);
        if (text.empty()) text = cardTitle(e);
        if (text.empty()) return Walk::kSkipChildren;
        out.text = text;
        out.link = href;
        found = true;
        return Walk::kStop;
    });
    return found;
}

// Compiled once; searches that the engine gives up on count as no match.
bool matches(const boost::regex& re, const std::string& text) {
    try {
        return boost::regex_search(text, re);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool isTaxonomyHref(std::string_view href) {
    static const boost::regex kTaxonomy(
        R"((^|/)(tags?|category|categories|label|labels|author|authors|users?|topics?)(/|\.|\?|#|$))",
        boost::regex::perl | boost::regex::icase);
    return href.size() <= kMaxHrefBytes && matches(kTaxonomy, std::string(href));
}

bool isAcceptableTitle(std::string_view text) {
    if (text.empty() || text.size() > kMaxTitleBytes) return false;
    if (isSeparatorOnly(text) || isDateLike(text)) return false;
    return !isByline(text) && !isCategoryList(text) && !isLinkLabel(text);
}

bool looksLikePermalink(std::string_view href, std::string_view rel) {
    std::string r = lowerAscii(rel);
    if (r.find("bookmark") != std::string::npos) return true;
    if (href.size() > kMaxHrefBytes) return false;
    std::string h = lowerAscii(href);
    // Path, query and fragment: what follows the host of an absolute address.
    size_t at = 0;
    size_t scheme = h.find("://");
    if (scheme != std::string::npos && scheme < h.find_first_of("/?#")) {
        at = h.find('/', scheme + 3);
        if (at == std::string::npos) return false;  // a site's front page
    } else if (h.compare(0, 2, "//") == 0) {
        at = h.find('/', 2);
        if (at == std::string::npos) return false;
    }
    std::string rest = h.substr(at);
    if (rest.empty() || (rest[0] != '/' && rest[0] != '?' && rest[0] != '#'))
        rest.insert(0, "/");  // relative path: read as a path segment
    static const boost::regex kNot(
        R"((^|/)(search|feed|rss|atom|comments|page|wp-login\.php|login|signup|share|sharer(\.php)?)(/|\.|\?|#|$))"
        R"(|#(comments?|respond|disqus)|replytocom=|[?&](share|s)=|intent/tweet)"
        R"(|\.(jpe?g|png|gif|webp|svg|pdf|zip|mp3|mp4|css|js)([?#]|$))");
    if (isTaxonomyHref(rest) || matches(kNot, rest)) return false;
    static const boost::regex kPost(
        R"(/(19|20)\d\d/(0?[1-9]|1[0-2])(/|$))"  // /2016/07/
        R"(|(19|20)\d\d-[01]\d-[0-3]\d)"         // 2016-07-08-slug
        R"(|/[^/?#]+\.(html?|shtml|php|aspx?|cfm|jsp)([?#]|$))"
        R"(|[?&](p|postid|post|entry|id|item|story|article)=\d)"
        R"(|/(post|posts|entry|entries|archives?|articles?|story|stories|blogs?|news|diary|journal|notes?|weblog)/[^/?#]+)"
        R"(|/[^/?#.-]+(-[^/?#.-]+){2,}/?([?#]|$))");  // /three-word-slug
    if (!matches(kPost, rest)) return false;
    // Front pages of a folder are no post.
    static const boost::regex kIndex(R"(/(index|default)\.\w+([?#]|$))");
    static const boost::regex kPostQuery(R"([?&]p=\d)");
    return !matches(kIndex, rest) || matches(kPostQuery, rest);
}

ModernTitle findModernTitleAndLink(const HtmlFragment& entry, const HtmlFragment* preceding,
                                   const HtmlFragment* following) {
    ModernTitle t;
    FragmentTitles own(entry);
    // A title that opens the entry.
    if (leadingTitle(own, t)) return t;
    // The entry starts with its text and the header before it, cut into
    // the previous slice, holds the title.
    if (preceding && trailingTitle(FragmentTitles(*preceding), t)) return t;
    // The entry is only a date header: its post follows.
    if (following && own.ownText < kBareEntryBytes && leadingTitle(FragmentTitles(*following), t))
        return t;
    if (firstTitle(own, t)) return t;
    if (findPermalinkTitle(entry, t)) return t;
    if (following && own.ownText < kBareEntryBytes && findPermalinkTitle(*following, t)) return t;
    return {};
}

ModernTitle findModernTitleAndLink(std::string_view entryHtml, const TitleContext& around) {
    HtmlFragment entry(entryHtml);
    std::unique_ptr<HtmlFragment> preceding, following;
    if (!around.preceding.empty()) preceding = std::make_unique<HtmlFragment>(around.preceding);
    if (!around.following.empty()) following = std::make_unique<HtmlFragment>(around.following);
    return findModernTitleAndLink(entry, preceding.get(), following.get());
}

std::string findModernTitle(std::string_view entryHtml, const TitleContext& around) {
    return findModernTitleAndLink(entryHtml, around).text;
}

}  // namespace w2r
