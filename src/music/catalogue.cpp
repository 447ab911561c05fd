#include "music/catalogue.hpp"

#include <array>

namespace qiwa {
namespace {

constexpr std::array<Catalogue, 3> kCatalogues{{
    {"网易云", "netease", false},
    {"酷狗音乐", "kugou", false},
    {"QQ音乐", "tencent", true},
}};

}  // namespace

std::span<const Catalogue> catalogues() { return kCatalogues; }

const Catalogue* catalogue_at(int index) {
  return index >= 0 && index < static_cast<int>(kCatalogues.size()) ? &kCatalogues[static_cast<std::size_t>(index)]
                                                                     : nullptr;
}

const Catalogue* catalogue_named(std::string_view source) {
  for (const Catalogue& c : kCatalogues)
    if (source == c.source) return &c;
  return nullptr;
}

}  // namespace qiwa
