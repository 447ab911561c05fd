#pragma once
// The service's three catalogues: how the window names each, what a request calls it, and whether its
// addresses ask for a lower quality file.
#include <span>
#include <string_view>

namespace qiwa {

struct Catalogue {
  const char* item;          // the entry of 组合框1
  const char* source;        // the form's "source"
  bool ask_m500;             // below 320 kbps, "M800" in an address becomes "M500"
};

// In the order of 组合框1.
std::span<const Catalogue> catalogues();
// The catalogue at an index of 组合框1, nullptr outside them.
const Catalogue* catalogue_at(int index);
// The catalogue of a form's "source", nullptr for none of them.
const Catalogue* catalogue_named(std::string_view source);

}  // namespace qiwa
