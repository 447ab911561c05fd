#include "music/catalogue.hpp"

#include <array>

namespace qiwa {
namespace {

constexpr std::array<Catalogue, 3> kCatalogues{{
    {"网易云", "netease", IdStyle::bare, false},
    {"酷狗音乐", "kugou", IdStyle::quoted, false},
    {"QQ音乐", "tencent", IdStyle::quoted, true},
}};

}  // namespace

std::span<const Catalogue> catalogues() { return kCatalogues; }

const Catalogue* catalogue_at(int index) {
  return index >= 0 && index < static_cast<int>(kCatalogues.size()) ? &kCatalogues[static_cast<std::size_t>(index)]
                                                                     : nullptr;
}

}  // namespace qiwa
