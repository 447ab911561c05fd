#include <gtest/gtest.h>

#include "fakes/fake_music_service.hpp"
#include "music/search.hpp"
#include "music/service.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

// Three netease hits as the service sends them: escapes, "\/", bare ids, a big pic_id string.
constexpr const char* kNeteaseThree =
    R"([{"id":1000,"name":"\u6674\u5929","artist":["\u5468\u6770\u4f26"],"album":"\u53f6\u60e0\u7f8e",)"
    R"("pic_id":"109951163000000000","url_id":1000,"lyric_id":1000,"source":"netease"},)"
    R"({"id":35847388,"name":"Hello","artist":["Adele"],"album":"25","pic_id":"1407374890649284",)"
    R"("url_id":35847388,"lyric_id":35847388,"source":"netease"},)"
    R"({"id":7,"name":"AC\/DC","artist":["A","B"],"album":"x\/y","pic_id":"9","url_id":7,"lyric_id":7,)"
    R"("source":"netease"}])";

std::vector<SongRow> parse(std::string_view json, int index = 0) {
  return parse_search_hits("jQuery111305848566045983208_1532569697124(" + Text(json) + ")", catalogue_at(index));
}

TEST(SearchHits, EveryHitGivesOneRowWithItsOwnIds) {
  auto rows = parse(kNeteaseThree);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (SongRow{"1000", "109951163000000000", "1000", "晴天", "周杰伦", "叶惠美"}));
  EXPECT_EQ(rows[1], (SongRow{"35847388", "1407374890649284", "35847388", "Hello", "Adele", "25"}));
  // "\/" decoded, several artists joined by "/".
  EXPECT_EQ(rows[2], (SongRow{"7", "9", "7", "AC/DC", "A/B", "x/y"}));
}

TEST(SearchHits, AnEmptyArtistListShiftsNothing) {
  auto rows = parse(R"([{"name":"one","artist":["P"],"album":"a","pic_id":"1","url_id":1,"lyric_id":1},)"
                    R"({"name":"two","artist":[],"album":"b","pic_id":"2","url_id":2,"lyric_id":2},)"
                    R"({"name":"three","artist":["R"],"album":"c","pic_id":"3","url_id":3,"lyric_id":3}])");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].singer, "P");
  EXPECT_EQ(rows[1], (SongRow{"2", "2", "2", "two", "", "b"}));
  EXPECT_EQ(rows[2].singer, "R");
  EXPECT_EQ(rows[2].title, "three");
}

TEST(SearchHits, AMissingKeyGivesAnEmptyCellOfThatHitOnly) {
  auto rows = parse(R"([{"name":"no album","artist":["P"],"pic_id":"1","url_id":1,"lyric_id":1},)"
                    R"({"artist":["Q"],"album":"b","pic_id":"2","url_id":2,"lyric_id":2}])");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (SongRow{"1", "1", "1", "no album", "P", ""}));
  EXPECT_EQ(rows[1], (SongRow{"2", "2", "2", "", "Q", "b"}));
}

TEST(SearchHits, QuotedIdsForKugouAndTencent) {
  const char* kugou = R"([{"id":"3DE3C8085D2F5923FE780AD62CD79F6C","name":"Hello","artist":["Adele"],"album":"",)"
                      R"("pic_id":"3CB0","url_id":"3DE3C8085D2F5923FE780AD62CD79F6C",)"
                      R"("lyric_id":"3DE3C8085D2F5923FE780AD62CD79F6C","source":"kugou"}])";
  auto rows = parse(kugou, 1);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (SongRow{"3DE3C8085D2F5923FE780AD62CD79F6C", "3CB0", "3DE3C8085D2F5923FE780AD62CD79F6C",
                              "Hello", "Adele", ""}));
  const char* tencent = R"([{"id":"001Qu4Jp3Zf2zN","name":"x","artist":["y"],"album":"z","pic_id":"002a",)"
                        R"("url_id":"001Qu4Jp3Zf2zN","lyric_id":"001Qu4Jp3Zf2zN","source":"tencent"}])";
  EXPECT_EQ(parse(tencent, 2)[0].url_id, "001Qu4Jp3Zf2zN");
  // No source chosen: the ids are left empty, the rest is shown.
  EXPECT_EQ(parse(tencent, -1)[0], (SongRow{"", "002a", "", "x", "y", "z"}));
}

TEST(SearchHits, AnIdIsItsValueWhetherWrittenAsNumberOrStringAndNullIsNothing) {
  const char* mixed =
      R"([{"id":"3309602","name":"strings","artist":["a"],"album":"b","pic_id":"109951163","url_id":"3309602",)"
      R"("lyric_id":"3309602","source":"netease"},)"
      R"({"id":1,"name":"numbers","artist":["a"],"album":null,"pic_id":null,"url_id":1,"lyric_id":2},)"
      R"({"id":2,"name":"pic as number","artist":["a"],"album":"c","pic_id":17,"url_id":"x\/1","lyric_id":null}])";
  for (int index : {0, 1, 2}) {
    auto rows = parse(mixed, index);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (SongRow{"3309602", "109951163", "3309602", "strings", "a", "b"}));
    EXPECT_EQ(rows[1], (SongRow{"1", "", "2", "numbers", "a", ""}));
    EXPECT_EQ(rows[2], (SongRow{"x/1", "17", "", "pic as number", "a", "c"}));
  }
}

TEST(SearchHits, QuotesCommasAndBracketsInsideValuesStayInTheirCell) {
  auto rows = parse(R"([{"name":"say \"a\",\"b\" [x]{y}","artist":["The \"Q\"],\"Band"],"album":"a\\",)"
                    R"("pic_id":"1","url_id":1,"lyric_id":1}])");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].title, "say \"a\",\"b\" [x]{y}");
  EXPECT_EQ(rows[0].singer, "The \"Q\"],\"Band");
  EXPECT_EQ(rows[0].album, "a\\");
}

TEST(SearchHits, AnIdThatEndsItsHit) {
  auto rows = parse(R"([{"name":"n","artist":["a"],"album":"b","pic_id":"1","url_id":5,"lyric_id":6}])");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].lyric_id, "6");
}

TEST(SearchHits, AnswersWithoutHitsGiveNoRows) {
  EXPECT_TRUE(parse("[]").empty());
  EXPECT_TRUE(parse_search_hits("", catalogue_at(0)).empty());
  EXPECT_TRUE(parse(R"({"code":404,"msg":"[{\"name\":\"x\"}]"})").empty());
  EXPECT_TRUE(parse_search_hits("<!DOCTYPE html><html><style>a{b:c}</style>[{\"name\":\"x\"}]</html>", catalogue_at(0)).empty());
  // A cut answer keeps the hits that came whole.
  Text whole(kNeteaseThree);
  auto rows = parse_search_hits("cb(" + whole.substr(0, whole.find("Adele")), catalogue_at(0));
  EXPECT_EQ(rows.size(), 1u);
}

TEST(SearchForm, ValuesArePercentEncodedFromUtf8InTheirOrder) {
  EXPECT_EQ(percent_encode("周杰伦"), "%E5%91%A8%E6%9D%B0%E4%BC%A6");
  EXPECT_EQ(percent_encode("a&source=kugou b"), "a%26source%3Dkugou%20b");
  EXPECT_EQ(percent_encode("A-z_0.9~"), "A-z_0.9~");
  EXPECT_EQ(form_body({{"types", "url"}, {"id", "1+1"}, {"source", ""}}), "types=url&id=1%2B1&source=");
  EXPECT_EQ(service_url("127.0.0.1:8765", kSearchCallback),
            "http://127.0.0.1:8765/gqss/api.php?callback=jQuery111305848566045983208_1532569697124");
}

struct SearchPage : ::testing::Test {
  fakes::FakeMusicService service;
  ServiceClient client{"127.0.0.1:8765", service.requests()};
};

TEST_F(SearchPage, PostsTheSearchFormAndReadsTheHits) {
  service.on("search", [](const fakes::ServiceCall&) { return jsonp(kNeteaseThree); });
  auto rows = search_page(client, {"netease", catalogue_at(0), "周杰伦 & =", 2});
  auto calls = service.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].method, "POST");
  EXPECT_EQ(calls[0].url, "http://127.0.0.1:8765/gqss/api.php?callback=jQuery111305848566045983208_1532569697124");
  EXPECT_EQ(calls[0].body,
            "types=search&count=20&source=netease&pages=2&name=%E5%91%A8%E6%9D%B0%E4%BC%A6%20%26%20%3D");
  EXPECT_EQ(calls[0].form.size(), 5u);
  EXPECT_EQ(calls[0].field("name"), "周杰伦 & =");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (SongRow{"1000", "109951163000000000", "1000", "晴天", "周杰伦", "叶惠美", "netease"}));
  for (const SongRow& row : rows) EXPECT_EQ(row.source, "netease");  // each keeps the catalogue it came from
}

TEST_F(SearchPage, WordsCannotOverrideTheSourceOrTheKind) {
  search_page(client, {"tencent", catalogue_at(2), "x&source=kugou&types=url", 1});
  auto call = service.calls().at(0);
  EXPECT_EQ(call.form.size(), 5u);
  EXPECT_EQ(call.field("source"), "tencent");
  EXPECT_EQ(call.field("types"), "search");
  EXPECT_EQ(call.field("name"), "x&source=kugou&types=url");
}

TEST_F(SearchPage, FailedOrFaultyAnswersGiveNoRows) {
  const std::vector<fakes::ScriptedResponse> answers = {
      fakes::bytes_response(kNeteaseThree, 500), fakes::ScriptedResponse{{}, "", 0, RequestFailure::transport},
      fakes::bytes_response("<html>502</html>"), fakes::bytes_response("\x01\xff\x00[{\"name\"")};
  for (const auto& answer : answers) {
    service.on("search", [answer](const fakes::ServiceCall&) { return answer; });
    EXPECT_TRUE(search_page(client, {"netease", catalogue_at(0), "a", 1}).empty());
  }
  EXPECT_EQ(service.calls().size(), answers.size());
}

}  // namespace
}  // namespace qiwa
