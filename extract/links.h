// Entry links resolved to absolute http and https addresses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "extract/html.h"

namespace w2r {

// Resolves an href against base by the rules of RFC 3986 (".." beyond the
// root is dropped). The href is cleaned first as browsers do: surrounding
// white space removed, tabs and newlines inside dropped, "\" read as "/",
// spaces, non-ASCII bytes and other characters that an address cannot hold
// percent-encoded. Empty when the result is not an absolute http or https
// address with a host: javascript:, mailto:, data: and the like, bare
// fragments, relative hrefs against a base that is not absolute, and
// unparseable input.
std::string resolveHttpUrl(std::string_view href, std::string_view base);

// The address two resolved links are compared by: normalised (case of
// scheme and host, percent-encoding, dot segments, default port) and
// without fragment.
std::string linkKey(std::string_view absoluteUrl);

// Every followable link of an entry, in document order: the href of each
// <a> element resolved against baseUrl, http and https only, duplicates
// (same linkKey) dropped. titleLink (an href as written, may be empty) is
// resolved the same way and comes first.
std::vector<std::string> findModernLinks(std::string_view entryHtml, std::string_view baseUrl,
                                         std::string_view titleLink);
std::vector<std::string> findModernLinks(const HtmlFragment& entry, std::string_view baseUrl,
                                         std::string_view titleLink);

// The base address of a page: the first <base href> resolved against the
// page address when that gives an absolute address, else the page address
// itself (which may be empty or relative, as in the stdin and file modes).
std::string findBaseHref(std::string_view pageHtml, std::string_view pageAddress);

}  // namespace w2r
