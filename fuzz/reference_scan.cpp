#include "reference_scan.h"

namespace w2r::fuzz {

std::vector<ref::Item> referenceScan(const std::string& input) { return ref::scan(input); }

}  // namespace w2r::fuzz
