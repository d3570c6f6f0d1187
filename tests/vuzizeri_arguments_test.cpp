// Parsing of the recorder's command line down to the pixel sizes.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "vuzizeri/arguments.h"

namespace vuz {
namespace {

std::optional<Arguments> parse(std::string w, std::string h, std::string scale, std::string top,
                               std::string url = "https://example.org/") {
  return parseArguments({url, w, h, scale, top, "out.mp4"}).arguments;
}

TEST(ScaleSyntax, AcceptsStrtodFormsOnlyWhole) {
  std::setlocale(LC_ALL, "pt_BR.UTF-8");  // a comma locale must change nothing
  EXPECT_EQ(parseScale("2"), 2.0);
  EXPECT_EQ(parseScale("+1.5"), 1.5);
  EXPECT_EQ(parseScale("3e0"), 3.0);
  EXPECT_EQ(parseScale("0x1p1"), 2.0);
  EXPECT_TRUE(std::isinf(*parseScale("INF")));
  EXPECT_TRUE(std::isnan(*parseScale("nan")));
  for (const char* bad : {"", "2,5", "2x", "2 ", " 2", "\t2", "."})
    EXPECT_FALSE(parseScale(bad)) << bad;
  std::setlocale(LC_ALL, "C");
}

TEST(Arguments, ChecksAndSizes) {
  EXPECT_TRUE(parseArguments({"u", "1", "1", "1", "0"}).showUsage);
  EXPECT_TRUE(parse("+390", "844", "3", "47"));
  EXPECT_EQ(parse("0390", "844", "3", "47")->cssW, 390);
  for (auto* w : {"390px", "-390", "0", " 390", ""}) EXPECT_FALSE(parse(w, "844", "3", "47")) << w;
  EXPECT_FALSE(parse("390", "844", "2,5", "47"));
  EXPECT_FALSE(parse("390", "844", "0", "47"));
  EXPECT_FALSE(parse("390", "844", "-1", "47"));
  EXPECT_FALSE(parse("390", "844", "nan", "47"));
  EXPECT_FALSE(parse("390", "844", "inf", "47"));
  EXPECT_FALSE(parse("390", "844", "1e300", "47"));  // products beyond int64
  EXPECT_FALSE(parse("390", "844", "3e9", "47"));    // a window scale beyond int
  EXPECT_FALSE(parse("390", "844", "40", "47"));     // a screen beyond X11's 32767
  EXPECT_FALSE(parse("32688", "1", "1", "0"));
  EXPECT_EQ(parse("32687", "1", "1", "0")->windowScale, 1);
  EXPECT_EQ(parse("390", "844", "2.5", "47")->windowScale, 3);
  EXPECT_FALSE(parse("1", "1", "0.5", "0"));         // pxW would be 0
  EXPECT_FALSE(parse("390", "844", "3", "844"));
  EXPECT_FALSE(parse("390", "844", "3", "-1"));
  EXPECT_EQ(parse("390", "844", "3", "843")->contentH, 1);
  EXPECT_EQ(parse("390", "844", "3", "abc")->safeTop, 0);
  EXPECT_FALSE(parse("390", "844", "3", "47", ""));
  EXPECT_FALSE(parse("390", "844", "3", "47", "example.org"));

  auto sizes = pixelSizes(*parse("390", "844", "1.5", "47"));
  EXPECT_EQ(sizes->pxW, 585);
  EXPECT_EQ(sizes->pxH, 1266);
  EXPECT_EQ(sizes->bandPx, 70);
  EXPECT_EQ(sizes->contentPx, 1195);
}

}  // namespace
}  // namespace vuz
