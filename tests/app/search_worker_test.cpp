#include "app/search_worker.hpp"

#include "app/app_fixture.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

constexpr const char* kTwoHits =
    R"([{"id":1000,"name":"\u6674\u5929","artist":["\u5468\u6770\u4f26"],"album":"\u53f6\u60e0\u7f8e",)"
    R"("pic_id":"109951163000000000","url_id":1000,"lyric_id":1000,"source":"netease"},)"
    R"({"id":7,"name":"AC\/DC","artist":["A","B"],"album":"x\/y","pic_id":"9","url_id":7,"lyric_id":7}])";

struct SearchWorker : AppFixture {
  SearchRequest request(Text words, int index = 0, int page = 1) {
    return SearchRequest{app->searches.renew(), page, index, std::move(words)};
  }
};

TEST_F(SearchWorker, AppendsThePageBelowTheRowsShownAsOneBlock) {
  fake.service.on("search", [](const fakes::ServiceCall&) { return jsonp(kTwoHits); });
  window.list_append_row();  // a row of an earlier page stays
  const int invokes = window.invokes();
  run_search(*app, request("周杰伦", 0, 2));
  EXPECT_EQ(fake.service.calls().at(0).field("pages"), "2");
  EXPECT_EQ(app->current_source.get(), "netease");
  auto rows = window.rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<Text>{"1000", "109951163000000000", "1000", "晴天", "周杰伦", "叶惠美"}));
  EXPECT_EQ(rows[2], (std::vector<Text>{"7", "9", "7", "AC/DC", "A/B", "x/y"}));
  EXPECT_EQ(window.invokes() - invokes, 1);
}

TEST_F(SearchWorker, NoSourceChosenSearchesTheLastOneAgain) {
  app->current_source.set("kugou");
  run_search(*app, request("", -1));
  EXPECT_EQ(fake.service.calls().at(0).body, "types=search&count=20&source=kugou&pages=1&name=");
  EXPECT_EQ(app->current_source.get(), "kugou");
}

TEST_F(SearchWorker, ASupersededSearchAddsNothing) {
  fake.service.on("search", [this](const fakes::ServiceCall&) {
    app->searches.renew();  // the user pressed "搜索" again while this answer travelled
    return jsonp(kTwoHits);
  });
  run_search(*app, request("a"));
  EXPECT_EQ(window.list_row_count(), 0);
}

TEST_F(SearchWorker, AFailedAnswerLeavesTheListAsItWas) {
  window.list_append_row();
  fake.service.on("search", [](const fakes::ServiceCall&) { return fakes::bytes_response("<html>502</html>"); });
  run_search(*app, request("a"));
  EXPECT_EQ(window.list_row_count(), 1);
  EXPECT_TRUE(window.messages().empty());  // a failed search is silent
}

}  // namespace
}  // namespace qiwa
