#include "cli/explain_mode.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <numeric>

#include "dom/tree.h"
#include "scanner/scanner.h"

namespace w2r {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// Matches of one pattern tried in one text for the one that was read.
constexpr int kMatchesTried = 64;

const char* nodeEnd(const Node* n) { return n->end ? n->end : n->start; }

std::string tagName(const Node* n) {
    if (!n->parent) return "(root)";
    if (n->tag < 0 || n->tag >= kTagTableSize) return "?";
    std::string name;
    for (const char* p = kTagNames[n->tag]; *p; p++)
        name += static_cast<char>(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p);
    return name;
}

int depthOf(const Node* n) {
    int depth = 0;
    for (const Node* p = n->parent; p; p = p->parent) depth++;
    return depth;
}

std::string plural(long long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "<td> at depth 5 with 9 children"
std::string describe(const Node* n) {
    std::string tag = n->parent ? "<" + tagName(n) + ">" : "the root";
    return tag + " at depth " + std::to_string(depthOf(n)) + " with " +
           plural(n->childCount, "child", "children");
}

std::vector<PatternCount> counts(const std::vector<int>& tally) {
    std::vector<PatternCount> out;
    for (std::size_t id = 0; id < tally.size(); id++)
        if (tally[id] > 0) out.push_back({static_cast<int>(id), tally[id]});
    return out;
}

bool isTimeId(int id) {
    return (id >= kFirstTimePattern && id < kPatternCount) || id == kExtraTimeId;
}

std::string patternName(int id) {
    if (id == kExtraDateId) return "the extra printed date forms";
    if (id == kExtraStampId) return "machine-readable dates";
    if (id == kExtraTimeId) return "the extra time forms";
    return std::string(isTimeId(id) ? "time" : "date") + " pattern #" + std::to_string(id);
}

// Why the locator went past, stopped at or chose the element of step.
std::string reason(const LocateStep& s) {
    const std::string dates = "dates in " + plural(s.insideDates, "child", "children") + " and " +
                              std::to_string(s.outsideDates) + " outside them";
    const std::string times = "times in " + plural(s.insideTimes, "child", "children") + " and " +
                              std::to_string(s.outsideTimes) + " outside them";
    switch (s.outcome) {
    case StepOutcome::kFewStamps:
        return "No date or time recurs: " + dates + ", " + times + " (three are needed).";
    case StepOutcome::kNoCommonDate:
        return "Dates recur (" + dates + "), but no one date pattern dates three children.";
    case StepOutcome::kDatesOutside:
        return "Dates recur, but not more in the children than outside them (" + dates +
               "): the search ends here without entries.";
    case StepOutcome::kTimesInside:
        return "No date recurs, only times (" + times + "): the search ends here without entries.";
    case StepOutcome::kTimesOutside:
        return "No date recurs; times recur, not more in the children than outside them (" + times +
               "): the search ends here without entries.";
    case StepOutcome::kChosen: {
        std::string why = "More dates in the children than outside them (" + dates + "); " +
                          patternName(s.dateId) + " marks the entries";
        if (s.timeId >= 0) why += ", " + patternName(s.timeId) + " their times";
        return why + ".";
    }
    }
    return "";
}

std::string verdict(const ConvertResult& r, const LocateTrace& trace, const Page& page,
                    bool feedKept) {
    if (!r.treeClosed)
        return "No feed: the page's elements could not be closed back to the root of its tree, "
               "so no entries were looked for.";
    const LocateStep& s = trace.decisive;
    const std::string which =
        trace.decided && s.node
            ? describe(s.node) + " (element " + std::to_string(trace.decisiveNumber) + " examined)"
            : std::string("?");
    switch (r.located) {
    case LocateResult::kNone:
        if (trace.examined == 0)
            return "No feed: no recurring date found; no element has four or more children.";
        return "No feed: no recurring date found in " +
               (trace.examined == 1
                    ? std::string("the one element")
                    : "any of the " + std::to_string(trace.examined) + " elements") +
               " with four or more children.";
    case LocateResult::kDatesOutside:
        return "No feed: dates recur first around " + which +
               ", but not more in its children than outside them.";
    case LocateResult::kTimesInside:
    case LocateResult::kTimesOutside:
        return "No feed: only times of day recur, first in " + which +
               "; entries need a recurring date.";
    case LocateResult::kEntries:
        break;
    }
    const std::string entries =
        plural(static_cast<long long>(page.entries().size()), "entry", "entries");
    std::string text =
        feedKept ? "Feed written with " + entries
                 : "No feed written (no output folder given) of the " + entries + " found";
    text += ", cut from " + which;
    if (s.dateId >= 0) text += " and dated by " + patternName(s.dateId);
    return text + ".";
}

// A match's text, cut to its last bytes when long: the patterns that begin
// with ">[^<]*" may take in a whole paragraph before the date.
std::string matchText(const DateMatch& m) {
    constexpr std::size_t kKept = 200;
    const char* a = m[0].first;
    const char* b = m[0].second;
    if (static_cast<std::size_t>(b - a) <= kKept) return std::string(a, b);
    a = b - kKept;
    while (a < b && (static_cast<unsigned char>(*a) & 0xC0) == 0x80) a++;
    return "\u2026" + std::string(a, b);
}

// The text of the first match of pattern id in [a, b) that reads as the
// values given (the date fields, or the time when isTime); "" when none of
// the first matches does.
std::string matchReading(const DatePatterns& patterns, int id, bool isTime, const char* a,
                         const char* b, const Timestamp& want) {
    if (id < 0 || id >= kPatternCount) return "";
    DateMatch m;
    for (int tries = 0; tries < kMatchesTried && a < b && patterns[id].search(a, b, m); tries++) {
        bool same = isTime ? getHour(m, id) == want.hour && getMin(m, id) == want.min
                           : getYear(m, id) == want.year && getMonth(m, id) == want.month &&
                                 getDay(m, id) == want.day;
        if (same) return matchText(m);
        a = m[0].second > m[0].first ? m[0].second : m[0].first + 1;
    }
    return "";
}

// The first match of pattern id in the container's children that gives a
// valid date (or time).
std::string firstValidMatch(const DatePatterns& patterns, int id, const Node* box) {
    if (id < 0 || id >= kPatternCount) return "";
    bool isTime = id >= kFirstTimePattern;
    DateMatch m;
    for (int i = 0; i < box->childCount; i++) {
        const Node* c = box->children[i];
        if (!patterns[id].search(c->start, nodeEnd(c), m)) continue;
        bool valid =
            isTime ? isValidTime(getHour(m, id), getMin(m, id))
                   : isValidDate(getYear(m, id), getMonth(m, id), getDay(m, id), patterns.years());
        if (valid) return matchText(m);
    }
    return "";
}

// Store offsets of the first entries' starts (each entry views its slice
// of the store); npos for an empty entry.
std::vector<std::size_t> entryStoreStarts(const EntryTable& table, const char* store,
                                          const char* storeEnd, std::size_t count) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < count && i < table.size(); i++) {
        const char* at = table[i].html.data();
        bool inStore = !table[i].html.empty() && at >= store && at < storeEnd;
        starts.push_back(inStore ? static_cast<std::size_t>(at - store) : npos);
    }
    return starts;
}

// Where the container's end is marked: before its own close tag, so that
// the marker shows inside it (a marker between table cells would be moved
// out of the table); after the container when it has no close tag.
const char* closeTagStart(const Node* box, const char* storeEnd) {
    if (!box->parent || !box->end) return storeEnd;
    const char* end = box->end;
    if (end <= box->start || end[-1] != '>') return end;
    const char* lt = end - 1;
    while (lt > box->start && *lt != '<') lt--;
    std::string name = "</" + tagName(box);
    if (static_cast<std::size_t>(end - lt) <= name.size()) return end;
    for (std::size_t k = 0; k < name.size(); k++)
        if ((lt[k] >= 'A' && lt[k] <= 'Z' ? lt[k] - 'A' + 'a' : lt[k]) != name[k]) return end;
    char after = lt[name.size()];
    return after == '>' || after == ' ' || after == '\t' || after == '\n' || after == '\r' ? lt
                                                                                           : end;
}

// A writer that hands the feed on unchanged and keeps its titles and links.
class CapturingWriter final : public FeedWriter {
public:
    CapturingWriter(FeedWriter& inner, CapturedFeed& captured)
        : inner_(inner), captured_(captured) {}
    void write(const Feed& feed) override {
        inner_.write(feed);
        std::size_t n = std::min(feed.entries.size(), kMaxEntryRows);
        for (std::size_t i = 0; i < n; i++)
            captured_.entries.emplace_back(feed.entries[i].title, feed.entries[i].links);
    }

private:
    FeedWriter& inner_;
    CapturedFeed& captured_;
};

bool makeFolders(const std::string& path, std::string& error) {
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        std::string part = path.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            error = std::strerror(errno);
            return false;
        }
        if (at == std::string::npos) break;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "not a folder";
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::size_t> storeToPageOffsets(std::string_view page, const char* store,
                                            std::size_t storeSize,
                                            const std::vector<std::size_t>& storeOffsets) {
    std::vector<std::size_t> out(storeOffsets.size(), npos);
    std::vector<std::size_t> order(storeOffsets.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return storeOffsets[a] < storeOffsets[b]; });
    std::size_t next = 0;  // into order

    // The scanner reads up to the first NUL, as it did for the tree.
    std::string text(page);
    text.resize(std::strlen(text.c_str()));
    std::size_t rawAt = 0, storeAt = 0;
    // An item of len bytes at rawAt that the builder copied to storeAt.
    auto copied = [&](std::size_t len) {
        if (storeAt >= storeSize) return false;
        len = std::min(len, storeSize - storeAt);
        if (std::memcmp(store + storeAt, text.data() + rawAt, len) != 0) return false;
        for (; next < order.size() && storeOffsets[order[next]] < storeAt + len; next++)
            if (storeOffsets[order[next]] >= storeAt)
                out[order[next]] = rawAt + (storeOffsets[order[next]] - storeAt);
        storeAt += len;
        return true;
    };
    Scanner scanner;
    scanner.useString(text.c_str());
    bool same = true;
    while (same) {
        std::string_view run = scanner.takeText();
        if (!run.empty()) {
            same = copied(run.size());
            rawAt += run.size();
        }
        int code = scanner.next();
        if (!same || code == kItemEnd) break;
        std::size_t len = static_cast<std::size_t>(std::max(scanner.itemLength(), 0));
        if (code != kItemEntity && code != kItemComment) same = copied(len);
        rawAt += len;
    }
    scanner.release();
    // The end of the store is the end of the page.
    if (same && storeAt == storeSize)
        for (; next < order.size() && storeOffsets[order[next]] == storeSize; next++)
            out[order[next]] = rawAt;
    return out;
}

ExplainReport explainConversion(const Converter& converter, const Page& page,
                                const ExplainContext& context, const ConvertResult& result,
                                const LocateTrace& trace, const CapturedFeed& feed) {
    ExplainReport r;
    r.verdict = verdict(result, trace, page, context.feedKept);
    r.options = context.options;
    r.address = context.address;
    r.pageHtml = page.text();
    r.pageSize = r.pageHtml.size();

    for (const LocateStep& s : trace.steps) {
        ExaminedElement e;
        e.tag = s.node ? tagName(s.node) : "?";
        e.depth = s.node ? depthOf(s.node) : 0;
        e.childCount = s.node ? s.node->childCount : 0;
        e.own = counts(s.own);
        e.gap = counts(s.gap);
        e.tail = counts(s.tail);
        e.chosen = s.outcome == StepOutcome::kChosen;
        e.why = reason(s);
        r.examined.push_back(std::move(e));
    }
    r.examinedTotal = trace.examined;
    if (result.treeClosed && trace.decided && trace.decisiveNumber > trace.steps.size())
        r.verdict += " " + reason(trace.decisive);

    const LocateStep& chosen = trace.decisive;
    const Node* box = result.hasEntries() && trace.decided && chosen.outcome == StepOutcome::kChosen
                          ? chosen.node
                          : nullptr;
    if (!box) return r;
    const DatePatterns& patterns = converter.datePatterns();
    for (int id : {chosen.dateId, chosen.timeId}) {
        if (id < 0) continue;
        PatternExample p;
        p.id = id;
        p.isTime = isTimeId(id);
        p.patternText = id < kPatternCount ? patterns[id].text() : patternName(id);
        p.exampleMatch = firstValidMatch(patterns, id, box);
        r.patterns.push_back(std::move(p));
    }

    const EntryTable& table = page.entries();
    r.entriesTotal = table.size();
    std::size_t rows = std::min(table.size(), kMaxEntryRows);
    const char* store = page.tree().storeBegin();
    const char* storeEnd = page.tree().storeEnd();
    for (std::size_t i = 0; i < rows; i++) {
        const Entry& entry = table[i];
        const Timestamp& ts = entry.time;
        ExplainedEntry e;
        e.number = static_cast<int>(i + 1);
        if (i < feed.entries.size()) {
            e.title = feed.entries[i].first;
            e.links = feed.entries[i].second;
        }
        const char* a = entry.html.data();
        const char* b = a + entry.html.size();
        if (ts.dateType > 0) {
            e.year = ts.year;
            e.month = ts.month;
            e.day = ts.day;
            // Found in the entry, or for an entry cut by its time, in the
            // container before it.
            e.dateText = matchReading(patterns, ts.dateType - 1, false, a, b, ts);
            if (e.dateText.empty())
                e.dateText =
                    matchReading(patterns, ts.dateType - 1, false, box->start, nodeEnd(box), ts);
        }
        if (ts.timeType > 0) {
            e.hour = ts.hour;
            e.minute = ts.min;
            e.timeText = matchReading(patterns, ts.timeType - 1, true, a, b, ts);
        }
        e.text = plainTextPreview(entry.html, kMaxEntryTextChars);
        r.entries.push_back(std::move(e));
    }

    // Where the container and the entries are in the page itself.
    std::vector<std::size_t> offsets = entryStoreStarts(table, store, storeEnd, rows);
    const char* boxEnd = closeTagStart(box, storeEnd);
    offsets.push_back(static_cast<std::size_t>(box->start - store));
    offsets.push_back(static_cast<std::size_t>(boxEnd - store));
    std::vector<std::size_t> raw =
        storeToPageOffsets(r.pageHtml, store, static_cast<std::size_t>(storeEnd - store), offsets);
    r.containerEnd = raw.back();
    raw.pop_back();
    r.containerStart = raw.back();
    raw.pop_back();
    r.entryStarts = std::move(raw);
    return r;
}

std::vector<std::pair<std::string, std::string>> optionsInForce(const CliOptions& options) {
    std::vector<std::pair<std::string, std::string>> list = options.given;
    const YearWindow& years = options.conversion.years;
    const std::pair<std::string, std::string> settings[] = {
        {"--format", std::string(feedFormatName(options.format))},
        {"--years", std::to_string(years.from) + "-" + std::to_string(years.to)},
    };
    for (const auto& setting : settings)
        if (std::none_of(list.begin(), list.end(),
                         [&](const auto& o) { return o.first == setting.first; }))
            list.emplace_back(setting.first, setting.second + " (default)");
    return list;
}

Explainer::Explainer(const CliOptions& options)
    : target_(options.explain), options_(optionsInForce(options)), failed_(&ownFlag_) {
    static_assert(std::atomic<bool>::is_always_lock_free, "the flag is shared between processes");
    if (!enabled()) return;
    void* shared = ::mmap(nullptr, sizeof(std::atomic<bool>), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared != MAP_FAILED) failed_ = new (shared) std::atomic<bool>(false);
}

Explainer::~Explainer() {
    if (failed_ != &ownFlag_) ::munmap(failed_, sizeof(std::atomic<bool>));
}

bool Explainer::makeFolder() {
    std::string error;
    if (makeFolders(target_, error)) return true;
    std::fprintf(stderr, "weblog2rss: cannot make the report folder %s: %s\n", target_.c_str(),
                 error.c_str());
    failed_->store(true);
    return false;
}

std::string Explainer::reportPath(const std::string& n) const {
    if (n.empty()) return target_;
    return target_.back() == '/' ? target_ + n + ".html" : target_ + "/" + n + ".html";
}

ConvertResult Explainer::convert(const Converter& converter, Page& page, const std::string& address,
                                 FeedWriter& writer, Diagnostics& diagnostics,
                                 const std::string& reportPath, bool feedKept) {
    if (!enabled()) return convertLoadedPage(converter, page, address, writer, diagnostics);
    CapturedFeed captured;
    CapturingWriter capture(writer, captured);
    LocateTrace trace;
    ConvertResult result =
        convertLoadedPage(converter, page, address, capture, diagnostics, &trace);
    ExplainContext context{address.empty() ? "standard input" : address, feedKept, options_};
    ExplainReport report = explainConversion(converter, page, context, result, trace, captured);
    std::ofstream out(reportPath, std::ios::binary | std::ios::trunc);
    if (out) writeExplainReport(report, out);
    out.close();
    if (!out) {
        std::fprintf(stderr, "weblog2rss: cannot write the report %s\n", reportPath.c_str());
        ::unlink(reportPath.c_str());
        failed_->store(true);
    }
    return result;
}

}  // namespace w2r
