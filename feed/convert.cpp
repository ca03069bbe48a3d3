// The page pipeline behind the public conversion API.
#include "weblog2rss/convert.h"

namespace w2r {

ConvertResult convertLoadedPage(const Converter& converter, Page& page, std::string_view address,
                                FeedWriter& writer, Diagnostics& diagnostics, LocateTrace* trace) {
    ConvertResult result;
    result.treeClosed = page.buildTree(diagnostics);
    if (!result.treeClosed) return result;
    result.located = locateEntries(converter.datePatterns(), page, diagnostics, nullptr, trace);
    result.entryCount = static_cast<int>(page.entries().size());
    if (result.hasEntries()) writer.write(makeFeed(converter.finders(), page, address));
    return result;
}

ConvertResult convertPage(const Converter& converter, Page& page, std::string_view html,
                          std::string_view address, FeedWriter& writer, Diagnostics& diagnostics) {
    page.reset();
    page.load(html);
    return convertLoadedPage(converter, page, address, writer, diagnostics);
}

}  // namespace w2r
