#!/bin/bash
# Per-stage profile of one conversion: callgrind's inclusive instruction
# counts (repeatable on a busy machine) summed per stage, plus the system
# calls (strace) and minor page faults (GNU time) of the same conversion.
#
# Usage: bench/profile.sh [TOOL | BUILD_DIR] [PAGE]
# TOOL defaults to build/weblog2rss; PAGE defaults to the generated 3 MiB
# weblog page (bench/gen_pages.py, seed 1), and then the instruction counts
# of the 100 KiB and the empty page give the cost per byte of the 3 MiB page
# over that of the 100 KiB page, start-up subtracted, free of timing noise.
# KEEP=DIR keeps the callgrind output and the annotation in DIR.
set -eu

# The stages and the functions whose inclusive counts make them up. A token
# matches a function whose name (arguments aside) is the token, or ends with
# "::" and the token, so "w2r::buildTree" leaves out "w2r::Page::buildTree";
# "-" subtracts. Functions called
# from inside another listed function must be subtracted from it, never
# added twice. Edit this list when functions are renamed.
STAGES='
start-up (pattern compile)|DatePatterns::DatePatterns Finders::Finders
scan+tree|w2r::buildTree
locate|locateEntries -separateEntries
separate|separateEntries
titles/links|makeFeed
write|Rss091Writer::write
release|Page::~Page Page::reset
'

here=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$here/build/weblog2rss}
[ -d "$tool" ] && tool=$tool/weblog2rss
[ -x "$tool" ] || { echo "profile.sh: no tool at $tool" >&2; exit 2; }
command -v valgrind >/dev/null || { echo "profile.sh: valgrind is needed" >&2; exit 2; }
if [ -n "${KEEP:-}" ]; then
    work=$KEEP
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
page=${2:-}
generated=0
if [ -z "$page" ]; then
    generated=1
    python3 "$here/bench/gen_pages.py" "$work/pages"
    page=$work/pages/page-3m.html
fi

valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
    "$tool" "$page" >"$work/feed.rss" 2>"$work/valgrind.log"
callgrind_annotate --inclusive=yes --threshold=100 "$work/callgrind.out" \
    >"$work/annotate.txt" 2>/dev/null || true

echo "tool: $tool"
echo "page: $page ($(wc -c <"$page") bytes, $(grep -c '<item>' "$work/feed.rss" || true) feed items)"
STAGES=$STAGES python3 - "$work/callgrind.out" "$(wc -c <"$page")" <<'PY'
import collections, os, re, sys

# A function's inclusive count is the sum of the costs recorded on the calls
# into it from other functions (a function split over several source files
# by inlining keeps one name, so calls between its parts do not count).
names, incl = {}, collections.Counter()
fn = cfn = None
total, pending = 0, False

def name(text):
    m = re.match(r"\((\d+)\)(?: (.*))?$", text)
    if not m:
        return text
    if m.group(2) is not None:
        names[m.group(1)] = m.group(2)
    return names[m.group(1)]

for line in open(sys.argv[1], errors="replace"):
    line = line.rstrip("\n")
    if pending:
        parts = line.split()
        if fn != cfn:
            incl[cfn] += int(parts[1]) if len(parts) > 1 else 0
        pending = False
    elif line.startswith("fn="):
        fn = name(line[3:])
    elif line.startswith("cfn="):
        cfn = name(line[4:])
    elif line.startswith("calls="):
        pending = True
    elif line.startswith(("summary:", "totals:")):
        total = int(line.split()[1])

# Short names: no arguments, return type or anonymous namespace.
counts = collections.Counter()
for full, ir in incl.items():
    short = full.replace("(anonymous namespace)::", "")
    short = re.sub(r"\(.*$", "", short).strip()
    counts[re.sub(r"^.* ", "", short)] += ir

def inclusive(token):
    return sum(v for k, v in counts.items() if k == token or k.endswith("::" + token))

size = int(sys.argv[2])
rows, listed = [], 0
for spec in os.environ["STAGES"].strip().splitlines():
    label, tokens = spec.split("|")
    ir = 0
    for t in tokens.split():
        ir += -inclusive(t[1:]) if t.startswith("-") else inclusive(t)
    rows.append((label, ir))
    listed += ir
rows.append(("other (process start, read, exit)", total - listed))
print("%-36s %14s %7s %9s" % ("stage", "instructions", "share", "per byte"))
for label, ir in rows + [("total", total)]:
    perByte = "%.1f" % (ir / size) if size else "-"
    print("%-36s %14s %6.1f%% %9s" % (label, f"{ir:,}", 100.0 * ir / total, perByte))
PY

if command -v strace >/dev/null; then
    strace -f -c -o "$work/strace.txt" "$tool" "$page" >/dev/null 2>&1 || true
    awk '$NF ~ /^(read|write|mmap|munmap|brk|openat)$/ { printf "%s %s calls; ", $NF, $4 }
         END { print "" }' "$work/strace.txt" | sed 's/^/system calls: /'
fi
if /usr/bin/time -f %R true >/dev/null 2>&1; then
    /usr/bin/time -f "minor page faults: %R, peak resident: %M KiB" \
        "$tool" "$page" 2>&1 >/dev/null | tail -n 1
fi

# Total instructions of one run of the tool on a page.
instructions() {
    valgrind --tool=callgrind --callgrind-out-file="$work/small.out" \
        "$tool" "$1" >/dev/null 2>&1
    sed -n 's/^summary: //p' "$work/small.out"
}
if [ "$generated" = 1 ]; then
    big=$(sed -n 's/^summary: //p' "$work/callgrind.out")
    small=$(instructions "$work/pages/page-100k.html")
    empty=$(instructions "$work/pages/empty.html")
    echo "instructions: empty page $empty, 100 KiB page $small"
    awk -v b="$big" -v s="$small" -v e="$empty" -v nb="$(wc -c <"$page")" \
        -v ns="$(wc -c <"$work/pages/page-100k.html")" 'BEGIN {
            printf "cost per byte (instructions), 3 MiB page / 100 KiB page," \
                " start-up subtracted: %.2f\n", ((b - e) / nb) / ((s - e) / ns) }'
fi
