#include "app/actions.hpp"

#include "app/app_fixture.hpp"
#include "fakes/test_song.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

// A page of `n` hits named "<words> p<page> #<i>", from the catalogue searched.
Text page_of(const Text& words, const Text& page, int n, const Text& source = "netease") {
  Text json = "[";
  for (int i = 0; i < n; ++i) {
    if (i) json += ",";
    json += R"({"id":)" + std::to_string(i) + R"(,"name":")" + words + " p" + page + " #" +
            std::to_string(i) + R"(","artist":["a"],"album":"b","pic_id":"p)" + std::to_string(i) +
            R"(","url_id":)" + std::to_string(i) + R"(,"lyric_id":)" + std::to_string(i) + R"(,"source":")" +
            source + R"("})";
  }
  return json + "]";
}

struct ActionsFlow : AppFixture {
  void SetUp() override {
    fake.service.on("search", [](const fakes::ServiceCall& c) {
      return jsonp(
          page_of(c.field("name"), c.field("pages"), c.field("pages") == "3" ? 0 : 3, c.field("source")));
    });
  }
  std::vector<Text> titles_in_list() {
    std::vector<Text> t;
    for (const auto& row : window.rows()) t.push_back(row[3]);
    return t;
  }
  bool searches_done(std::size_t n) { return fake.service.calls_of("search").size() >= n; }
};

TEST_F(ActionsFlow, SearchThenLoadMoreAppendsTheNextPageAndANewSearchStartsOver) {
  window.type(Control::编辑框1, "q");
  start_search(app);
  ASSERT_TRUE(eventually([&] { return window.list_row_count() == 3; }));
  load_more(app);
  ASSERT_TRUE(eventually([&] { return window.list_row_count() == 6; }));
  EXPECT_EQ(titles_in_list(), (std::vector<Text>{"q p1 #0", "q p1 #1", "q p1 #2", "q p2 #0", "q p2 #1", "q p2 #2"}));
  EXPECT_EQ(window.rows()[4][0], "1");  // the hidden id columns
  EXPECT_EQ(window.rows()[4][1], "p1");

  load_more(app);  // an empty third page adds nothing
  ASSERT_TRUE(eventually([&] { return searches_done(3); }));
  window.type(Control::编辑框1, "r");
  start_search(app);
  EXPECT_EQ(window.list_row_count(), 0);  // cleared at once
  EXPECT_EQ(app->current_page.load(), 1);
  ASSERT_TRUE(eventually([&] { return window.list_row_count() == 3; }));
  EXPECT_EQ(titles_in_list()[0], "r p1 #0");
  auto pages = fake.service.calls_of("search");
  EXPECT_EQ(pages.back().field("pages"), "1");
}

TEST_F(ActionsFlow, LoadMoreBeforeAnySearchAsksForPageOne) {
  load_more(app);
  ASSERT_TRUE(eventually([&] { return window.list_row_count() == 3; }));
  EXPECT_EQ(fake.service.calls_of("search").at(0).field("pages"), "1");
}

TEST_F(ActionsFlow, TenRapidSearchesEndWithTheLastOnesRowsOnly) {
  fake.service.on("search", [](const fakes::ServiceCall& c) {
    int n = std::stoi(c.field("name").substr(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(10 * (10 - n)));  // earlier ones answer later
    return jsonp(page_of(c.field("name"), c.field("pages"), 3));
  });
  for (int i = 0; i < 10; ++i) {
    window.type(Control::编辑框1, "w" + std::to_string(i));
    start_search(app);
  }
  ASSERT_TRUE(eventually([&] { return searches_done(10); }));
  ASSERT_TRUE(eventually([&] { return window.list_row_count() == 3; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // let any late answer arrive
  EXPECT_EQ(titles_in_list(), (std::vector<Text>{"w9 p1 #0", "w9 p1 #1", "w9 p1 #2"}));
}

TEST_F(ActionsFlow, APlayUsesTheSourceOfTheLastSearchNotTheCombo) {
  window.choose(2);
  start_search(app);
  ASSERT_TRUE(eventually([&] { return window.list_row_count() == 3; }));
  window.choose(0);
  window.select_row(1);
  window.set_text(Control::编辑框2, "old lyrics");
  fake.service.on("url", [](const fakes::ServiceCall&) { return jsonp(R"({"url":"","size":0,"br":-1})"); });
  play_selected(app);
  EXPECT_EQ(window.text(Control::编辑框2), "");  // cleared before the thread runs
  ASSERT_TRUE(eventually([&] { return !window.messages().empty(); }));
  auto url = fake.service.calls_of("url").at(0);
  EXPECT_EQ(url.field("source"), "tencent");
  EXPECT_EQ(url.field("id"), window.rows()[1][0]);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲解析失败！");
}

// "加载更多" reads the drop-down anew, so one list may hold rows of two catalogues: each row plays with the
// catalogue it came from, the M500 address included.
TEST_F(ActionsFlow, RowsOfTwoCataloguesEachPlayWithTheirOwn) {
  window.choose(0);
  start_search(app);
  ASSERT_TRUE(eventually([&] { return window.list_row_count() == 3; }));
  window.choose(2);
  load_more(app);
  ASSERT_TRUE(eventually([&] { return window.list_row_count() == 6; }));
  fake.service.on("url", [](const fakes::ServiceCall& c) {
    return jsonp(R"({"url":"http:\/\/h\/)" + c.field("source") + "M800" + c.field("id") +
                 R"(.mp3","br":128})");
  });
  for (const char* address : {"http://h/neteaseM8001.mp3", "http://h/tencentM5001.mp3"})
    fake.downloader.serve(address, {fakes::test_song()});
  for (int row : {1, 4}) {
    window.select_row(row);
    play_selected(app);
    ASSERT_TRUE(eventually(
        [&] { return window.title() == "当前播放音乐:" + window.rows()[static_cast<std::size_t>(row)][3]; }));
  }
  EXPECT_EQ(fake.downloader.requested(),
            (std::vector<Text>{"http://h/neteaseM8001.mp3", "http://h/tencentM5001.mp3"}));
  auto urls = fake.service.calls_of("url");
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[0].field("source"), "netease");
  EXPECT_EQ(urls[1].field("source"), "tencent");
}

TEST_F(ActionsFlow, PlayingTheSelectedRowPlaysItsSong) {
  window.type(Control::编辑框1, "s");
  start_search(app);
  ASSERT_TRUE(eventually([&] { return window.list_row_count() == 3; }));
  window.select_row(2);
  fake.service.on("url", [](const fakes::ServiceCall& c) {
    return jsonp(R"({"url":"http:\/\/h\/)" + c.field("id") + R"(.mp3","size":1,"br":128})");
  });
  const Text song_two = fakes::test_song();
  fake.downloader.serve("http://h/2.mp3", {song_two});
  play_selected(app);
  ASSERT_TRUE(eventually([&] { return window.title() == "当前播放音乐:s p1 #2"; }));
  // The sound (and the title) may come before the last byte: the file is in place once that came.
  EXPECT_TRUE(eventually([&] { return fake.files.read(song("s p1 #2")).value_or("").ends_with(song_two); }));
  EXPECT_EQ(fake.player.played_contents().size(), 1u);
  // The sound system was readied for the first play only; the second plays the saved song.
  play_selected(app);
  EXPECT_TRUE(eventually([&] { return fake.player.played_contents().size() == 2u; }));
  EXPECT_EQ(fake.player.prepares(), 1);
}

TEST_F(ActionsFlow, ThePauseButtonTogglesItsCaptionAndThePlayer) {
  EXPECT_EQ(window.text(Control::按钮4), "暂停播放");
  toggle_pause(*app);
  EXPECT_EQ(window.text(Control::按钮4), "继续播放");
  toggle_pause(*app);
  EXPECT_EQ(window.text(Control::按钮4), "暂停播放");
  EXPECT_EQ(fake.player.calls(), (std::vector<Text>{"pause", "resume"}));
}

TEST_F(ActionsFlow, TheListMenuPopsUp) {
  show_list_menu(*app);
  EXPECT_EQ(window.popups(), 1);
  EXPECT_TRUE(fake.service.calls().empty());
}

}  // namespace
}  // namespace qiwa
