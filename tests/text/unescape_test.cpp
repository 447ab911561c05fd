#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "runtime/utf.hpp"
#include "text/unescape.hpp"

namespace qiwa {
namespace {

TEST(UnescapeText, PlainTextComesBackUnchanged) {
  EXPECT_EQ(unescape_text(""), "");
  EXPECT_EQ(unescape_text("Hello 中文 [1] (x) 100 & ok"), "Hello 中文 [1] (x) 100 & ok");
  EXPECT_EQ(unescape_text(std::string("ab\0cd", 5)), "ab");  // the text ends at its NUL byte
}

TEST(UnescapeText, UnicodeAndPercentEscapes) {
  EXPECT_EQ(unescape_text("\\u4e2d\\u6587"), "中文");
  EXPECT_EQ(unescape_text("\\u4E2D"), "中");
  EXPECT_EQ(unescape_text("%41%u4e2d"), "A中");
  EXPECT_EQ(unescape_text("100% %4 %zz %u12 %U4e2d %"), "100% %4 %zz %u12 %U4e2d %");
  EXPECT_EQ(unescape_text("\\x41\\x4a"), "AJ");
  // A backslash before a capital U is no \u: it only loses its backslash.
  EXPECT_EQ(unescape_text("\\U4e2d"), "U4e2d");
  // unescape() runs once, over what the literal gave.
  EXPECT_EQ(unescape_text("\\x2541"), "A");
  EXPECT_EQ(unescape_text("\\u002541"), "%41");
  EXPECT_EQ(unescape_text("\\\\u4e2d"), "中");
}

TEST(UnescapeText, CharacterEscapes) {
  EXPECT_EQ(unescape_text("http:\\/\\/host\\/a.mp3"), "http://host/a.mp3");
  EXPECT_EQ(unescape_text("a\\nb"), "a\nb");
  EXPECT_EQ(unescape_text("\\t\\b\\v\\f\\r"), "\t\b\v\f\r");
  EXPECT_EQ(unescape_text("\\\"\\\\\\'"), "\"\\'");
  EXPECT_EQ(unescape_text("\\a\\z\\8\\9\\%"), "az89%");
}

TEST(UnescapeText, OctalEscapesTakeUpToThreeDigitsWithinByteRange) {
  EXPECT_EQ(unescape_text("\\101\\1011"), "AA1");
  EXPECT_EQ(unescape_text("\\400"), " 0");
  EXPECT_EQ(unescape_text("\\18"), "\x01" "8");
  EXPECT_EQ(unescape_text("\\7"), "\x07");
  EXPECT_EQ(unescape_text("\\377"), "ÿ");
}

TEST(UnescapeText, LineBreaksAndTheirStandIn) {
  EXPECT_EQ(unescape_text("a\r\nb\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(unescape_text("\rab"), "ab");              // a leading lone CR is dropped
  EXPECT_EQ(unescape_text("\r\nab"), "\r\nab");        // but not the CR of a pair
  EXPECT_EQ(unescape_text("\r\r\nab"), "\r\nab");
  EXPECT_EQ(unescape_text("x{$}y"), "x\r\ny");         // "{$}" stands for CR LF
  EXPECT_EQ(unescape_text("\\x7b$}"), "\r\n");          // even when an escape spells it
}

TEST(UnescapeText, QuotesAndTheirStandIn) {
  EXPECT_EQ(unescape_text("it's"), "it's");
  EXPECT_EQ(unescape_text("’"), "'");
  EXPECT_EQ(unescape_text("\\u2019"), "'");
}

TEST(UnescapeText, AnEscapeGivingCodeZeroEndsTheText) {
  EXPECT_EQ(unescape_text("ab\\x00cd"), "ab");
  EXPECT_EQ(unescape_text("ab%00cd"), "ab");
  EXPECT_EQ(unescape_text("ab\\u0000cd"), "ab");
  EXPECT_EQ(unescape_text("ab\\0cd"), "ab");
  EXPECT_EQ(unescape_text("a\\08"), "a");
  // Nothing before the zero: the empty text, not a reading of the raw bytes.
  EXPECT_EQ(unescape_text("\\0abc"), "");
}

TEST(UnescapeText, SurrogatePairsAreOneCharacterAndLoneHalvesAreReplaced) {
  EXPECT_EQ(unescape_text("\\ud83c\\udfb5!"), "🎵!");
  EXPECT_EQ(unescape_text("%uD83C%uDFB5"), "🎵");
  EXPECT_EQ(unescape_text("a\\ud83cb"), "a\uFFFDb");
  EXPECT_EQ(unescape_text("a\\udfb5\\ud83c"), "a\uFFFD\uFFFD");
  EXPECT_EQ(unescape_text("\\ud83c\\ud83c\\udfb5"), "\uFFFD🎵");
  EXPECT_EQ(unescape_text("\\u0e01"), "ก");
}

TEST(UnescapeText, EveryScriptComesThroughAndBadBytesAreReplaced) {
  EXPECT_EQ(unescape_text("\\ubcc4\\ube5b \\ud83c\\udfb5 Star"), "별빛 🎵 Star");
  EXPECT_EQ(unescape_text("\\u0e14\\u0e32\\u0e27 Ti\\u1ebfng"), "ดาว Tiếng");
  EXPECT_EQ(unescape_text("별빛 \\n 🎵"), "별빛 \n 🎵");  // sent as UTF-8, escapes beside
  EXPECT_EQ(unescape_text("\\별"), "별");                 // an escaped character is taken whole
  EXPECT_EQ(unescape_text("a\xFF\\u4e2d\xE4\xB8"), "a\uFFFD中\uFFFD");
  EXPECT_EQ(unescape_text("\u3000\\u4e2d"), "\u3000中");
}

TEST(UnescapeText, TextAScriptWouldRejectIsStillDecoded) {
  EXPECT_EQ(unescape_text("a\nb"), "a\nb");
  EXPECT_EQ(unescape_text("a\rb\n"), "a\rb\n");
  EXPECT_EQ(unescape_text("\\u4e2d\n\\/%41"), "中\n/A");
  EXPECT_EQ(unescape_text("ab\\"), "ab\\");
  EXPECT_EQ(unescape_text("ab\\\\\\"), "ab\\\\");
  EXPECT_EQ(unescape_text("\\xg1 \\x4 \\x"), "xg1 x4 x");
  EXPECT_EQ(unescape_text("\\x4\\n"), "x4\n");
  EXPECT_EQ(unescape_text("\\\nx"), "\nx");  // no line continuation: the break is kept
  EXPECT_EQ(unescape_text("\\u4e2d"), "中");
}

// A short value is decoded by a quicker way than a long one; both must agree on every kind of escape.
TEST(UnescapeText, ShortAndLongValuesDecodeAlike) {
  const std::string pad(1100, '.');
  for (const char* value : {"\\u4e2d\\u6587", "\\ud83c\\udfb5!", "a\\ud83cb", "\\ud83c\\u0041", "\\udfb5",
                            "\\u2019s", "\\u007b$}", "x\\/y\\\"z", "\\u12g4", "\\u4e2d%41", "\\U4e2d",
                            "\\\\u4e2d", "\\x41\\u4e2d", "\\u4e2d\\n", "\rab", "a\xFF\\u4e2d", "\\u002541"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(unescape_text(std::string(value) + pad), unescape_text(value) + pad);
  }
  EXPECT_EQ(unescape_text("ab\\u0000" + pad), "ab");
}

TEST(UnescapeText, SearchAnswer) {
  const Text answer =
      "cb([{\"id\":1,\"name\":\"\\u4e2d\\u6587\",\"artist\":[\"A\\/B\",\"\\u6b4c\"],"
      "\"album\":\"It's \\ud83c\\udfb5\",\"pic_id\":\"1407374890649284\"}])";
  EXPECT_EQ(unescape_text(answer),
            "cb([{\"id\":1,\"name\":\"中文\",\"artist\":[\"A/B\",\"歌\"],"
            "\"album\":\"It's 🎵\",\"pic_id\":\"1407374890649284\"}])");
}

// Differential test against a real ECMAScript engine: node computes what the script would,
//   unescape(eval("'" + prepared + "'"))   in sloppy mode,
// for thousands of generated escape-heavy texts. Texts the engine rejects are compared with the
// engine's reading of the same text with each rejected piece written the way our decoder reads it.

constexpr const char* kOracleScript = R"JS(
const hex = (s) => { let h = ''; for (let i = 0; i < s.length; ++i) h += s.charCodeAt(i).toString(16).padStart(4, '0'); return h; };
const unhex = (h) => { let s = ''; for (let i = 0; i + 4 <= h.length; i += 4) s += String.fromCharCode(parseInt(h.substr(i, 4), 16)); return s; };
const out = [];
for (const line of require('fs').readFileSync(0, 'latin1').split('\n')) {
  if (!line.startsWith('s:')) continue;
  let p = unhex(line.slice(2)).split('\r\n').join('{$}');
  if (p[0] === '\r') p = p.slice(1);
  p = p.split('\\u').join('%u').split("'").join('\u2019');
  let r;
  try { r = unescape(eval("'" + p + "'")); } catch (e) { out.push('throw'); continue; }
  if (r.indexOf('\0') >= 0) r = r.slice(0, r.indexOf('\0'));
  out.push('ok:' + hex(r.split('\u2019').join("'").split('{$}').join('\r\n')));
}
process.stdout.write(out.join('\n') + '\n');
)JS";

struct Case {
  std::u16string text;      // what the service sent
  std::u16string repaired;  // the same with every rejected piece written as our decoder reads it
  bool rejected = false;
};

class CaseGenerator {
 public:
  explicit CaseGenerator(unsigned seed) : rng_(seed) {}

  Case next() {
    Case c;
    bool faulty = pick(4) == 0;
    std::size_t tokens = 1 + pick(24);
    if (pick(20) == 0) c.text = c.repaired = u"\r";  // a leading lone CR, which the preparation drops
    for (std::size_t i = 0; i < tokens; ++i) {
      bool last = i + 1 == tokens;
      if (faulty && pick(5) == 0 && add_fault(c, i == 0, last)) continue;
      std::u16string t = token();
      c.text += t;
      c.repaired += t;
    }
    return c;
  }

 private:
  std::size_t pick(std::size_t n) { return rng_() % n; }
  template <std::size_t N>
  const char16_t* one_of(const char16_t* const (&list)[N]) { return list[pick(N)]; }

  std::u16string hex_digits(int n) {
    static const char16_t digits[] = u"0123456789abcdefABCDEF";
    std::u16string s;
    for (int k = 0; k < n; ++k) s += digits[pick(22)];
    return s;
  }
  std::u16string code4() {
    static const char16_t* const codes[] = {u"0000", u"0025", u"005c", u"005C", u"0027", u"2019", u"007b", u"0024",
                                            u"007d", u"000d", u"000a", u"4e2d", u"4E2D", u"6587", u"d83c", u"dfb5",
                                            u"0e01", u"00ff", u"0041", u"0075", u"0030", u"3000", u"0022"};
    return pick(3) == 0 ? hex_digits(4) : codes[pick(std::size(codes))];
  }
  std::u16string code2() {
    static const char16_t* const codes[] = {u"00", u"25", u"5c", u"27", u"7b", u"24", u"7d", u"0d",
                                            u"0a", u"41", u"75", u"30", u"ff", u"a1", u"AF", u"22"};
    return pick(3) == 0 ? hex_digits(2) : codes[pick(std::size(codes))];
  }

  std::u16string token() {
    // Plain characters of one to four bytes, and text that only looks like escapes or stand-ins.
    static const char16_t* const plain[] = {
        u"a", u"b", u"z", u"0", u"1", u"7", u"8", u"9", u"4", u"e", u"F", u"u", u"x", u"U", u"n", u" ",
        u"%", u"%", u"{", u"$", u"}", u"{$}", u"'", u"\"", u"/", u"中", u"文", u"\u661E", u"\u661Eu4e2d",
        u"\u4E57", u"\u4E84$}", u"\u4E87", u"\u4E7D", u"\u2019", u"\u3000", u"\r\n",
        u"🎵", u"별빛", u"ดาว", u"\\ud83c\\udfb5", u"%ud83c%udfb5", u"\\ud83c%udfb5"};
    static const char16_t* const escaped[] = {u"b", u"t",  u"n", u"v", u"f", u"r", u"\"", u"'", u"\\",
                                              u"/", u"a",  u"z", u"%", u"8", u"9", u"U",  u"中", u"\u661E",
                                              u"{", u"\u2019", u"🎵", u"별"};
    switch (pick(10)) {
      case 0: return u"\\" + std::u16string(one_of(escaped));
      case 1: {
        std::u16string t = u"\\";
        for (std::size_t n = 1 + pick(3); n > 0; --n) t += static_cast<char16_t>(u'0' + pick(8));
        return t;
      }
      case 2: return u"\\x" + code2();
      case 3: return u"\\u" + code4();
      case 4: return u"%u" + code4();
      case 5: return u"%" + code2();
      case 6: return pick(2) ? u"%u" + hex_digits(1 + pick(3)) : u"%" + hex_digits(1);
      default: return one_of(plain);
    }
  }

  // A piece the engine rejects, written into the text raw and into the repaired text as our decoder
  // reads it. Each piece is closed, so it never joins with what follows into something valid.
  bool add_fault(Case& c, bool first, bool last) {
    std::u16string raw, read;
    bool after_cr = !c.text.empty() && c.text.back() == u'\r';
    switch (pick(6)) {
      case 0:
        if (after_cr) return false;  // that would make a CR LF pair
        raw = u"\n", read = u"\\n";
        break;
      case 1:
        if (last || first) return false;  // a following LF could pair with it; a leading CR is dropped
        raw = u"\r", read = u"\\r";
        break;
      case 2: {
        std::u16string rest = std::u16string(pick(2) ? u"" : u"4") + one_of({u"g", u"z", u" ", u"中", u"%", u"\u2019"});
        raw = u"\\x" + rest, read = u"x" + rest;
        break;
      }
      case 3:
        if (!last) return false;
        raw = u"\\x" + hex_digits(static_cast<int>(pick(2))), read = raw.substr(1);
        break;
      default:
        if (!last) return false;
        raw = u"\\", read = u"\\\\";
        break;
    }
    c.text += raw;
    c.repaired += read;
    c.rejected = true;
    return true;
  }

  std::mt19937 rng_;
};

std::string to_hex(std::u16string_view s) {
  std::string h;
  char buf[8];
  for (char16_t u : s) {
    std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(u));
    h += buf;
  }
  return h;
}

std::u16string from_hex(std::string_view h) {
  std::u16string s;
  for (std::size_t i = 0; i + 4 <= h.size(); i += 4)
    s += static_cast<char16_t>(std::stoul(std::string(h.substr(i, 4)), nullptr, 16));
  return s;
}

// Runs every text through one node process; one answer line per text: "throw" or "ok:" + hex units.
std::vector<std::string> ask_oracle(const std::vector<std::u16string>& texts) {
  char dir_template[] = "/tmp/qiwa-unescape-XXXXXX";
  const char* dir = mkdtemp(dir_template);
  if (!dir) return {};
  std::filesystem::path base(dir);
  std::ofstream(base / "oracle.js") << kOracleScript;
  {
    std::ofstream in(base / "in.txt");
    for (const auto& t : texts) in << "s:" << to_hex(t) << '\n';
  }
  std::string command = "node " + (base / "oracle.js").string() + " < " + (base / "in.txt").string() + " > " +
                        (base / "out.txt").string();
  std::vector<std::string> answers;
  if (std::system(command.c_str()) == 0) {
    std::ifstream out(base / "out.txt");
    for (std::string line; std::getline(out, line);) answers.push_back(line);
  }
  std::filesystem::remove_all(base);
  return answers;
}

std::string shown(std::u16string_view s) {
  std::string out;
  for (char16_t u : s) {
    if (u >= 0x20 && u < 0x7F) {
      out += static_cast<char>(u);
    } else {
      char buf[12];
      std::snprintf(buf, sizeof buf, "<%04x>", static_cast<unsigned>(u));
      out += buf;
    }
  }
  return out;
}

TEST(UnescapeTextOracle, MatchesAnEcmaScriptEngine) {
  if (std::system("node --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is not installed";
  constexpr std::size_t kCases = 4000;
  CaseGenerator generate(20261208);
  std::vector<Case> cases;
  std::vector<std::u16string> texts;
  for (std::size_t i = 0; i < kCases; ++i) {
    cases.push_back(generate.next());
    texts.push_back(cases.back().text);
    texts.push_back(cases.back().repaired);
  }
  std::vector<std::string> answers = ask_oracle(texts);
  ASSERT_EQ(answers.size(), texts.size()) << "node gave no full answer";

  std::size_t rejected = 0, failures = 0;
  for (std::size_t i = 0; i < kCases && failures < 10; ++i) {
    const Case& c = cases[i];
    const std::string& raw = answers[2 * i];
    const std::string& repaired = answers[2 * i + 1];
    Text input = utf16_to_utf8(c.text);
    SCOPED_TRACE("text: " + shown(c.text));
    ASSERT_EQ(raw == "throw", c.rejected) << "the engine and the generator disagree on rejection";
    ASSERT_EQ(repaired.rfind("ok:", 0), 0u) << "the engine rejects the repaired text " << shown(c.repaired);
    rejected += c.rejected;
    Text expected = utf16_to_utf8(from_hex(std::string_view(repaired).substr(3)));
    Text actual = unescape_text(input);
    if (actual != expected) {
      ++failures;
      ADD_FAILURE() << "expected " << shown(utf8_to_utf16(expected)) << "\n     got " << shown(utf8_to_utf16(actual));
    }
  }
  EXPECT_GT(rejected, kCases / 10);  // the lenient reading was exercised
}

}  // namespace
}  // namespace qiwa
