// Parallel batches: pages converted by worker processes forked from the
// caller, their standard-output lines reported in page order; and shards, the
// slice of a batch one of N independent runs takes on.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace w2r {

// Shard index of count: the pages whose number i satisfies i mod count ==
// index. The default shard {0, 1} holds every page.
struct Shard {
    int index = 0;
    int count = 1;
    bool contains(int page) const { return page % count == index; }
};

// Largest worker count parseJobs accepts.
constexpr int kMaxJobs = 1024;

// "K/N" with decimal digits only, N >= 1 and 0 <= K < N. On failure shard is
// left unchanged and false is returned ("3/3", "x/2", "1/0", "-1/2", "1/2 ").
bool parseShard(std::string_view text, Shard& shard);

// A worker count: decimal digits only, 1..kMaxJobs. On failure jobs is left
// unchanged and false is returned ("0", "-1", "+2", "01x", "").
bool parseJobs(std::string_view text, int& jobs);

// Called for one page; appends the page's standard-output lines to out and
// does its own file writing.
using PageConverter = std::function<void(int page, std::string& out)>;

// Runs convert(page) for every page in [0, count) that shard contains and
// writes each page's lines to out, a page's lines together, pages in
// ascending order. Returns the number of pages lost to dead workers.
//
// jobs <= 1: in the calling process, one page after the other; nothing is
// forked and an exception from convert propagates.
//
// jobs > 1: up to `jobs` (at most kMaxJobs) worker processes are forked from the caller (so
// convert sees the caller's memory as it was at the fork). The caller hands
// pages out in page order to whichever worker has room (each holds the page
// it converts and at most one more, so it never waits between pages), and
// keeps the lines of pages that finish early until their turn. A worker
// that dies while on page N (signal, exit, or an exception out of convert)
// costs that page: "worker died on page N" goes to err at the page's turn,
// the page it held next goes to another worker, a new worker takes its
// place and the batch goes on. When no worker can be
// started at all the remaining pages are converted in the calling process.
// Every worker is reaped before the call returns. The caller must be single
// threaded when it calls this (a forked child holds only the calling thread).
//
// A shard that parseShard would refuse selects no page: a line saying so goes
// to err and -1 is returned.
int runPages(int count, const Shard& shard, int jobs, const PageConverter& convert, std::FILE* out,
             std::FILE* err);

}  // namespace w2r
