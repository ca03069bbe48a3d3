// The command line's options. They come before the positional arguments;
// one table gives both the parser and the option part of --help.
#pragma once

#include <string>
#include <vector>

#include "formats/formats.h"
#include "weblog2rss/convert.h"

namespace w2r {

// Exit status of a command-line mistake.
constexpr int kUsageStatus = 2;

struct CliOptions {
    bool help = false;
    bool version = false;
    FeedFormat format = FeedFormat::Rss091;
    // What the Converter is built with (--years).
    ConverterOptions conversion;
    // The positional arguments; their number chooses the run mode.
    std::vector<std::string> positional;
};

// Reads argv[1..argc-1] into options. Options are "--name", "--name VALUE"
// or "--name=VALUE" (and "-h"); "--" or the first argument that is not an
// option ("-" alone is not one) starts the positional arguments. Without
// "--", an option name met among the positional arguments is a mistake
// (options go first). --help and --version end the reading at once. On a
// mistake returns false with error holding one line, without line feed, to
// print on standard error.
bool parseCommandLine(int argc, const char* const* argv, CliOptions& options, std::string& error);

// The option part of the --help text.
std::string optionHelp();

// Every option name parseCommandLine reads ("-h", "--help", ...).
std::vector<std::string> optionNames();

}  // namespace w2r
