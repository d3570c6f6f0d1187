// The phone as the recorder shows it and as the page sees it: the frame
// around the screen, the status bar, form controls, and the stores' sizes.

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "recorder_test.h"

namespace {

// Plane `p` at a point as 0 to 255, whatever the decoded depth: 0 is luma,
// 3 alpha.
int plane(const AVFrame& f, int p, int x, int y) {
  const int depth = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f.format))->comp[0].depth;
  const uint8_t* row = f.data[p] + y * f.linesize[p];
  return depth == 8 ? int{row[x]} : reinterpret_cast<const uint16_t*>(row)[x] >> (depth - 8);
}
int luma(const AVFrame& f, int x, int y) { return plane(f, 0, x, y); }
int alpha(const AVFrame& f, int x, int y) { return plane(f, 3, x, y); }

// The phone around the sample page at scale 3 and its status bar: the time
// reads as text on the page's dark band; the island sits where the phone
// has it, the corners and the margin show the background, never the page.
TEST_F(RecorderTest, ThePhoneAroundTheScreenAndItsStatusBar) {
  // An iPhone 15 at scale 3: the screen 1179 × 2556 px, 47 px of bezel and
  // 94 of margin around it; the island 126 × 37 pt, 11 pt down.
  MovieInfo m = record("framed.mp4", {"--barra-de-status", "--moldura", "--aparelho", "iphone-15",
                                      pageUrl("../../sample/index.html")});
  const AVFrame& f = *m.frames.front();
  ASSERT_EQ(std::tie(f.width, f.height), std::make_tuple(1461, 2838));
  const std::string time =
      readText(400, 177, [&](int x, int y) { return luma(f, 141 + x, 141 + y); });
  EXPECT_NE(time.find("9:41"), std::string::npos) << time;
  EXPECT_LT(luma(f, 1461 / 2, 141 + 29 * 3), 24) << "the island";
  EXPECT_GE(luma(f, 143, 143), 230) << "outside the rounded corner, the background";
  EXPECT_LT(luma(f, 141 - 20, 1419), 40) << "the bezel";
  for (int y = 0; y < f.height; y += 7)
    for (int x : {0, 40, 80, 1461 - 40})
      ASSERT_GE(luma(f, x, y), 230) << "the white background at " << x << "," << y;
}

// A light band on an iPhone SE (scale 2, square corners, no cutout), on
// nothing, in mov and webm, over a page that paints only its white top
// 40 px: alpha kept exactly, nothing where the page paints nothing in every
// frame; dark glyphs, and the bar's pixels the same from frame to frame.
TEST_F(RecorderTest, ALightBandOnNothingKeepsItsAlphaAndAStillBar) {
  for (const char* form : {"mov", "webm"}) {
    MovieInfo light =
        record(std::string("light.") + form,
               {"--barra-de-status", "--moldura", "--fundo-da-moldura", "transparente",
                "--fundo-transparente", "--formato", form, "--aparelho", "iphone-se",
                pageUrl("pattern.html", "h=100&bg=transparent&top=white")});
    const AVFrame &first = *light.frames.front(), &last = *light.frames.back();
    const int screen = 60 + 30;               // 750 px wide: 30 of bezel, 60 of margin
    const int paintedTop = screen + 40 + 40;  // below the 20 pt band
    for (const AVFrame* f : {&first, &last}) {
      EXPECT_EQ(alpha(*f, 2, 2), 0) << form << ": nothing around the phone";
      EXPECT_EQ(alpha(*f, f->width / 2, f->height / 2), 0) << form << ": no page";
      EXPECT_EQ(alpha(*f, f->width / 2, paintedTop), 255) << form << ": the page's top";
      EXPECT_GT(alpha(*f, f->width / 2, screen + 4), 240) << form << ": its band";
    }
    if (form != std::string("mov")) continue;
    const std::string time =
        readText(250, 40, [&](int x, int y) { return luma(first, screen + 250 + x, screen + y); });
    EXPECT_NE(time.find("9:41"), std::string::npos) << time;
    for (int y = screen; y < screen + 40; ++y)
      for (int x = screen; x < screen + 750; ++x)
        ASSERT_EQ(luma(first, x, y), luma(last, x, y)) << "the bar at " << x << "," << y;
  }
}

// A page painted half transparent keeps its own alpha in every frame, frame
// by frame in mov and webm and in real time in mov.
TEST_F(RecorderTest, AHalfTransparentPageKeepsItsAlpha) {
  const fs::path half = dir_ / "half.html";
  writeFile(half,
            "<html style='background:transparent'><body style='margin:0;background:none'>"
            "<div style='height:3000px;background:rgba(0,0,255,0.5)'></div></body></html>");
  for (const char* form : {"mov", "webm"})
    for (bool frameByFrame : {true, false}) {
      if (!frameByFrame && form != std::string("mov")) continue;
      std::vector<std::string> args = {"--velocidade", "1000", "--formato", form,
                                       "--fundo-transparente"};
      args.insert(args.end(), {"file://" + half.string(), "390", "844", "1", "47"});
      if (frameByFrame) args.insert(args.begin(), "--quadro-a-quadro");
      MovieInfo h = record(std::string("half.") + form, args);
      for (size_t i : {0, 5, 50})
        EXPECT_NEAR(alpha(*h.frames.at(i), 195, 422), 128, 10) << form << frameByFrame << i;
    }
}

// The page sees and draws the phone its user agent names: one block per
// property (see the page), each named here when it does not hold.
TEST_F(RecorderTest, ThePageSeesAndDrawsAPhone) {
  const std::string page = "/?w=390&h=844&dpr=3&lang=pt-BR";
  const std::string html = slurp(fs::path(TEST_PAGES_DIR) / "phone.html");
  PageServer server({{page, PageServer::Response{.body = html}}});
  MovieInfo m = record("phone.mp4", {server.url(page), "390", "844", "3", "47"});
  EXPECT_NE(server.request(page).find("\r\nAccept-Language: pt-BR"), std::string::npos);
  ASSERT_FALSE(m.frames.empty());
  const char* blocks[] = {
      "hover none",     "pointer coarse", "touch",    "platform", "screen",
      "pixel ratio",    "light scheme",   "language", "UI sans",  "Helvetica, Arial, Times",
      "Courier, Menlo", "colour emoji",   "Chinese",  "Japanese", "Korean"};
  // Rows of six 60 CSS px blocks, 5 px apart, under the 47 pt band.
  for (int i = 0; i < 15; ++i)
    EXPECT_TRUE(green(pixelAt(*m.frames.front(), 3 * (35 + i % 6 * 65), 3 * (82 + i / 6 * 65))))
        << blocks[i];
  // --idioma in place of LC_ALL's language.
  const std::string french = "/?w=390&h=844&dpr=1&lang=fr-FR";
  PageServer frenchServer({{french, PageServer::Response{.body = html}}});
  MovieInfo f =
      record("fr.mp4", {"--idioma", "fr-fr", frenchServer.url(french), "390", "844", "1", "47"});
  EXPECT_NE(frenchServer.request(french).find("\r\nAccept-Language: fr-FR"), std::string::npos);
  EXPECT_TRUE(green(pixelAt(*f.frames.front(), 35 + 65, 82 + 65))) << "language";
}

// Form controls are iOS Safari's, at scale 2 in en-US: a button's label
// system blue, a checked 30 px checkbox as large as its font and filled
// blue, a date written as iOS writes it; a button the page styles keeps its
// colours. --controles-do-motor keeps the engine's look.
TEST_F(RecorderTest, FormControlsLookAsOnAnIPhoneUnlessTheEngineIsAsked) {
  const fs::path form = dir_ / "form.html";
  writeFile(form,
            "<body style='margin:0'><div style='position:absolute;left:10px;top:10px'>"
            "<button style='font-size:30px'>Send</button></div>"
            "<input type=checkbox checked style='position:absolute;left:10px;top:80px;"
            "margin:0;font-size:30px'>"
            "<input type=date value=2026-12-10 style='position:absolute;left:10px;top:130px;"
            "font-size:20px'>"
            "<button style='position:absolute;left:200px;top:10px;font-size:30px;"
            "background:red;color:white'>Stop</button></body>");
  auto count = [](const AVFrame& f, int x0, int y0, int x1, int y1, Rgb want) {
    return countPixels(f, x0, y0, x1, y1, [&](Rgb c) {
      return std::abs(c.r - want.r) < 30 && std::abs(c.g - want.g) < 30 &&
             std::abs(c.b - want.b) < 30;
    });
  };
  for (bool engine : {false, true}) {
    std::vector<std::string> args = {"file://" + form.string(), "390", "300", "2", "0"};
    if (engine) args.insert(args.begin(), "--controles-do-motor");
    const MovieInfo c = record("form.mp4", args, {"LC_ALL=en_US.UTF-8"});
    const AVFrame& f = *c.frames.front();
    const Rgb blue = {0, 122, 255}, white = {255, 255, 255};
    EXPECT_EQ(count(f, 20, 20, 380, 140, blue) > 40, !engine) << "the button's label";
    // The checkbox, 60 px at (20, 160): blue inside its right edge, white
    // beside it, the checkmark white.
    EXPECT_EQ(count(f, 70, 185, 76, 195, blue) == 60, !engine) << "filled up to its edge";
    EXPECT_EQ(count(f, 84, 185, 90, 195, white), 60) << "no wider";
    if (!engine) {
      EXPECT_EQ(count(f, 44, 199, 48, 203, white), 16) << "the checkmark";
    }
    const std::string date =
        readText(400, 90, [&](int x, int y) { return lumaAt(f, 10 + x, 255 + y); });
    EXPECT_EQ(date.find("Dec 10, 2026") != std::string::npos, !engine) << date;
    // The styled button: its red face around the label, in either look, and
    // its white label.
    EXPECT_GT(count(f, 400, 20, 600, 90, {255, 0, 0}), 1500) << "the red face";
    EXPECT_GT(count(f, 470, 50, 520, 80, white), 50) << "the white label";
  }
}

// What ffprobe, FFmpeg's reader and not ours, says of a movie:
// "streams.stream.0.width" to "886" and so on.
std::map<std::string, std::string> ffprobe(const fs::path& movie) {
  const Outcome o = test_runs::run(
      "/usr/bin/ffprobe",
      {"-v", "error", "-show_entries",
       "stream=codec_type,codec_name,codec_tag_string,profile,level,width,height,r_frame_rate,"
       "avg_frame_rate,channels,sample_rate:format=duration",
       "-of", "flat", movie},
      movie.parent_path());
  EXPECT_EQ(o.status, 0) << o.err;
  std::map<std::string, std::string> keys;
  const std::regex line(R"re((\S+)="?([^"\n]*)"?)re");
  for (std::sregex_iterator i(o.out.begin(), o.out.end(), line), end; i != end; ++i)
    keys[(*i)[1]] = (*i)[2];
  return keys;
}

// A long page lands inside a store's 30 s, a short one reaches its 15 s, and
// the files are what the store measures: its size, 30 constant frames a
// second, H.264 High within level 4.0 (or ProRes 422 HQ in QuickTime), a
// stereo AAC track though no sound was given, the index first.
TEST_F(RecorderTest, StoreTargetsMakeWhatTheCheckerAndFfprobeAccept) {
  const fs::path longOut = dir_ / "long.mp4";
  const Outcome longRun = run({"--destino", "app-store-6.9", "--aparelho", "iphone-15", "--json",
                               pageUrl("pattern.html", "h=30000"), longOut});
  ASSERT_EQ(longRun.status, 0) << longRun.err;
  EXPECT_NE(longRun.out.find("\"destino\": {\"nome\": \"app-store-6.9\", \"largura\": 886, "
                             "\"altura\": 1920, \"poster\": {\"segundos\": 5, \"quadro\": 150}, "
                             "\"conforme\": true, \"falhas\": []}"),
            std::string::npos)
      << longRun.out;
  // The checker holds the size, codec, level, sound and index to the
  // store's rules (each told apart in store_check_test); ffprobe adds what
  // those rules leave open.
  std::map<std::string, std::string> p = ffprobe(longOut);
  EXPECT_EQ(p["streams.stream.0.profile"], "High");
  EXPECT_EQ(p["streams.stream.0.r_frame_rate"], "30/1");
  EXPECT_EQ(p["streams.stream.0.avg_frame_rate"], "30/1");
  EXPECT_EQ(p["streams.stream.1.sample_rate"], "48000");
  const double longSeconds = std::stod(p["format.duration"]);
  EXPECT_GE(longSeconds, 29.0) << "sped up to the window, no further";
  EXPECT_LE(longSeconds, 30.0);
  const Outcome checked =
      test_runs::run(VERIFICAR_BINARY, {"--destino", "app-store-6.9", longOut}, dir_);
  EXPECT_EQ(checked.status, 0) << checked.out << checked.err;

  const fs::path shortOut = dir_ / "short.mov";
  const Outcome shortRun = run({"--destino", "app-store-6.5", "--formato", "mov",
                                pageUrl("pattern.html", "h=200"), shortOut});
  ASSERT_EQ(shortRun.status, 0) << shortRun.err;
  p = ffprobe(shortOut);
  EXPECT_EQ(p["streams.stream.1.codec_name"], "aac");
  const double shortSeconds = std::stod(p["format.duration"]);
  EXPECT_GE(shortSeconds, 15.0) << "held to the window";
  EXPECT_LE(shortSeconds, 16.0);
  EXPECT_EQ(test_runs::run(VERIFICAR_BINARY, {"--destino", "app-store-6.5", shortOut}, dir_).status,
            0);
}

// The phone is centred on its background in a vertical video; a storyboard
// too short is held to the store's 15 s, one too long keeps its file and
// says why with status 3.
TEST_F(RecorderTest, StoreTargetsCentreThePhoneAndHoldStoryboards) {
  MovieInfo m =
      record("vertical.mp4", {"--destino", "vertical-1080", "--moldura", "--fundo-da-moldura",
                              "#223344", pageUrl("pattern.html", "h=200")});
  EXPECT_EQ(m.par->width, 1080);
  EXPECT_EQ(m.par->height, 1920);
  ASSERT_FALSE(m.frames.empty());
  for (auto [x, y] : {std::pair{4, 4}, {1075, 4}, {4, 1915}, {1075, 1915}, {30, 960}})
    expectColour(*m.frames.back(), x, y, {0x22, 0x33, 0x44}, 4);
  expectColour(*m.frames.back(), 540, 1100, {255, 255, 255});

  const fs::path storyboard = dir_ / "roteiro.txt";
  writeFile(storyboard, "pausa 1\n");
  const fs::path held = dir_ / "held.mp4";
  ASSERT_EQ(run({"--destino", "app-store-5.5", "--roteiro", storyboard,
                 pageUrl("pattern.html", "h=200"), held})
                .status,
            0);
  const double heldSeconds = std::stod(ffprobe(held)["format.duration"]);
  EXPECT_GE(heldSeconds, 15.0);
  EXPECT_LE(heldSeconds, 16.0);

  writeFile(storyboard, "pausa 31\n");
  const fs::path tooLong = dir_ / "too-long.mp4";
  const Outcome broken = run({"--destino", "app-store-5.5", "--roteiro", storyboard,
                              pageUrl("pattern.html", "h=200"), tooLong});
  EXPECT_EQ(broken.status, 3);
  EXPECT_EQ(broken.out.rfind("fora do destino: " + tooLong.string(), 0), 0u) << broken.out;
  EXPECT_NE(broken.err.find("duracao: 32,"), std::string::npos) << broken.err;
  EXPECT_NE(broken.err.find("; app-store-5.5 pede de 15 a 30 s"), std::string::npos) << broken.err;
  EXPECT_TRUE(fs::exists(tooLong)) << "the file is kept";
}

}  // namespace
