"""Searching as a user does: the button and Enter, what goes over the wire, the rows with their
hidden ids, more pages, words that look like form syntax, the source a play uses, and searches
that overtake each other."""
import time
import unittest

import qiwa_e2e

SEARCH_QUERY = "callback=jQuery111305848566045983208_1532569697124"
TRACK_QUERY = "callback=jQuery111305848566045983208_1532569697121"
UA = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"


class SearchCase(qiwa_e2e.ServiceTestCase):
    def expected_row(self, title_or_song, source="netease"):
        """The six cells a catalogue song's hit gives: the three ids, then title, singer, album."""
        song = self.service.song(title_or_song) if isinstance(title_or_song, str) else title_or_song
        return qiwa_e2e.cells_of(song, source)

    def listed(self):
        """The catalogue songs a search with no words lists, in order."""
        return [s for s in self.service.catalogue() if s["fault"] is None]

    def assert_search_form(self, post, words, source="netease", page=1):
        self.assertEqual(post.method, "POST")
        self.assertEqual((post.path, post.query), ("/gqss/api.php", SEARCH_QUERY))
        self.assertEqual(post.fields, [("types", "search"), ("count", "20"), ("source", source),
                                       ("pages", str(page)), ("name", words)])


class SearchTest(SearchCase):
    def test_search_by_button_sends_the_form_with_the_default_headers(self):
        self.start()
        post = self.search("周杰伦", rows=2)
        self.assert_search_form(post, "周杰伦")
        self.assertEqual(post.header("Accept"), "*/*")
        self.assertEqual(post.header("Referer"), f"{self.service.url}/gqss/api.php?{SEARCH_QUERY}")
        self.assertEqual(post.header("Accept-Language"), "zh-cn")
        self.assertEqual(post.header("User-Agent"), UA)
        self.assertEqual(post.header("Content-Type"), "application/x-www-form-urlencoded")
        self.assertIsNone(post.header("Cookie"))
        self.assertEqual(self.rows(), [self.expected_row("晴天"), self.expected_row("不能说的秘密")])

    def test_enter_searches_like_the_button_and_other_keys_do_not(self):
        self.start()
        self.search("周杰伦", rows=2)
        post = self.search("Hello", by="enter", rows=1)
        self.assert_search_form(post, "Hello")
        self.assertEqual(self.rows(), [self.expected_row("Hello")])
        self.driver("key", "编辑框1", 0x41)  # "a"
        self.driver("key", "编辑框1", 0x09)  # Tab
        time.sleep(1.5)
        self.assertEqual(len(self.service.api_requests("search")), 2, "a key other than Enter searched")
        self.assertEqual(self.rows(), [self.expected_row("Hello")])

    def test_each_hit_is_one_row_with_its_own_ids_for_every_source(self):
        """Quoted and bare ids, an empty artist list, several artists, a missing album."""
        self.start()
        for index, source in enumerate(qiwa_e2e.ServiceTestCase.SOURCES):
            with self.subTest(source=source):
                post = self.search("", source=index, rows=20)
                self.assert_search_form(post, "", source)
                self.assertEqual(self.rows(), [self.expected_row(s, source) for s in self.listed()[:20]])

    def test_more_pages_append_below_and_a_new_search_starts_again_at_page_1(self):
        self.start()
        songs = self.listed()
        self.search("", rows=20)
        for page, total in ((2, 40), (3, len(songs))):
            self.driver("click", "按钮2")
            post = self.service.wait_request(lambda r: r.form.get("types") == "search", count=page)
            self.assert_search_form(post, "", page=page)
            self.assertEqual(self.wait_rows(total), [self.expected_row(s) for s in songs[:total]])
        post = self.search("", rows=20)
        self.assert_search_form(post, "", page=1)
        self.assertEqual(self.rows(), [self.expected_row(s) for s in songs[:20]])
        # The next page asks the source shown now and joins the rows below.
        self.driver("select-combo", 1)
        self.driver("click", "按钮2")
        post = self.service.wait_request(lambda r: r.form.get("types") == "search", count=5)
        self.assert_search_form(post, "", "kugou", page=2)
        self.assertEqual(self.wait_rows(40)[20:], [self.expected_row(s, "kugou") for s in songs[20:40]])

    def test_ampersand_and_equals_in_the_words_stay_in_the_name(self):
        self.start()
        post = self.search("Rock & Roll = Life", rows=1)
        self.assert_search_form(post, "Rock & Roll = Life")
        self.assertIn("%26", post.body)
        self.assertIn("%3D", post.body)
        self.assertEqual(self.rows(), [self.expected_row("Rock & Roll = Life")])
        words = "x&source=kugou&types=url&pages=9&name=晴天"
        post = self.search(words)
        self.assert_search_form(post, words)
        self.assertEqual(post.body.count("&"), 4)
        time.sleep(1)  # an answer with no hits adds nothing
        self.assertEqual(self.rows(), [])

    def test_a_row_plays_from_the_catalogue_it_came_from_not_the_combo(self):
        self.start()
        self.search("Hello", source=2, rows=1)
        row = self.expected_row("Hello", "tencent")
        self.assertEqual(self.rows(), [row])
        self.driver("select-combo", 0)
        self.play(0)
        post = self.service.wait_request(lambda r: r.form.get("types") == "url")
        self.assertEqual((post.path, post.query), ("/gqss/api.php", TRACK_QUERY))
        self.assertEqual(post.fields, [("types", "url"), ("id", row[0]), ("source", "tencent"), ("br", "320")])
        # A QQ音乐 row asks for its catalogue's file in the quality chosen, whatever the drop-down shows.
        song = self.service.wait_request(lambda r: r.path.startswith("/music/"))
        self.assertEqual(song.path, f"/music/tencent/M800{row[0]}.mp3")


class RapidSearchTest(SearchCase):
    service_delay = 4  # seconds the answer to the words "fault:delay" takes

    def test_ten_rapid_searches_end_with_the_last_ones_rows_only(self):
        self.start()
        words = ["fault:delay", "周杰伦", "Hello", "Tone", "后来", "音调", "Let", "CON", "Names", "江南"]
        for w in words:
            self.driver("set-text", "编辑框1", w)
            self.driver("click", "按钮1")
        self.service.wait_request(lambda r: r.form.get("types") == "search", count=len(words))
        self.assertEqual([r.form["name"] for r in self.service.api_requests("search")], words)
        self.assertEqual(self.wait_rows(1), [self.expected_row("江南")])
        time.sleep(self.service_delay + 1)  # the slow first answer has come by now, and must be dropped
        self.assertEqual(self.rows(), [self.expected_row("江南")])


if __name__ == "__main__":
    unittest.main()
