// Link extraction and RFC 3986 resolution with uriparser.
#include "extract/links.h"

#include <uriparser/Uri.h>

#include <cctype>
#include <cstring>
#include <unordered_set>

namespace w2r {

namespace {

// A parsed URI that frees its parts.
class Uri {
public:
    Uri() { std::memset(&uri_, 0, sizeof uri_); }
    ~Uri() { uriFreeUriMembersA(&uri_); }
    Uri(const Uri&) = delete;
    Uri& operator=(const Uri&) = delete;

    // Parses text (kept by the caller while this object lives).
    bool parse(const std::string& text) {
        const char* error = nullptr;
        return uriParseSingleUriExA(&uri_, text.data(), text.data() + text.size(), &error) ==
               URI_SUCCESS;
    }
    UriUriA* get() { return &uri_; }
    const UriUriA* get() const { return &uri_; }

    std::string scheme() const { return part(uri_.scheme); }
    bool hasHost() const {
        return uri_.hostText.first && uri_.hostText.afterLast > uri_.hostText.first;
    }
    std::string toString() const {
        int chars = 0;
        if (uriToStringCharsRequiredA(&uri_, &chars) != URI_SUCCESS) return {};
        std::string out(static_cast<size_t>(chars) + 1, '\0');
        if (uriToStringA(&out[0], &uri_, chars + 1, nullptr) != URI_SUCCESS) return {};
        out.resize(static_cast<size_t>(chars));
        return out;
    }

private:
    static std::string part(const UriTextRangeA& r) {
        if (!r.first || r.afterLast <= r.first) return {};
        return std::string(r.first, r.afterLast);
    }
    UriUriA uri_;
};

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The href as an address uriparser accepts (see resolveHttpUrl).
std::string cleanHref(std::string_view href) {
    auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    };
    while (!href.empty() && isSpace(href.front())) href.remove_prefix(1);
    while (!href.empty() && isSpace(href.back())) href.remove_suffix(1);
    // Square brackets are kept only in the authority (IPv6 hosts).
    size_t authorityEnd = 0;
    size_t slashes = href.find("//");
    size_t firstDelimiter = href.find_first_of("/?#");
    if (slashes != std::string_view::npos && slashes == firstDelimiter) {
        authorityEnd = href.find_first_of("/?#", slashes + 2);
        if (authorityEnd == std::string_view::npos) authorityEnd = href.size();
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(href.size());
    bool inFragment = false;
    for (size_t i = 0; i < href.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(href[i]);
        if (c == '\t' || c == '\n' || c == '\r') continue;
        if (c == '\\') c = '/';
        bool encode = c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '^' ||
                      c == '`' || c == '{' || c == '|' || c == '}';
        if ((c == '[' || c == ']') && i >= authorityEnd) encode = true;
        if (c == '#') {
            encode = inFragment;
            inFragment = true;
        }
        if (c == '%' && !(i + 2 < href.size() && isHex(href[i + 1]) && isHex(href[i + 2])))
            encode = true;
        if (encode) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool isHttpScheme(const std::string& scheme) {
    std::string s = lowerAscii(scheme);
    return s == "http" || s == "https";
}

// Scheme of a reference as written ("" when it has none).
std::string schemeOf(const std::string& ref) {
    size_t colon = ref.find(':');
    if (colon == std::string::npos || colon == 0) return {};
    if (colon > ref.find_first_of("/?#")) return {};
    if (!std::isalpha(static_cast<unsigned char>(ref[0]))) return {};
    for (size_t i = 1; i < colon; ++i) {
        char c = ref[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return {};
    }
    return lowerAscii(ref.substr(0, colon));
}

}  // namespace

std::string resolveHttpUrl(std::string_view href, std::string_view base) {
    std::string ref = cleanHref(href);
    if (ref.empty() || ref[0] == '#') return {};
    std::string scheme = schemeOf(ref);
    if (!scheme.empty() && !isHttpScheme(scheme)) return {};
    Uri refUri;
    if (!refUri.parse(ref)) return {};
    // An absolute reference is resolved against itself, which removes its
    // dot segments as resolution against any base would.
    std::string baseText = scheme.empty() ? cleanHref(base) : ref;
    Uri baseUri;
    if (baseText.empty() || !baseUri.parse(baseText) || !isHttpScheme(baseUri.scheme()) ||
        !baseUri.hasHost())
        return {};
    Uri resolved;
    if (uriAddBaseUriExA(resolved.get(), refUri.get(), baseUri.get(), URI_RESOLVE_STRICTLY) !=
        URI_SUCCESS)
        return {};
    if (!isHttpScheme(resolved.scheme()) || !resolved.hasHost()) return {};
    return resolved.toString();
}

std::string linkKey(std::string_view absoluteUrl) {
    std::string text(absoluteUrl);
    size_t hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    Uri uri;
    if (!uri.parse(text) || uriNormalizeSyntaxA(uri.get()) != URI_SUCCESS) return text;
    std::string key = uri.toString();
    std::string scheme = lowerAscii(uri.scheme());
    size_t hostAt = key.find("://");
    if (hostAt == std::string::npos) return key;
    hostAt += 3;
    size_t pathAt = key.find_first_of("/?", hostAt);
    if (pathAt == std::string::npos) pathAt = key.size();
    // Default ports name the same server; an empty path is "/".
    std::string authority = key.substr(hostAt, pathAt - hostAt);
    const std::string defaultPort = scheme == "https" ? ":443" : ":80";
    if (authority.size() > defaultPort.size() &&
        authority.compare(authority.size() - defaultPort.size(), defaultPort.size(), defaultPort) ==
            0)
        authority.erase(authority.size() - defaultPort.size());
    std::string rest = key.substr(pathAt);
    if (rest.empty() || rest[0] == '?') rest.insert(0, "/");
    return key.substr(0, hostAt) + authority + rest;
}

std::vector<std::string> findModernLinks(const HtmlFragment& entry, std::string_view baseUrl,
                                         std::string_view titleLink) {
    std::vector<std::string> links;
    std::unordered_set<std::string> seen;
    auto add = [&](std::string_view href) {
        std::string url = resolveHttpUrl(href, baseUrl);
        if (url.empty()) return;
        if (seen.insert(linkKey(url)).second) links.push_back(std::move(url));
    };
    if (!titleLink.empty()) add(titleLink);
    walkElements(entry.body(), [&](const GumboNode* e) {
        if (e->v.element.tag == GUMBO_TAG_A) {
            if (const char* href = attribute(e, "href")) add(href);
        }
        return Walk::kDescend;
    });
    return links;
}

std::vector<std::string> findModernLinks(std::string_view entryHtml, std::string_view baseUrl,
                                         std::string_view titleLink) {
    HtmlFragment entry(entryHtml);
    return findModernLinks(entry, baseUrl, titleLink);
}

std::string findBaseHref(std::string_view pageHtml, std::string_view pageAddress) {
    // <base> belongs in the head: parse no further than the body's start.
    size_t body = std::string_view::npos;
    for (size_t at = pageHtml.find('<'); at != std::string_view::npos;
         at = pageHtml.find('<', at + 1)) {
        if (at + 5 <= pageHtml.size() &&
            lowerAscii(std::string(pageHtml.substr(at + 1, 4))) == "body") {
            body = at;
            break;
        }
    }
    HtmlFragment head(pageHtml.substr(0, body));
    std::string href;
    bool found = false;
    walkElements(head.body()->parent ? head.body()->parent : head.body(), [&](const GumboNode* e) {
        if (e->v.element.tag == GUMBO_TAG_BASE) {
            if (const char* h = attribute(e, "href")) {
                href = h;
                found = true;
                return Walk::kStop;
            }
        }
        return Walk::kDescend;
    });
    std::string address(pageAddress);
    if (!found) return address;
    std::string ref = cleanHref(href);
    if (ref.empty()) return address;
    Uri refUri;
    if (!refUri.parse(ref)) return address;
    if (!refUri.scheme().empty())
        return refUri.hasHost() || !isHttpScheme(refUri.scheme()) ? refUri.toString() : address;
    std::string baseText = cleanHref(pageAddress);
    Uri baseUri;
    if (baseText.empty() || !baseUri.parse(baseText) || baseUri.scheme().empty()) return address;
    Uri resolved;
    if (uriAddBaseUriExA(resolved.get(), refUri.get(), baseUri.get(), URI_RESOLVE_STRICTLY) !=
        URI_SUCCESS)
        return address;
    return resolved.toString();
}

}  // namespace w2r
