#include "cli/options.h"

#include <cstring>
#include <ctime>
#include <string>

namespace w2r {
namespace {

// The years --years takes: four digits.
constexpr int kFirstYear = 1000;
constexpr int kLastYear = 9999;

struct OptionSpec {
    const char* name;       // "--name"
    const char* shortName;  // "-x", or nullptr
    const char* valueName;  // shown in --help; nullptr for an option without value
    const char* help;       // lines after the first start with a line feed
    // Stores value into options; false with why set when the value is bad.
    bool (*apply)(CliOptions& options, const std::string& value, std::string& why);
    // Reading stops after this option (--help, --version).
    bool final;
};

bool setHelp(CliOptions& o, const std::string&, std::string&) { return o.help = true; }
bool setVersion(CliOptions& o, const std::string&, std::string&) { return o.version = true; }

bool setFormat(CliOptions& o, const std::string& v, std::string& why) {
    why = "expected rss091, rss2, atom or json";
    return o.formatGiven = parseFeedFormat(v, o.format);
}

bool setFetch(CliOptions& o, const std::string&, std::string&) { return o.fetch = true; }

bool setConnections(CliOptions& o, const std::string& v, std::string& why) {
    why = "expected a number from 1 to 64";
    if (v.empty() || v.size() > 2) return false;
    int n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > 64) return false;
    o.connections = n;
    return true;
}

// A year in decimal digits only (no sign, no blanks); nine at most.
bool readYear(const std::string& text, int& year) {
    if (text.empty() || text.size() > 9) return false;
    year = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        year = year * 10 + (c - '0');
    }
    return true;
}

bool setYears(CliOptions& o, const std::string& v, std::string& why) {
    const std::size_t dash = v.find('-');
    YearWindow years;
    if (dash == std::string::npos || !readYear(v.substr(0, dash), years.from) ||
        !readYear(v.substr(dash + 1), years.to)) {
        why = "expected FROM-TO, such as 1995-2010";
        return false;
    }
    auto outside = [](int year) { return year < kFirstYear || year > kLastYear; };
    if (outside(years.from) || outside(years.to)) {
        why = "years go from 1000 to 9999";
        return false;
    }
    if (years.from > years.to) {
        why = "FROM is after TO";
        return false;
    }
    o.conversion.years = years;
    return o.yearsGiven = true;
}

bool setModern(CliOptions& o, const std::string&, std::string&) { return o.modern = true; }

// The year of the clock (UTC); 1970 when the clock cannot be read.
int clockYear() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (now == static_cast<std::time_t>(-1) || !gmtime_r(&now, &parts)) return 1970;
    return parts.tm_year + 1900;
}

bool setJobs(CliOptions& o, const std::string& v, std::string& why) {
    why = "expected a number of worker processes from 1 to " + std::to_string(kMaxJobs);
    return o.jobsGiven = parseJobs(v, o.jobs);
}

bool setShard(CliOptions& o, const std::string& v, std::string& why) {
    why = "expected K/N with 0 <= K < N";
    return o.shardGiven = parseShard(v, o.shard);
}

bool setExplain(CliOptions& o, const std::string& v, std::string& why) {
    why = "expected a file or folder name";
    o.explain = v;
    return !v.empty();
}

// clang-format off
const OptionSpec kOptions[] = {
    {"--connections", nullptr, "N", "with --fetch: at most N transfers at once\n"
     "(1 to 64, default 8; at most 2 to one host)", setConnections, false},
    {"--fetch", nullptr, nullptr, "fetch the addresses of LIST into CACHEDIR, then\n"
     "convert them into OUTDIR (see the usage above)", setFetch, false},
    {"--format", nullptr, "FORMAT", "feed format: rss091 (RSS 0.91, the default), rss2\n"
     "(RSS 2.0), atom (Atom 1.0) or json (JSON Feed 1.1)", setFormat, false},
    {"--years", nullptr, "FROM-TO", "take dates from year FROM to year TO only\n"
     "(default 1995-2010; years 1000 to 9999)", setYears, false},
    {"--modern", nullptr, nullptr, "read pages of any year: dates in more languages\n"
     "and forms, titles from headings, https and relative\n"
     "permalinks; years 1995 to next year and rss2 unless\n"
     "--years and --format say otherwise", setModern, false},
    {"--jobs", nullptr, "N", "batch mode: convert the pages in N worker processes\n"
     "(default 1: no worker)", setJobs, false},
    {"--shard", nullptr, "K/N", "batch mode: convert only the pages whose number i\n"
     "has i mod N = K, for N runs sharing one batch", setShard, false},
    {"--explain", nullptr, "PATH", "also write a report, an HTML page that shows how\n"
     "each page was read and why it gave its entries or none:\n"
     "to the file PATH for one page, to PATH/n.html for page n\n"
     "of a batch (the folder is made when missing)", setExplain, false},
    {"--help", "-h", nullptr, "print this text and exit", setHelp, true},
    {"--version", nullptr, nullptr, "print the version and exit", setVersion, true},
};
// clang-format on

const OptionSpec* findOption(const std::string& name) {
    for (const OptionSpec& o : kOptions)
        if (name == o.name || (o.shortName && name == o.shortName)) return &o;
    return nullptr;
}

bool looksLikeOption(const char* arg) { return arg[0] == '-' && arg[1] != '\0'; }

// The option name of arg: arg up to its first "=" for a long option.
std::string nameOf(const std::string& arg) {
    if (arg.compare(0, 2, "--") != 0) return arg;
    return arg.substr(0, arg.find('='));
}

// text as it goes into a message: control characters (a line feed would
// split the one line) become "?".
std::string shown(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text;
}

bool fail(std::string& error, const std::string& what) {
    error = "weblog2rss: " + what + " (try 'weblog2rss --help')";
    return false;
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, CliOptions& options, std::string& error) {
    int i = 1;
    bool literal = false;  // "--" ended the options
    for (; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--") {
            literal = true;
            i++;
            break;
        }
        if (!looksLikeOption(argv[i])) break;
        std::string name = nameOf(arg);
        const OptionSpec* spec = findOption(name);
        if (!spec) return fail(error, "unknown option '" + shown(name) + "'");
        bool inlineValue = name.size() < arg.size();
        std::string value;
        if (spec->valueName) {
            if (inlineValue) {
                value = arg.substr(name.size() + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return fail(error, "option '" + name + "' needs a value");
            }
        } else if (inlineValue) {
            return fail(error, "option '" + name + "' takes no value");
        }
        std::string why;
        options.given.emplace_back(spec->name, value);
        if (!spec->apply(options, value, why))
            return fail(error,
                        "bad value '" + shown(value) + "' for option '" + name + "': " + why);
        if (spec->final) return true;
    }
    // After "--" every argument is positional; otherwise an option name among
    // them is an option given too late, not a path.
    for (; i < argc; i++) {
        if (!literal && looksLikeOption(argv[i]) && findOption(nameOf(argv[i])))
            return fail(error, "option '" + shown(nameOf(argv[i])) +
                                   "' must come before the positional arguments");
        options.positional.push_back(argv[i]);
    }
    if (options.positional.size() < 2) {
        if (options.jobsGiven) return fail(error, "option '--jobs' is for the batch mode only");
        if (options.shardGiven) return fail(error, "option '--shard' is for the batch mode only");
    }
    if (options.fetch) {
        if (options.positional.size() != 3)
            return fail(error, "--fetch takes three arguments: LIST CACHEDIR OUTDIR");
        // The pages are converted in one process after they are fetched;
        // --connections sets how many are fetched at once.
        if (options.jobsGiven) return fail(error, "option '--jobs' does not go with --fetch");
        if (options.shardGiven) return fail(error, "option '--shard' does not go with --fetch");
    }
    if (options.connections != 0 && !options.fetch)
        return fail(error, "option '--connections' goes with --fetch only");
    if (options.modern) applyModernDefaults(options, clockYear());
    return true;
}

void applyModernDefaults(CliOptions& options, int currentYear) {
    options.conversion.extraction = ExtractionSettings::all();
    if (!options.yearsGiven) options.conversion.years = YearWindow{1995, currentYear + 1};
    if (!options.formatGiven) options.format = FeedFormat::Rss2;
}

std::string optionHelp() {
    std::string text = "Options (before the positional arguments; -- ends them):\n";
    for (const OptionSpec& o : kOptions) {
        std::string head = "  ";
        head += o.shortName ? std::string(o.shortName) + ", " : "    ";
        head += o.name;
        if (o.valueName) head += std::string(" ") + o.valueName;
        const std::size_t column = 26;
        head += head.size() < column ? std::string(column - head.size(), ' ')
                                     : "\n" + std::string(column, ' ');
        for (const char* p = o.help; *p; p++) {
            head += *p;
            if (*p == '\n') head += std::string(column, ' ');
        }
        text += head + "\n";
    }
    return text;
}

std::vector<std::string> optionNames() {
    std::vector<std::string> names;
    for (const OptionSpec& o : kOptions) {
        if (o.shortName) names.push_back(o.shortName);
        names.push_back(o.name);
    }
    return names;
}

}  // namespace w2r
