// The marker scanners never loop, never read past the source and return pieces of it.
#include <cstdlib>

#include "fuzz/input.hpp"
#include "text/extract.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qiwa::fuzz::Input in(data, size);
  std::string start = in.piece(), end = in.piece(), source = in.rest();
  qiwa::TextArray pieces;
  int n = qiwa::extract_between(source, start, end, pieces);
  if (n != static_cast<int>(pieces.size())) std::abort();
  for (const auto& p : pieces)
    if (p.size() > source.size() || source.find(p) == std::string::npos) std::abort();
  std::string first = qiwa::extract_first_between(source, start, end);
  if (first.size() > source.size()) std::abort();
  (void)qiwa::unique_items(source, start.empty() ? "; " : start, true);
  qiwa::TextArray chars;
  qiwa::split_characters(source, chars);
  std::string joined;
  for (const auto& c : chars) joined += c;
  if (joined != source) std::abort();
  return 0;
}
