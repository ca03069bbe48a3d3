#include "fetch/fetch.h"

#include "fetch/cache_files.h"
#include "fetch/robots.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>

#ifndef WEBLOG2RSS_VERSION
#define WEBLOG2RSS_VERSION "0"
#endif

namespace w2r {

std::string defaultUserAgent() { return std::string("weblog2rss/") + WEBLOG2RSS_VERSION; }

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kRobotsMaxBytes = 512 * 1024;
constexpr std::size_t kErrorBodyMaxBytes = 64 * 1024;  // bodies of error and redirect responses

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}

bool startsWithIgnoreCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(s[i]) != lower(prefix[i])) return false;
    return true;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// The charset parameter of a Content-Type value, without quotes.
std::string charsetOf(std::string_view contentType) {
    std::size_t pos = contentType.find(';');
    while (pos != std::string_view::npos) {
        std::string_view param = contentType.substr(pos + 1);
        std::size_t next = param.find(';');
        std::string_view item = trimmed(param.substr(0, next));
        if (startsWithIgnoreCase(item, "charset=")) {
            std::string_view value = trimmed(item.substr(8));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return std::string(value);
        }
        pos = next == std::string_view::npos ? next : pos + 1 + next;
    }
    return {};
}

// An address split into what scheduling and robots.txt need.
struct Address {
    std::string url;     // normalised, as handed to the transfer
    std::string host;    // lower case: the unit of the per-host limit
    std::string origin;  // scheme://host:port: the unit of robots.txt
    std::string pathAndQuery;
};

// Fills addr, or returns why url cannot be fetched.
std::string parseAddress(std::string_view url, Address& addr) {
    std::size_t colon = url.find(':');
    bool hasScheme = colon != std::string_view::npos && colon > 0;
    for (std::size_t i = 0; hasScheme && i < colon; ++i) {
        char c = url[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        hasScheme =
            letter || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    }
    if (!hasScheme) return "not an address: it must start with http:// or https://";
    std::string scheme = lowered(url.substr(0, colon));
    if (scheme != "http" && scheme != "https")
        return "unsupported scheme \"" + std::string(url.substr(0, colon)) +
               ":\" (only http and https are fetched)";
    if (url.find('\0') != std::string_view::npos) return "malformed address: it holds a NUL byte";

    std::unique_ptr<CURLU, void (*)(CURLU*)> h(curl_url(), curl_url_cleanup);
    if (!h) throw std::bad_alloc();
    std::string copy(url);
    CURLUcode rc = curl_url_set(h.get(), CURLUPART_URL, copy.c_str(), 0);
    if (rc != CURLUE_OK) return std::string("malformed address: ") + curl_url_strerror(rc);

    auto part = [&h](CURLUPart which, unsigned flags, std::string& out) {
        char* value = nullptr;
        CURLUcode c = curl_url_get(h.get(), which, &value, flags);
        if (c == CURLUE_OK && value) out = value;
        curl_free(value);
        return c;
    };
    std::string port, path, query;
    if (part(CURLUPART_HOST, 0, addr.host) != CURLUE_OK || addr.host.empty())
        return "malformed address: no host name";
    addr.host = lowered(addr.host);
    part(CURLUPART_PORT, CURLU_DEFAULT_PORT, port);
    part(CURLUPART_PATH, 0, path);
    part(CURLUPART_QUERY, 0, query);
    if (part(CURLUPART_URL, 0, addr.url) != CURLUE_OK) return "malformed address";
    addr.origin = scheme + "://" + addr.host + ":" + port;
    addr.pathAndQuery = path.empty() ? "/" : path;
    if (!query.empty()) addr.pathAndQuery += "?" + query;
    return {};
}

bool isRedirect(long code) {
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

std::string httpError(long code, const std::string& reason) {
    std::string out = "HTTP " + std::to_string(code);
    if (!reason.empty()) out += " " + reason;
    return out;
}

// Runs the transfers of one fetch call: a queue of pages and robots.txt
// files, started while the run-wide and per-host limits allow, driven by one
// curl multi handle on the calling thread.
class Engine {
public:
    using DoneFn = std::function<void(std::size_t, FetchedPage&&)>;

    Engine(const FetchOptions& options, DoneFn onDone) : opt_(options), onDone_(std::move(onDone)) {
        opt_.connections = std::max(1, opt_.connections);
        opt_.perHost = std::max(1, opt_.perHost);
        opt_.maxRedirects = std::max(0, opt_.maxRedirects);
        // A line break in the user agent would start a request header of its own.
        opt_.userAgent.erase(
            std::remove_if(
                opt_.userAgent.begin(), opt_.userAgent.end(),
                [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }),
            opt_.userAgent.end());
        std::string_view ua = opt_.userAgent;
        robotsToken_ = std::string(ua.substr(0, std::min(ua.find('/'), ua.find(' '))));
        if (robotsToken_.empty()) robotsToken_ = "weblog2rss";
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw std::runtime_error("cannot start libcurl");
        multi_ = curl_multi_init();
        if (!multi_) {
            curl_global_cleanup();
            throw std::runtime_error("cannot start libcurl");
        }
        curl_multi_setopt(multi_, CURLMOPT_MAX_TOTAL_CONNECTIONS,
                          static_cast<long>(opt_.connections));
        curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(opt_.perHost));
    }

    ~Engine() {
        for (auto& entry : transfers_) {
            curl_multi_remove_handle(multi_, entry.first);
            curl_easy_cleanup(entry.first);
            curl_slist_free_all(entry.second->requestHeaders);
        }
        curl_multi_cleanup(multi_);
        curl_global_cleanup();
    }

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void addPage(const std::string& url, const std::string& etag, const std::string& lastModified) {
        Page p;
        p.original = url;
        p.etag = etag;
        p.lastModified = lastModified;
        pages_.push_back(std::move(p));
    }

    void run() {
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            Page& p = pages_[i];
            std::string err = parseAddress(p.original, p.at);
            if (!err.empty()) {
                p.at.url = p.original;
                fail(i, err);
            } else {
                admit(i);
            }
        }
        for (;;) {
            startRunnable();
            if (transfers_.empty() && runnable_.empty()) break;
            int running = 0;
            curl_multi_perform(multi_, &running);
            bool finished = false;
            int queued = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
                if (msg->msg != CURLMSG_DONE) continue;
                finish(msg->easy_handle, msg->data.result);
                finished = true;
            }
            if (!finished) curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
        }
    }

private:
    struct Page {
        std::string original;
        Address at;
        int hops = 0;
        std::string etag, lastModified;  // validators for a conditional request
        bool started = false;
        Clock::time_point deadline;
    };

    struct Origin {
        enum class State { Unknown, Fetching, Ready } state = State::Unknown;
        RobotsRules rules;
        std::string unreachable;  // why robots.txt could not be had; pages are refused
        std::vector<std::size_t> waiting;
        Address at;  // the robots.txt address (moves on redirects)
        int hops = 0;
        bool started = false;
        Clock::time_point deadline;
    };

    struct Job {
        bool robots = false;
        std::size_t page = 0;  // when !robots
        std::string origin;    // when robots
    };

    struct Transfer {
        Job job;
        CURL* easy = nullptr;
        std::string host;
        curl_slist* requestHeaders = nullptr;
        std::size_t maxHeaderBytes = 0, maxBodyBytes = 0, errorBodyBytes = 0;
        std::size_t limit = 0;  // settled at the first body bytes, from the status
        bool limitSet = false;
        std::size_t headerBytes = 0;
        bool headersTooLong = false, cut = false;
        std::string body, reason, contentType, etag, lastModified;
        char errbuf[CURL_ERROR_SIZE] = {};
    };

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto* t = static_cast<Transfer*>(user);
        std::size_t n = size * count;
        t->headerBytes += n;
        if (t->headerBytes > t->maxHeaderBytes) {
            t->headersTooLong = true;
            return 0;
        }
        std::string_view line(data, n);
        if (startsWithIgnoreCase(line,
                                 "HTTP/")) {  // a new response (after 1xx): forget the last one's
            t->contentType.clear();
            t->etag.clear();
            t->lastModified.clear();
            std::size_t sp = line.find(' ');
            std::size_t sp2 = sp == std::string_view::npos ? sp : line.find(' ', sp + 1);
            t->reason =
                sp2 == std::string_view::npos ? "" : std::string(trimmed(line.substr(sp2 + 1)));
            return n;
        }
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return n;
        std::string_view name = trimmed(line.substr(0, colon));
        std::string value(trimmed(line.substr(colon + 1)));
        if (startsWithIgnoreCase(name, "content-type") && name.size() == 12)
            t->contentType = value;
        else if (startsWithIgnoreCase(name, "etag") && name.size() == 4)
            t->etag = value;
        else if (startsWithIgnoreCase(name, "last-modified") && name.size() == 13)
            t->lastModified = value;
        return n;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto* t = static_cast<Transfer*>(user);
        std::size_t n = size * count;
        if (!t->limitSet) {
            t->limitSet = true;
            // Only a successful response's body is wanted in full.
            long code = 0;
            curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
            t->limit = (code >= 200 && code < 300) ? t->maxBodyBytes : t->errorBodyBytes;
        }
        std::size_t room = t->limit - std::min(t->limit, t->body.size());
        if (n > room) {
            t->body.append(data, room);
            t->cut = true;
            return 0;  // ends the transfer: the rest is not downloaded
        }
        t->body.append(data, n);
        return n;
    }

    void fail(std::size_t i, std::string why, long code = 0) {
        FetchedPage result;
        result.status = FetchedPage::Status::Failed;
        result.error = std::move(why);
        result.httpCode = code;
        result.finalUrl = pages_[i].at.url;
        onDone_(i, std::move(result));
    }

    // Queues page i for its current address once robots.txt allows it.
    void admit(std::size_t i) {
        Page& p = pages_[i];
        if (!opt_.robots) {
            runnable_.push_back(Job{false, i, {}});
            return;
        }
        Origin& o = origins_[p.at.origin];
        switch (o.state) {
        case Origin::State::Unknown: {
            o.state = Origin::State::Fetching;
            std::string err = parseAddress(p.at.origin + "/robots.txt", o.at);
            if (!err.empty()) {  // cannot happen for an address that parsed; refuse rather than guess
                o.state = Origin::State::Ready;
                o.unreachable = err;
                robotsCheck(i, o);
                return;
            }
            // robots.txt comes before the pages that wait for it.
            runnable_.push_front(Job{true, 0, p.at.origin});
            o.waiting.push_back(i);
            return;
        }
        case Origin::State::Fetching:
            o.waiting.push_back(i);
            return;
        case Origin::State::Ready:
            robotsCheck(i, o);
            return;
        }
    }

    void robotsCheck(std::size_t i, const Origin& o) {
        Page& p = pages_[i];
        if (!o.unreachable.empty())
            fail(i, "robots.txt of " + p.at.host + " could not be read (" + o.unreachable +
                        "), so its pages are not fetched");
        else if (!o.rules.allows(p.at.pathAndQuery))
            fail(i, "disallowed by robots.txt of " + p.at.host);
        else
            runnable_.push_back(Job{false, i, {}});
    }

    const Address& addressOf(const Job& job) {
        return job.robots ? origins_[job.origin].at : pages_[job.page].at;
    }

    // Starts queued jobs in order, skipping those whose host is busy.
    // Starting may queue or finish other jobs, so each start scans afresh.
    void startRunnable() {
        while (transfers_.size() < static_cast<std::size_t>(opt_.connections)) {
            auto it = std::find_if(runnable_.begin(), runnable_.end(), [this](const Job& job) {
                auto busy = perHostActive_.find(addressOf(job).host);
                return busy == perHostActive_.end() || busy->second < opt_.perHost;
            });
            if (it == runnable_.end()) return;
            Job job = *it;
            runnable_.erase(it);
            start(job);
        }
    }

    void start(const Job& job) {
        bool* started;
        Clock::time_point* deadline;
        const Address* at;
        const std::string* etag = nullptr;
        const std::string* lastModified = nullptr;
        if (job.robots) {
            Origin& o = origins_[job.origin];
            started = &o.started;
            deadline = &o.deadline;
            at = &o.at;
        } else {
            Page& p = pages_[job.page];
            started = &p.started;
            deadline = &p.deadline;
            at = &p.at;
            etag = &p.etag;
            lastModified = &p.lastModified;
        }
        Clock::time_point now = Clock::now();
        if (!*started) {
            *started = true;
            *deadline = now + std::chrono::milliseconds(opt_.totalTimeoutMs);
        }
        long remainingMs = 0;
        if (opt_.totalTimeoutMs > 0) {
            remainingMs = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - now).count());
            if (remainingMs <= 0) {
                std::string why = "timed out after " + std::to_string(opt_.totalTimeoutMs) +
                                  " ms (redirects included)";
                if (job.robots)
                    robotsDone(job.origin, {}, 0, why);
                else
                    fail(job.page, why);
                return;
            }
        }

        CURL* easy = curl_easy_init();
        if (!easy) throw std::bad_alloc();
        auto owned = std::make_unique<Transfer>();
        Transfer* t = owned.get();
        t->job = job;
        t->host = at->host;
        t->easy = easy;
        t->maxHeaderBytes = opt_.maxHeaderBytes;
        t->maxBodyBytes = job.robots ? kRobotsMaxBytes : opt_.maxBytes;
        t->errorBodyBytes = std::min(kErrorBodyMaxBytes, t->maxBodyBytes);
        transfers_.emplace(easy, std::move(owned));

        curl_easy_setopt(easy, CURLOPT_URL, at->url.c_str());
        curl_easy_setopt(easy, CURLOPT_PRIVATE, t);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);  // followed here, to check each hop
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         opt_.connectTimeoutMs > 0 ? opt_.connectTimeoutMs : 0L);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, remainingMs);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, opt_.userAgent.c_str());
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t->errbuf);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Engine::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, t);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Engine::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, t);
        if (etag && !etag->empty()) addHeader(*t, "If-None-Match: " + *etag);
        if (lastModified && !lastModified->empty())
            addHeader(*t, "If-Modified-Since: " + *lastModified);
        if (t->requestHeaders) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t->requestHeaders);

        if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
            curl_slist_free_all(t->requestHeaders);
            transfers_.erase(easy);
            curl_easy_cleanup(easy);
            throw std::runtime_error("cannot start a transfer");
        }
        ++perHostActive_[t->host];
    }

    static void addHeader(Transfer& t, const std::string& line) {
        curl_slist* added = curl_slist_append(t.requestHeaders, line.c_str());
        if (!added) throw std::bad_alloc();
        t.requestHeaders = added;
    }

    static std::string describe(CURLcode rc, const Transfer& t) {
        std::string detail =
            t.errbuf[0] ? std::string(t.errbuf) : std::string(curl_easy_strerror(rc));
        switch (rc) {
        case CURLE_OPERATION_TIMEDOUT:
            return "timed out: " + detail;
        case CURLE_BAD_CONTENT_ENCODING:
            return "invalid compressed content: " + detail;
        case CURLE_COULDNT_RESOLVE_HOST:
            return "unknown host: " + detail;
        case CURLE_COULDNT_CONNECT:
            return "cannot connect: " + detail;
        default:
            return detail;
        }
    }

    void finish(CURL* easy, CURLcode rc) {
        auto node = transfers_.extract(easy);
        std::unique_ptr<Transfer> t = std::move(node.mapped());
        curl_multi_remove_handle(multi_, easy);
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        std::string redirect;
        if (isRedirect(code)) {
            char* location = nullptr;
            if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location)
                redirect = location;
        }
        curl_easy_cleanup(easy);
        curl_slist_free_all(t->requestHeaders);
        t->requestHeaders = nullptr;
        if (--perHostActive_[t->host] == 0) perHostActive_.erase(t->host);

        std::string error;
        if (t->headersTooLong)
            error = "response headers longer than " + std::to_string(t->maxHeaderBytes) + " bytes";
        else if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && t->cut))
            error = describe(rc, *t);

        if (t->job.robots)
            robotsDone(t->job.origin, *t, code, error, redirect);
        else
            pageDone(t->job.page, *t, code, error, redirect);
    }

    // Follows a redirect of addr; returns "" or why it cannot be followed.
    std::string follow(Address& addr, int& hops, long code, const std::string& redirect) {
        if (redirect.empty()) return "HTTP " + std::to_string(code) + " without a usable Location";
        if (++hops > opt_.maxRedirects)
            return "more than " + std::to_string(opt_.maxRedirects) + " redirects";
        Address next;
        std::string err = parseAddress(redirect, next);
        if (!err.empty()) return "redirected to " + redirect + ": " + err;
        addr = std::move(next);
        return {};
    }

    void pageDone(std::size_t i, Transfer& t, long code, const std::string& error,
                  const std::string& redirect) {
        Page& p = pages_[i];
        if (!error.empty()) return fail(i, error, code);
        if (isRedirect(code)) {
            std::string err = follow(p.at, p.hops, code, redirect);
            if (!err.empty()) return fail(i, err, code);
            return admit(i);
        }
        FetchedPage result;
        result.httpCode = code;
        result.finalUrl = p.at.url;
        result.etag = t.etag;
        result.lastModified = t.lastModified;
        result.charset = charsetOf(t.contentType);
        if (code == 304) {
            if (p.etag.empty() && p.lastModified.empty())
                return fail(i, "HTTP 304 to a request that was not conditional", code);
            result.status = FetchedPage::Status::NotModified;
        } else if (code >= 200 && code < 300) {
            result.status = FetchedPage::Status::Fetched;
            result.body = std::move(t.body);
            result.truncated = t.cut;
        } else {
            return fail(i, httpError(code, t.reason), code);
        }
        onDone_(i, std::move(result));
    }

    void robotsDone(const std::string& originKey, const Transfer& t, long code,
                    const std::string& error, const std::string& redirect = {}) {
        Origin& o = origins_[originKey];
        if (error.empty() && isRedirect(code)) {
            std::string err = follow(o.at, o.hops, code, redirect);
            if (err.empty()) {
                runnable_.push_front(Job{true, 0, originKey});
                return;
            }
            // Too many redirects or an unusable target: as if there were no robots.txt.
        } else if (!error.empty()) {
            o.unreachable = error;
        } else if (code >= 200 && code < 300) {
            o.rules = RobotsRules::parse(t.body, robotsToken_);
        } else if (code >= 500) {
            o.unreachable = httpError(code, t.reason);
        }
        // Other answers (4xx) mean there are no rules.
        o.state = Origin::State::Ready;
        std::vector<std::size_t> waiting = std::move(o.waiting);
        o.waiting.clear();
        for (std::size_t i : waiting) robotsCheck(i, origins_[originKey]);
    }

    FetchOptions opt_;
    DoneFn onDone_;
    std::string robotsToken_;
    CURLM* multi_ = nullptr;
    std::vector<Page> pages_;
    std::map<std::string, Origin> origins_;
    std::deque<Job> runnable_;
    std::map<std::string, int> perHostActive_;
    std::map<CURL*, std::unique_ptr<Transfer>> transfers_;
};

}  // namespace

FetchedPage fetchUrl(std::string_view url, const FetchOptions& options) {
    FetchedPage out;
    Engine engine(options, [&out](std::size_t, FetchedPage&& page) { out = std::move(page); });
    engine.addPage(std::string(url), {}, {});
    engine.run();
    return out;
}

std::vector<CacheOutcome> fetchBatch(const std::vector<std::string>& urls,
                                     const std::string& cacheDir, const FetchOptions& options,
                                     const ProgressCallback& progress) {
    std::vector<CacheOutcome> outcomes(urls.size());
    std::vector<CacheMeta> metas(urls.size());
    std::vector<bool> usable(urls.size());  // cacheDir/n is a page of urls[n]

    auto store = [&](std::size_t n, FetchedPage&& page) {
        CacheOutcome& out = outcomes[n];
        CacheMeta& meta = metas[n];
        const std::string pagePath = cachePath(cacheDir, n);
        const std::string metaPath = cachePath(cacheDir, n, ".meta");
        out.url = urls[n];
        out.status = page.status;
        out.httpCode = page.httpCode;
        out.error = page.error;
        switch (page.status) {
        case FetchedPage::Status::Fetched: {
            CacheMeta fresh;
            fresh.url = urls[n];
            fresh.bytes = static_cast<long long>(page.body.size());
            fresh.etag = page.etag;
            fresh.lastModified = page.lastModified;
            fresh.charset = page.charset;
            fresh.feedKey = meta.feedKey;  // still right if the bytes did not change
            // The old meta goes just before the page is replaced: a crash
            // before the new one is written must not leave the old
            // validators beside the new page.
            std::string err = writeFileAtomically(pagePath, page.body, metaPath);
            if (err.empty()) {
                err = writeFileAtomically(metaPath, formatCacheMeta(fresh));
                out.cached = true;
                out.truncated = page.truncated;
                out.charset = fresh.charset;
            } else {
                out.cached = usable[n] && isRegularFile(pagePath);
                out.charset = out.cached ? meta.charset : std::string();
            }
            if (!err.empty()) {
                out.status = FetchedPage::Status::Failed;
                out.error = err;
            }
            break;
        }
        case FetchedPage::Status::NotModified: {
            out.cached = isRegularFile(pagePath);
            out.charset = meta.charset;
            CacheMeta updated = meta;
            if (!page.etag.empty()) updated.etag = page.etag;
            if (!page.lastModified.empty()) updated.lastModified = page.lastModified;
            if (updated.etag != meta.etag || updated.lastModified != meta.lastModified)
                writeFileAtomically(
                    metaPath,
                    formatCacheMeta(
                        updated));  // only the validators: a failure costs a full fetch later
            break;
        }
        case FetchedPage::Status::Failed:
            out.cached = usable[n] && isRegularFile(pagePath);
            out.charset = out.cached ? meta.charset : std::string();
            break;
        }
        if (progress) progress(n, out);
    };

    Engine engine(options, store);
    for (std::size_t n = 0; n < urls.size(); ++n) {
        metas[n] = readCacheMeta(cachePath(cacheDir, n, ".meta"));
        // Validators and the old copy belong to the address they came from:
        // after the list changed, position n may name another page. A page
        // whose length is not the recorded one (lost in a system crash, or
        // edited) is fetched in full.
        usable[n] = metas[n].url == urls[n] && metas[n].bytes >= 0 &&
                    regularFileSize(cachePath(cacheDir, n)) == metas[n].bytes;
        if (usable[n])
            engine.addPage(urls[n], metas[n].etag, metas[n].lastModified);
        else
            engine.addPage(urls[n], {}, {});
    }
    engine.run();
    return outcomes;
}

}  // namespace w2r
