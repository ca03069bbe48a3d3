// The driver: run modes, the URL list and the per-page sequence.
#pragma once

#include <string>

// Runs the program for the given command line; always returns 0.
int weblogMain(int argc, char** argv);

// Input or output path of page number n under dir: dir, a "/" unless dir
// already ends in one, then n. An empty dir gives n alone.
std::string pagePath(const std::string& dir, const std::string& n);
