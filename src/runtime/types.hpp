#pragma once
// Value types shared by the whole core. All text is UTF-8 bytes.
#include <string>
#include <string_view>
#include <vector>

namespace qiwa {

using Text = std::string;
using Bytes = std::vector<unsigned char>;
// The program's 1-based text arrays; element 1 is index 0 here.
using TextArray = std::vector<Text>;

}  // namespace qiwa
