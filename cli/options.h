// The command line's options. They come before the positional arguments;
// one table gives both the parser and the option part of --help.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "formats/formats.h"
#include "weblog2rss/convert.h"
#include "workers/workers.h"

namespace w2r {

// Exit status of a command-line mistake.
constexpr int kUsageStatus = 2;

struct CliOptions {
    bool help = false;
    bool version = false;
    FeedFormat format = FeedFormat::Rss091;
    // --fetch: the positional arguments are LIST CACHEDIR OUTDIR and the
    // pages are fetched into CACHEDIR before they are converted.
    bool fetch = false;
    // --connections: transfers at once in a --fetch batch; 0 when not given.
    int connections = 0;
    // What the Converter is built with (--years, --modern).
    ConverterOptions conversion;
    // --modern was given; --format and --years were given.
    bool modern = false;
    bool formatGiven = false;
    bool yearsGiven = false;
    // Batch mode: worker processes (1: none) and the slice of the pages.
    int jobs = 1;
    Shard shard;
    bool jobsGiven = false;
    bool shardGiven = false;
    // --explain: the report file (single-page modes) or folder (batch);
    // empty when no report is wanted.
    std::string explain;
    // Every option read, in order, as name and value ("" for none).
    std::vector<std::pair<std::string, std::string>> given;
    // The positional arguments; their number chooses the run mode.
    std::vector<std::string> positional;
};

// Reads argv[1..argc-1] into options. Options are "--name", "--name VALUE"
// or "--name=VALUE" (and "-h"); "--" or the first argument that is not an
// option ("-" alone is not one) starts the positional arguments. Without
// "--", an option name met among the positional arguments is a mistake
// (options go first). --help and --version end the reading at once. Options
// of the batch mode (--jobs, --shard) with fewer than two positional
// arguments are a mistake too. On a mistake returns false with error holding
// one line, without line feed, to print on standard error.
bool parseCommandLine(int argc, const char* const* argv, CliOptions& options, std::string& error);

// What --modern sets, unless the options say otherwise: the extraction
// mode, the years 1995 to currentYear + 1 (without --years) and RSS 2.0
// (without --format). parseCommandLine calls it with the clock's year.
void applyModernDefaults(CliOptions& options, int currentYear);

// The option part of the --help text.
std::string optionHelp();

// Every option name parseCommandLine reads ("-h", "--help", ...).
std::vector<std::string> optionNames();

}  // namespace w2r
