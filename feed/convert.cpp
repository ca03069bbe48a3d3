// The page pipeline behind the public conversion API.
#include "weblog2rss/convert.h"

namespace w2r {

ConvertResult convertLoadedPage(const Converter& converter, Page& page, std::string_view address,
                                FeedWriter& writer, Diagnostics& diagnostics, LocateTrace* trace) {
    ConvertResult result;
    if (converter.options().extraction.entryRules) page.blankScripts();
    result.treeClosed = page.buildTree(diagnostics);
    if (!result.treeClosed) return result;
    const ConverterOptions& options = converter.options();
    const ExtractionSettings& extraction = options.extraction;
    LocateOptions locate;
    locate.gapUnits = extraction.entryRules;
    locate.mostDated = extraction.entryRules;
    locate.groupedLists = extraction.entryRules;
    locate.pairs = extraction.entryRules;
    if (extraction.extraDateForms) {
        page.extraDates().prepare(page.tree().storeBegin(), page.tree().storeEnd(), options.years);
        locate.extraDates = &page.extraDates();
    }
    if (!extraction.usesRawPage()) {
        result.located =
            locateEntries(converter.datePatterns(), page, diagnostics, nullptr, locate, trace);
        result.entryCount = static_cast<int>(page.entries().size());
        if (result.hasEntries()) writer.write(makeFeed(converter.finders(), page, address));
        return result;
    }
    EntryLayout layout;
    result.located =
        locateEntries(converter.datePatterns(), page, diagnostics, &layout, locate, trace);
    result.entryCount = static_cast<int>(page.entries().size());
    if (result.hasEntries()) {
        page.mapOrigins();
        writer.write(makeExtractedFeed(converter.finders(), page, address, extraction, &layout));
    }
    return result;
}

ConvertResult convertPage(const Converter& converter, Page& page, std::string_view html,
                          std::string_view address, FeedWriter& writer, Diagnostics& diagnostics) {
    page.reset();
    page.load(html);
    return convertLoadedPage(converter, page, address, writer, diagnostics);
}

}  // namespace w2r
