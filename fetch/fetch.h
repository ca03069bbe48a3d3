// Fetching pages over HTTP(S): one address at a time, or a whole list into a
// cache folder with conditional requests, a limit on parallel transfers per
// run and per host, and robots.txt honoured.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace w2r {

// "weblog2rss/<version>".
std::string defaultUserAgent();

struct FetchOptions {
    int connections = 8;  // transfers at once over the whole run
    int perHost = 2;      // transfers at once to one host name
    long connectTimeoutMs = 10000;
    long totalTimeoutMs = 30000;          // per page, redirects included
    std::size_t maxBytes = 3145727;       // longer pages are cut here (the rest is not downloaded)
    std::size_t maxHeaderBytes = 262144;  // a response whose headers go beyond this fails
    int maxRedirects = 5;
    std::string userAgent = defaultUserAgent();
    bool robots = true;  // honour robots.txt (fetched once per host and run)
};

struct FetchedPage {
    enum class Status { Fetched, NotModified, Failed };
    Status status = Status::Failed;
    std::string body;        // the page (Fetched only), at most maxBytes bytes
    bool truncated = false;  // the page was longer than maxBytes
    std::string charset;     // the charset parameter of Content-Type, as sent
    std::string etag, lastModified;
    long httpCode = 0;     // of the last response; 0 when none came
    std::string error;     // why it failed, for people (Failed only)
    std::string finalUrl;  // the address after redirects
};

// Fetches one page. Never throws for network or server faults: they come
// back as Status::Failed with a reason.
FetchedPage fetchUrl(std::string_view url, const FetchOptions& options);

// What a batch did for one address of the list.
struct CacheOutcome {
    std::string url;
    FetchedPage::Status status = FetchedPage::Status::Failed;
    bool cached = false;     // cacheDir/n holds a page of this address (new, unchanged or older)
    bool truncated = false;  // the page was cut at maxBytes (Fetched only)
    std::string charset;     // of the page in the cache
    long httpCode = 0;
    std::string error;  // Failed only; cached tells whether an older copy is left
};

using ProgressCallback = std::function<void(std::size_t index, const CacheOutcome&)>;

// Fetches urls[n] into cacheDir/n for every n, keeping the validators, the
// charset and the address in cacheDir/n.meta. A page whose address is the
// one recorded in its meta is requested conditionally; on 304 or a failure
// the cached copy stays. Files are replaced atomically and nothing is written
// outside cacheDir. progress (may be empty) is called once per page as it
// finishes, in any order, on the calling thread. Returns one outcome per url.
std::vector<CacheOutcome> fetchBatch(const std::vector<std::string>& urls,
                                     const std::string& cacheDir, const FetchOptions& options,
                                     const ProgressCallback& progress = {});

// The path of entry n of a cache or output folder: dir, a "/" unless dir
// already ends in one, then n.
std::string cachePath(const std::string& dir, std::size_t n, std::string_view suffix = {});

// Whether the feed of page n was made from the bytes now in cacheDir/n with
// the same options (optionsKey: any string that changes when options that
// shape the feed change). The caller also checks that the feed file exists.
bool feedUpToDate(const std::string& cacheDir, std::size_t n, std::string_view optionsKey);

// Records in cacheDir/n.meta that the feed of page n now matches its bytes
// and optionsKey. False when the page cannot be read or the meta not written.
bool recordFeedKey(const std::string& cacheDir, std::size_t n, std::string_view optionsKey);

}  // namespace w2r
