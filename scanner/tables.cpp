// The scanner's fixed tables: element names by tag id, the named character
// entities it recognises, and their lookup indexes, all built at compile
// time.
#include "tables.h"
#include "scanner/scanner.h"

namespace w2r {

// Upper-case names in alphabetical order; entry 0 stands for every element
// not in the list, entries 92..99 stay empty.
constexpr char kTagNames[kTagTableSize][100] = {
    "_UKN_",   "A",        "ABBR",     "ACRONYM",  "ADDRESS",    "APPLET",   "AREA",     "B",
    "BASE",    "BASEFONT", "BDO",      "BIG",      "BLOCKQUOTE", "BODY",     "BR",       "BUTTON",
    "CAPTION", "CENTER",   "CITE",     "CODE",     "COL",        "COLGROUP", "DD",       "DEL",
    "DFN",     "DIR",      "DIV",      "DL",       "DT",         "EM",       "FIELDSET", "FONT",
    "FORM",    "FRAME",    "FRAMESET", "H1",       "H2",         "H3",       "H4",       "H5",
    "H6",      "HEAD",     "HR",       "HTML",     "I",          "IFRAME",   "IMG",      "INPUT",
    "INS",     "ISINDEX",  "KBD",      "LABEL",    "LEGEND",     "LI",       "LINK",     "MAP",
    "MENU",    "META",     "NOFRAMES", "NOSCRIPT", "OBJECT",     "OL",       "OPTGROUP", "OPTION",
    "P",       "PARAM",    "PRE",      "Q",        "S",          "SAMP",     "SCRIPT",   "SELECT",
    "SMALL",   "SPAN",     "STRIKE",   "STRONG",   "STYLE",      "SUB",      "SUP",      "TABLE",
    "TBODY",   "TD",       "TEXTAREA", "TFOOT",    "TH",         "THEAD",    "TITLE",    "TR",
    "TT",      "U",        "UL",       "VAR",
};

// The four markup entities and the Latin-1 set; a non-breaking space is
// delivered as a plain space.
constexpr HtmlEntity kEntities[kEntityCount] = {
    {"quot", 34},    {"amp", 38},     {"lt", 60},      {"gt", 62},      {"nbsp", 32},
    {"iexcl", 161},  {"cent", 162},   {"pound", 163},  {"curren", 164}, {"yen", 165},
    {"brvbar", 166}, {"sect", 167},   {"uml", 168},    {"copy", 169},   {"ordf", 170},
    {"laquo", 171},  {"not", 172},    {"shy", 173},    {"reg", 174},    {"macr", 175},
    {"deg", 176},    {"plusmn", 177}, {"sup2", 178},   {"sup3", 179},   {"acute", 180},
    {"micro", 181},  {"para", 182},   {"middot", 183}, {"cedil", 184},  {"sup1", 185},
    {"ordm", 186},   {"raquo", 187},  {"frac14", 188}, {"frac12", 189}, {"frac34", 190},
    {"iquest", 191}, {"Agrave", 192}, {"Aacute", 193}, {"Acirc", 194},  {"Atilde", 195},
    {"Auml", 196},   {"Aring", 197},  {"AElig", 198},  {"Ccedil", 199}, {"Egrave", 200},
    {"Eacute", 201}, {"Ecirc", 202},  {"Euml", 203},   {"Igrave", 204}, {"Iacute", 205},
    {"Icirc", 206},  {"Iuml", 207},   {"ETH", 208},    {"Ntilde", 209}, {"Ograve", 210},
    {"Oacute", 211}, {"Ocirc", 212},  {"Otilde", 213}, {"Ouml", 214},   {"times", 215},
    {"Oslash", 216}, {"Ugrave", 217}, {"Uacute", 218}, {"Ucirc", 219},  {"Uuml", 220},
    {"Yacute", 221}, {"THORN", 222},  {"szlig", 223},  {"agrave", 224}, {"aacute", 225},
    {"acirc", 226},  {"atilde", 227}, {"auml", 228},   {"aring", 229},  {"aelig", 230},
    {"ccedil", 231}, {"egrave", 232}, {"eacute", 233}, {"ecirc", 234},  {"euml", 235},
    {"igrave", 236}, {"iacute", 237}, {"icirc", 238},  {"iuml", 239},   {"eth", 240},
    {"ntilde", 241}, {"ograve", 242}, {"oacute", 243}, {"ocirc", 244},  {"otilde", 245},
    {"ouml", 246},   {"divide", 247}, {"oslash", 248}, {"ugrave", 249}, {"uacute", 250},
    {"ucirc", 251},  {"uuml", 252},   {"yacute", 253}, {"thorn", 254},  {"yuml", 255},
};

constexpr NameIndex::NameIndex() : ids(), count() {
    for (int id = kTagCount - 1; id >= 1; --id) {
        int letter = kTagNames[id][0] - 'A';
        char second = kTagNames[id][1];
        for (int g = 0; g < kNameSeconds; ++g)
            if (second == 0 || nameSecond(second) == g)
                ids[letter][g][count[letter][g]++] = static_cast<unsigned char>(id);
    }
}

constexpr EntityIndex::EntityIndex() : ids(), count(), len() {
    for (int e = 0; e < kEntityCount; ++e) {
        unsigned char first = static_cast<unsigned char>(kEntities[e].name[0]);
        ids[first][count[first]++] = static_cast<unsigned char>(e);
        unsigned char n = 0;
        while (kEntities[e].name[n] != 0) ++n;
        len[e] = n;
    }
}

constexpr NameIndex kNameIndex;
constexpr EntityIndex kEntityIndex;

}  // namespace w2r
