// The page's texts where a package's own names and title meet HTML, JavaScript and
// URLs, the choice of Ruffle's files, and the one-file form's embedded copies.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/file.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"
#include "webexport/show_page.h"

namespace {

std::vector<uint8_t> FromBase64(const std::string& text) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<uint8_t> out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    bits = (bits << 6) | static_cast<uint32_t>(alphabet.find(c));
    if ((count += 6) >= 8) {
      count -= 8;
      out.push_back(static_cast<uint8_t>(bits >> count));
    }
  }
  return out;
}

// What stands between `open` and the next `close` after it.
std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  size_t at = text.find(open);
  if (at == std::string::npos) return "(missing)";
  at += open.size();
  return text.substr(at, text.find(close, at) - at);
}

TEST(ShowPage, NamesAndTitlesCannotBreakOutOfTheirPlace) {
  struct Row {
    std::string text;
    std::string json;  // as a JSON string inside a script element
    std::string html;  // as HTML text
    std::string url;   // as a relative URL
  };
  const std::vector<Row> rows = {
      {"intro.swf", "\"intro.swf\"", "intro.swf", "intro.swf"},
      {"</script><!--x", "\"\\u003c/script\\u003e\\u003c!--x\"", "&lt;/script&gt;&lt;!--x",
       "%3C%2Fscript%3E%3C%21--x"},
      {"a \"b\" \\ & 'c'", "\"a \\\"b\\\" \\\\ \\u0026 'c'\"", "a &quot;b&quot; \\ &amp; &#39;c&#39;",
       "a%20%22b%22%20%5C%20%26%20%27c%27"},
      {"数据 \xC3\xBC.txt", "\"数据 \xC3\xBC.txt\"", "数据 \xC3\xBC.txt", "%E6%95%B0%E6%8D%AE%20%C3%BC.txt"},
      {"line\xE2\x80\xA8sep\n", "\"line\\u2028sep\\u000a\"", "line\xE2\x80\xA8sep\n", "line%E2%80%A8sep%0A"},
      {"bad\xFFutf8", "\"bad\xEF\xBF\xBDutf8\"", "bad\xFFutf8", "bad%FFutf8"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    vx::web::Show show;
    show.title = row.text;
    const std::string json = vx::web::ShowJson(show);
    EXPECT_EQ(json.substr(0, 9 + row.json.size()), "{\"title\":" + row.json);
    EXPECT_EQ(json.find_first_of("<>"), std::string::npos);
    EXPECT_EQ(vx::web::EscapeHtml(row.text), row.html);
    EXPECT_EQ(vx::web::UrlForName(row.text), row.url);
  }
}

TEST(ShowPage, RuffleIsItsScriptsWebAssemblyAndLicences) {
  vx::test::ScratchFolder dir("scratch dir.\xC3\xBC");
  const std::vector<std::string> all = {"ruffle.js", "core.ruffle.b.js", "core.ruffle.a.js", "x.wasm",
                                        "y.wasm",    "LICENSE_MIT",      "LICENSE_APACHE"};
  for (const std::string& name : all) vx::test::WriteWholeFile(dir / name, std::string("x"));
  for (const char* name : {"ruffle.js.map", "core.ruffle.a.js.map", "README.md", "package.json"})
    vx::test::WriteWholeFile(dir / name, std::string("x"));
  vx::CreateFolder(dir / "sub.wasm");

  vx::web::RuffleFiles found;
  std::string problem;
  ASSERT_TRUE(vx::web::FindRuffleFiles(dir.path(), found, problem)) << problem;
  EXPECT_EQ(found.all(), (std::vector<std::string>{"ruffle.js", "core.ruffle.a.js", "core.ruffle.b.js",
                                                   "x.wasm", "y.wasm", "LICENSE_APACHE", "LICENSE_MIT"}));

  for (const char* missing : {"ruffle.js", "LICENSE_APACHE", "x.wasm y.wasm"}) {
    SCOPED_TRACE(missing);
    vx::test::ScratchFolder partial("scratch dir.\xC3\xBC");
    for (const std::string& name : all)
      if (std::string(missing).find(name) == std::string::npos)
        vx::test::WriteWholeFile(partial / name, std::string("x"));
    EXPECT_FALSE(vx::web::FindRuffleFiles(partial.path(), found, problem));
    EXPECT_NE(problem.find("Ruffle's files are missing"), std::string::npos);
  }
  EXPECT_FALSE(vx::web::FindRuffleFiles(dir / "none", found, problem));
}

TEST(ShowPage, TheOneFileFormCarriesEveryFileWhole) {
  vx::test::ScratchFolder dir("scratch dir.\xC3\xBC");
  vx::CreateFolder(dir / "ruffle");
  vx::test::WriteWholeFile(dir / "ruffle/ruffle.js", std::string("var s = '</script><p>';"));
  vx::test::WriteWholeFile(dir / "ruffle/a.wasm", std::string("\0asm", 4));
  vx::test::WriteWholeFile(dir / "ruffle/LICENSE_MIT", std::string("MIT text"));
  vx::test::WriteWholeFile(dir / "ruffle/LICENSE_APACHE", std::string("Apache text"));
  std::vector<uint8_t> every(256 * 3 + 1);
  for (size_t i = 0; i < every.size(); ++i) every[i] = static_cast<uint8_t>(i * 7);
  vx::test::WriteWholeFile(dir / "data.bin", every);

  vx::web::RuffleFiles ruffle;
  std::string problem;
  ASSERT_TRUE(vx::web::FindRuffleFiles(dir / "ruffle", ruffle, problem)) << problem;
  vx::web::Show show;
  show.title = "Show <1>";
  ASSERT_TRUE(vx::web::WriteSingleFilePage(dir / "show.html", show, {{"a<\"b\">.bin", dir / "data.bin"}},
                                           ruffle, problem))
      << problem;
  const std::string page = vx::test::ReadWholeFile<std::string>(dir / "show.html");
  EXPECT_EQ(Between(page, "<title>", "</title>"), "Show &lt;1&gt;");
  EXPECT_EQ(FromBase64(Between(page, "data-name=\"a&lt;&quot;b&quot;&gt;.bin\">", "</script>")), every);
  EXPECT_EQ(Between(page, "data-name=\"a.wasm\" data-type=\"application/wasm\">", "</script>"), "AGFzbQ==");
  EXPECT_NE(page.find("MIT text"), std::string::npos);
  EXPECT_NE(page.find("Apache text"), std::string::npos);
  // Ruffle's script is inline and cannot end its element early.
  EXPECT_NE(page.find("var s = '<\\/script><p>';"), std::string::npos);
  EXPECT_EQ(page.find("'</script>"), std::string::npos);
}

}  // namespace
