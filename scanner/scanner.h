// HTML item scanner: cuts a NUL-terminated HTML text into tags, comments,
// words, punctuation, whitespace and entities, and reports each item to the
// matching handler of one ScanHandlers set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace w2r {

// Item codes returned by Scanner::next and passed to the handlers.
// Open tags of known elements use their tag id (1..91), unknown ones 0;
// close tags use 1000 + tag id.
constexpr int kUnknownTag = 0;
constexpr int kCloseTagBase = 1000;
constexpr int kItemComment = 92;
constexpr int kItemWord = 2000;
constexpr int kItemPunct = 2001;
constexpr int kItemSpace = 2003;
constexpr int kItemEntity = 2004;
constexpr int kItemEnd = -1;

// Tag ids: positions in the element-name table (0 is every other element).
enum TagId {
    kTagUnknown = 0,
    kTagA = 1,
    kTagAbbr = 2,
    kTagAcronym = 3,
    kTagAddress = 4,
    kTagApplet = 5,
    kTagArea = 6,
    kTagB = 7,
    kTagBase = 8,
    kTagBasefont = 9,
    kTagBdo = 10,
    kTagBig = 11,
    kTagBlockquote = 12,
    kTagBody = 13,
    kTagBr = 14,
    kTagButton = 15,
    kTagCaption = 16,
    kTagCenter = 17,
    kTagCite = 18,
    kTagCode = 19,
    kTagCol = 20,
    kTagColgroup = 21,
    kTagDd = 22,
    kTagDel = 23,
    kTagDfn = 24,
    kTagDir = 25,
    kTagDiv = 26,
    kTagDl = 27,
    kTagDt = 28,
    kTagEm = 29,
    kTagFieldset = 30,
    kTagFont = 31,
    kTagForm = 32,
    kTagFrame = 33,
    kTagFrameset = 34,
    kTagH1 = 35,
    kTagH2 = 36,
    kTagH3 = 37,
    kTagH4 = 38,
    kTagH5 = 39,
    kTagH6 = 40,
    kTagHead = 41,
    kTagHr = 42,
    kTagHtml = 43,
    kTagI = 44,
    kTagIframe = 45,
    kTagImg = 46,
    kTagInput = 47,
    kTagIns = 48,
    kTagIsindex = 49,
    kTagKbd = 50,
    kTagLabel = 51,
    kTagLegend = 52,
    kTagLi = 53,
    kTagLink = 54,
    kTagMap = 55,
    kTagMenu = 56,
    kTagMeta = 57,
    kTagNoframes = 58,
    kTagNoscript = 59,
    kTagObject = 60,
    kTagOl = 61,
    kTagOptgroup = 62,
    kTagOption = 63,
    kTagP = 64,
    kTagParam = 65,
    kTagPre = 66,
    kTagQ = 67,
    kTagS = 68,
    kTagSamp = 69,
    kTagScript = 70,
    kTagSelect = 71,
    kTagSmall = 72,
    kTagSpan = 73,
    kTagStrike = 74,
    kTagStrong = 75,
    kTagStyle = 76,
    kTagSub = 77,
    kTagSup = 78,
    kTagTable = 79,
    kTagTbody = 80,
    kTagTd = 81,
    kTagTextarea = 82,
    kTagTfoot = 83,
    kTagTh = 84,
    kTagThead = 85,
    kTagTitle = 86,
    kTagTr = 87,
    kTagTt = 88,
    kTagU = 89,
    kTagUl = 90,
    kTagVar = 91,
};
constexpr int kTagCount = 92;  // ids 0..91
constexpr int kTagTableSize = 100;

// Upper-case element names by tag id, NUL-padded; entries 92..99 are empty.
extern const char kTagNames[kTagTableSize][100];

// One named character entity: its name (exact case) and the value delivered.
struct HtmlEntity {
    const char* name;
    int value;
};
constexpr int kEntityCount = 100;
extern const HtmlEntity kEntities[kEntityCount];

// A handler gets the context of its set, the item code, and the item's text
// (NUL-terminated in place, len bytes). Return values are not used.
using TextHandler = int (*)(void* context, int code, char* text, int len);
using EntityHandler = int (*)(void* context, int value);

// What the scanner calls for each kind of item; a null handler means the
// item is not reported (its code is still returned).
struct ScanHandlers {
    void* context = nullptr;
    TextHandler openTag = nullptr;   // known and unknown open tags
    TextHandler closeTag = nullptr;  // close tags
    TextHandler word = nullptr;
    TextHandler comment = nullptr;  // comments and declarations
    TextHandler punct = nullptr;
    TextHandler space = nullptr;     // one whitespace byte
    EntityHandler entity = nullptr;  // gets the entity's value
};

// Scans one input at a time. Keeps its tables between inputs, so one
// scanner serves many pages; not shared between threads.
class Scanner {
public:
    Scanner() = default;
    explicit Scanner(const ScanHandlers& handlers) : handlers_(handlers) {}
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    void setHandlers(const ScanHandlers& handlers) { handlers_ = handlers; }
    const ScanHandlers& handlers() const { return handlers_; }

    // Makes a private copy of s (up to its first NUL) the current input;
    // a null s is an empty text.
    void useString(const char* s);
    // Scans buf in place; size counts two trailing NULs. Refused otherwise.
    // The bytes are left as given once the input is released.
    void useBuffer(char* buf, int size);
    // Scans the next item, calls its handler, returns its code (kItemEnd
    // at the end and when there is no input).
    int next();
    // Takes the run of bytes from the scan position up to the next '<' or
    // '&' (or the end): a run that can only hold words, whitespace and
    // punctuation, the items next() would report one at a time. No handler
    // is called and there is no current item afterwards; the run stays
    // valid until the input is released.
    std::string_view takeText() {
        restoreHeldByte();
        // Markup next (or the end): no run, and no call.
        if (!haveInput_ || *input_.pos == '<' || *input_.pos == '&' || *input_.pos == 0)
            return std::string_view();
        return takeRun();
    }
    // Releases the current input; no-op without one.
    void release();
    // From a handler: shorten the current item to its first n bytes; calls
    // outside 1..itemLength(), or without a current item, change nothing.
    void backtrack(int n);

    // The current item, NUL-terminated in place, and its length.
    const char* itemText() const { return itemText_; }
    int itemLength() const { return itemLength_; }

private:
    // The current input: the bytes followed by two NULs; the text scanned
    // is bytes up to its first NUL (length bytes).
    struct Input {
        char* bytes = nullptr;
        char* pos = nullptr;  // scan position
        int size = 0;         // number of bytes, not counting the two NULs
        int length = 0;       // bytes before the first NUL
        bool owned = false;   // the scanner frees bytes
    };

    void restoreHeldByte() {
        if (heldAt_ != nullptr) {
            *heldAt_ = heldByte_;
            heldAt_ = nullptr;
        }
    }
    std::string_view takeRun();
    void install(char* bytes, int size, bool owned);
    void installCopy(const char* bytes, std::size_t len);
    void buildTagEnds();
    std::size_t firstDoubleDash(const char* s, std::size_t n, std::size_t from);
    std::size_t firstGreater(const char* s, std::size_t n, std::size_t from);
    std::size_t matchCommentOrDeclaration(const char* s, std::size_t n, std::size_t p);
    std::size_t matchTag(const char* s, std::size_t p, int* code);

    ScanHandlers handlers_;
    Input input_;
    bool haveInput_ = false;
    char empty_[1] = {0};
    char* itemText_ = nullptr;
    int itemLength_ = 0;
    char* heldAt_ = nullptr;  // where the held byte belongs, null if none
    char heldByte_ = 0;

    // The tag end at a '<' at p describes "R* >" and "Q* >" starting at
    // p + 1: -1 if no such match, v >= 0 if both end with the '>' at v,
    // -2 - v if only the R form does (a bare '!' comes first). It is read
    // forward from p; once those reads have covered twice the input (as
    // "<a<a<a..." would make them), a table of every '<' is filled instead,
    // one entry per '<' in ascending position, read through tagCursor_.
    struct TagEnd {
        std::int32_t pos;
        std::int32_t value;
    };
    std::int32_t tagEndAt(std::size_t p);
    std::int32_t readTagEnd(std::size_t p);
    std::vector<TagEnd> tagEnds_;
    std::size_t tagCursor_ = 0;
    bool tagEndReady_ = false;    // the table is filled
    std::size_t tagEndRead_ = 0;  // bytes read forward for tag ends

    // Remembered answers of the two forward searches: the first "--" and
    // the first '>' at or after some position (the text length if none).
    std::size_t ddFrom_ = SIZE_MAX, ddAt_ = 0;
    std::size_t gtFrom_ = SIZE_MAX, gtAt_ = 0;
};

}  // namespace w2r
