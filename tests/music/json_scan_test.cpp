#include <gtest/gtest.h>

#include "music/json_scan.hpp"

namespace qiwa {
namespace {

using Pieces = std::vector<std::string_view>;

TEST(JsonArrayObjects, TheObjectsOfTheTopLevelArray) {
  EXPECT_EQ(json_array_objects(R"(cb([{"a":1},{"b":[{"c":2}]}]))"), (Pieces{R"({"a":1})", R"({"b":[{"c":2}]})"}));
  EXPECT_EQ(json_array_objects(R"( jQuery1_2 ( [ {"a":"}{]["} ] ))"), (Pieces{R"({"a":"}{]["})"}));
  EXPECT_EQ(json_array_objects(R"([{"a":"\"}"}])"), (Pieces{R"({"a":"\"}"})"}));
  EXPECT_EQ(json_array_objects("[]"), Pieces{});
  EXPECT_EQ(json_array_objects(R"([[{"a":1}],{"b":2}])"), (Pieces{R"({"b":2})"}));
}

TEST(JsonArrayObjects, NothingFromWhatIsNoArray) {
  EXPECT_EQ(json_array_objects(R"(cb({"a":[{"b":1}]}))"), Pieces{});
  EXPECT_EQ(json_array_objects("<html>[{\"a\":1}]</html>"), Pieces{});
  EXPECT_EQ(json_array_objects(""), Pieces{});
  EXPECT_EQ(json_array_objects("cb("), Pieces{});
  EXPECT_EQ(json_array_objects(R"(cb([{"a":1},{"b":"cut)"), (Pieces{R"({"a":1})"}));
  EXPECT_EQ(json_array_objects(R"(cb([{"a":1},{"b":2)"), (Pieces{R"({"a":1})"}));
}

TEST(JsonStringAfterKey, TheFirstStringValueOfTheKey) {
  EXPECT_EQ(json_string_after_key(R"({"k" : "v\"w","k":"x"})", "k"), R"(v\"w)");
  EXPECT_EQ(json_string_after_key(R"({"a":"k","k":1,"k":"s"})", "k"), "s");
  EXPECT_EQ(json_string_after_key(R"({"kk":"x"})", "k"), "");
}

}  // namespace
}  // namespace qiwa
