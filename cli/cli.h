// The command line: run modes, the URL list and the batch loop.
#pragma once

#include <string>

namespace w2r {

// Runs the program for the given command line; returns the exit status (0).
int runCli(int argc, char** argv);

// Input or output path of page number n under dir: dir, a "/" unless dir
// already ends in one, then n. An empty dir gives n alone.
std::string pagePath(const std::string& dir, const std::string& n);

}  // namespace w2r
