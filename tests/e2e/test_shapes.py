"""Answers as real deployments write them: a NetEase hit's ids as strings beside numbers, an album and a
picture id that are null, lyrics with HTML character references. Every row has clean ids and empty cells
for the nulls, the string-id song plays with its bare id, and the lyrics box shows the characters."""
import unittest

import qiwa_user
from test_play import lyrics_shown


class ShapesTest(qiwa_user.UserTestCase):
    def test_string_ids_nulls_and_references(self):
        self.open_window()
        rows = self.search_for("Shapes")  # the cells exactly as the catalogue describes its hits
        self.assertEqual([r[3] for r in rows], ["String Ids", "Null Fields", "Quoted Lyrics"])
        strings, nulls, _ = rows
        self.assertTrue(strings[0].isdigit() and strings[2].isdigit(), f"ids with their quotes: {strings}")
        self.assertEqual((nulls[1], nulls[5]), ("", ""), "a null picture id and album are empty cells")

        self.play_row(0, "String Ids")
        post = self.service.wait_request(lambda r: r.form.get("types") == "url")
        self.assertEqual(post.fields, [("types", "url"), ("id", strings[0]), ("source", "netease"), ("br", "320")])
        self.play_row(2, "Quoted Lyrics")
        lyrics = self.driver("control", "编辑框2")["control"]["text"]
        self.assertEqual(lyrics, lyrics_shown(self.service.song("Quoted Lyrics")))
        self.assertIn("It's \"one\" & 你好", lyrics)


if __name__ == "__main__":
    unittest.main()
