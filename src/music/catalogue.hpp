#pragma once
// The service's three catalogues: how the window names each, what a request calls it, how its search
// answers write ids, and whether its addresses ask for a lower quality file.
#include <span>

namespace qiwa {

enum class IdStyle { bare, quoted };  // url_id and lyric_id as JSON numbers, or as strings

struct Catalogue {
  const char* item;          // the entry of 组合框1
  const char* source;        // the form's "source"
  IdStyle ids;
  bool ask_m500;             // "M800" in an address becomes "M500"
};

// In the order of 组合框1.
std::span<const Catalogue> catalogues();
// The catalogue at an index of 组合框1, nullptr outside them.
const Catalogue* catalogue_at(int index);

}  // namespace qiwa
