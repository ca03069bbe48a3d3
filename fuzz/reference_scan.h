// The literal reference scanner behind one function, so that the fuzz build
// can compile it without instrumentation: it is only the oracle, and slow.
#pragma once

#include <string>
#include <vector>

#include "scanner_reference.h"

namespace w2r::fuzz {

std::vector<ref::Item> referenceScan(const std::string& input);

}  // namespace w2r::fuzz
