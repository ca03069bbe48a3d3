// Pages fetched over HTTP(S) before they are converted: an address given as
// the single argument, or --fetch LIST CACHEDIR OUTDIR.
#pragma once

#include <string>

namespace w2r {

struct CliOptions;

// Whether the single-file argument arg is an address to fetch: it starts
// with "http://" or "https://" (in any case) and names no existing file, so
// that a saved page whose name looks like an address is still read.
bool isFetchedAddress(const std::string& arg);

// Fetches url and writes its feed on standard output as the single-file mode
// does, with url as the page's address and the HTTP charset given to the
// formats that transcode. A failed fetch is one line on standard error and
// no feed. Returns the exit status.
int runFetchedPage(const CliOptions& options, const std::string& url);

// Fetches every address of LIST into CACHEDIR/n (conditionally when a copy
// is cached), then converts CACHEDIR/n into OUTDIR/n as the batch mode does,
// writing a feed file only when its bytes change. Returns the exit status.
int runFetchBatch(const CliOptions& options, const std::string& listPath,
                  const std::string& cacheDir, const std::string& outDir);

}  // namespace w2r
