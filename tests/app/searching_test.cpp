#include "app/searching.hpp"

#include "app/app_fixture.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

constexpr const char* kTwoHits =
    R"([{"id":1000,"name":"\u6674\u5929","artist":["\u5468\u6770\u4f26"],"album":"\u53f6\u60e0\u7f8e",)"
    R"("pic_id":"109951163000000000","url_id":1000,"lyric_id":1000,"source":"netease"},)"
    R"({"id":7,"name":"AC\/DC","artist":["A","B"],"album":"x\/y","pic_id":"9","url_id":7,"lyric_id":7}])";

// A page of `n` hits named "<words> p<page> #<i>".
Text page_of(const Text& words, const Text& page, int n) {
  Text json = "[";
  for (int i = 0; i < n; ++i) {
    if (i) json += ",";
    json += R"({"id":)" + std::to_string(i) + R"(,"name":")" + words + " p" + page + " #" + std::to_string(i) +
            R"(","artist":["a"],"album":"b","pic_id":"p)" + std::to_string(i) + R"(","url_id":)" +
            std::to_string(i) + R"(,"lyric_id":)" + std::to_string(i) + R"(,"source":"netease"})";
  }
  return json + "]";
}

struct Searching : AppFixture {
  void SetUp() override {
    fake.service.on("search", [](const fakes::ServiceCall& c) {
      return jsonp(page_of(c.field("name"), c.field("pages"), c.field("pages") == "3" ? 0 : 3));
    });
  }
  std::vector<Text> titles_in_list() const {
    std::vector<Text> t;
    for (const auto& row : window.rows()) t.push_back(row[3]);
    return t;
  }
};

TEST_F(Searching, AnswerRowsShowTheirCellsAndKeepTheirCatalogue) {
  fake.service.on("search", [](const fakes::ServiceCall&) { return jsonp(kTwoHits); });
  window.type("周杰伦");
  window.choose(1);
  start_search(app);
  settle();
  EXPECT_EQ(fake.service.calls().at(0).body,
            "types=search&count=20&source=kugou&pages=1&name=%E5%91%A8%E6%9D%B0%E4%BC%A6");
  ASSERT_EQ(window.row_count(), 2);
  EXPECT_EQ(window.rows()[0], (std::vector<Text>{"1000", "109951163000000000", "1000", "晴天", "周杰伦", "叶惠美"}));
  EXPECT_EQ(window.rows()[1], (std::vector<Text>{"7", "9", "7", "AC/DC", "A/B", "x/y"}));
  ASSERT_EQ(app.rows.size(), 2u);
  EXPECT_EQ(app.rows[1].source, "kugou");
  EXPECT_EQ(app.current_source, "kugou");
}

TEST_F(Searching, LoadMoreAppendsTheNextPageAndANewSearchStartsOver) {
  window.type("q");
  start_search(app);
  settle();
  load_more(app);
  settle();
  EXPECT_EQ(titles_in_list(), (std::vector<Text>{"q p1 #0", "q p1 #1", "q p1 #2", "q p2 #0", "q p2 #1", "q p2 #2"}));
  EXPECT_EQ(window.rows()[4][0], "1");  // the hidden id columns
  EXPECT_EQ(window.rows()[4][1], "p1");
  EXPECT_EQ(app.rows.size(), 6u);

  load_more(app);  // an empty third page adds nothing
  settle();
  EXPECT_EQ(window.row_count(), 6);
  window.type("r");
  start_search(app);
  EXPECT_EQ(window.row_count(), 0);  // cleared at once
  EXPECT_TRUE(app.rows.empty());
  EXPECT_EQ(app.current_page, 1);
  settle();
  EXPECT_EQ(titles_in_list()[0], "r p1 #0");
  EXPECT_EQ(fake.service.calls_of("search").back().field("pages"), "1");
}

TEST_F(Searching, LoadMoreBeforeAnySearchAsksForPageOne) {
  load_more(app);
  settle();
  EXPECT_EQ(window.row_count(), 3);
  EXPECT_EQ(fake.service.calls_of("search").at(0).field("pages"), "1");
}

TEST_F(Searching, NoCatalogueChosenSearchesTheLastOneAgain) {
  app.current_source = "kugou";
  window.choose(-1);
  start_search(app);
  settle();
  EXPECT_EQ(fake.service.calls().at(0).body, "types=search&count=20&source=kugou&pages=1&name=");
  EXPECT_EQ(app.current_source, "kugou");
}

// Ten searches whose answers come back in reverse: only the last one's rows are shown, once.
TEST_F(Searching, OfRapidSearchesOnlyTheLastOnesRowsAreShown) {
  for (int i = 0; i < 10; ++i) {
    window.type("w" + std::to_string(i));
    start_search(app);
  }
  while (fake.executor.run_next_worker()) {
  }
  settle();
  EXPECT_EQ(fake.service.calls_of("search").size(), 10u);
  EXPECT_EQ(titles_in_list(), (std::vector<Text>{"w9 p1 #0", "w9 p1 #1", "w9 p1 #2"}));
}

// A page that comes after the results were cleared by a newer search belongs to no one.
TEST_F(Searching, ANextPageOfASupersededSearchAddsNothing) {
  window.type("old");
  start_search(app);
  settle();
  load_more(app);
  fake.executor.run_next_worker();  // the second page is on its way back
  window.type("new");
  start_search(app);
  settle();
  EXPECT_EQ(titles_in_list(), (std::vector<Text>{"new p1 #0", "new p1 #1", "new p1 #2"}));
}

TEST_F(Searching, AFailedAnswerLeavesTheListAsItWasAndIsSilent) {
  show_rows({SongRow{"1", "p1", "1", "kept", "s", "a", "netease"}});
  fake.service.on("search", [](const fakes::ServiceCall&) { return fakes::bytes_response("<html>502</html>"); });
  load_more(app);
  settle();
  EXPECT_EQ(window.row_count(), 1);
  EXPECT_EQ(app.rows.size(), 1u);
  EXPECT_TRUE(window.messages().empty());
}

}  // namespace
}  // namespace qiwa
