// The driver: run modes, the URL list and the per-page sequence.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Runs the program for the given command line; always returns 0.
int weblogMain(int argc, char** argv);

// Input or output path of page number n under dir: dir, a "/" unless dir
// already ends in one, then n. An empty dir gives n alone.
std::string pagePath(const std::string& dir, const std::string& n);

// The per-page sequence, in the order the run modes call it.
// Clears the state the previous page left (only the bytes it used).
void resetPage();
// Reads at most PAGE_READ_LIMIT bytes of f into tmp; the rest is not read.
void readPage(std::FILE* f);
// Puts the given bytes into tmp as readPage would.
void loadPage(const char* data, std::size_t size);
// Scans the page in tmp into the tree and closes what is left open; true
// when the tree cursor is back at root.
bool buildTree();
// Releases the tree, the entry table and the open-element stack.
void releasePage();
