// Storyboards on a page of a menu, a search box, a login form and more
// (tests/pages/story.html, its query adding parts), at scale 1 under a 47 px
// band: taps, typing and the keyboard, gestures, captions, pickers, a login.

#include "recorder_test.h"

namespace {

// The clicks the page's fixed strip logged: r for the menu's button, b for
// its third item, - for none yet.
std::string clicksLogged(const AVFrame& last) {
  std::string marks;
  for (int x : {5, 20, 35}) {
    const Rgb p = pixelAt(last, x, 844 - 5);
    marks += p.r > 200 && p.b < 80 ? 'r' : p.b > 200 && p.r < 80 ? 'b' : p.r > 200 ? '-' : '?';
  }
  return marks;
}

// The centre of what changed between two frames near (x, y), in CSS px.
std::pair<double, double> discCentre(const AVFrame& before, const AVFrame& at, int x, int y) {
  const auto [n, cx, cy] = blob(x - 30, y - 30, x + 31, y + 31, [&](int u, int v) {
    const Rgb a = pixelAt(before, u, v), b = pixelAt(at, u, v);
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 30;
  });
  return {cx, cy};
}

bool yellow(Rgb c) { return c.r > 200 && c.g > 150 && c.b < 80; }
bool keyboardUp(const AVFrame& f) {
  const Rgb c = pixelAt(f, 195, 844 - 20);
  return c.r > 150 && c.r < 235;
}
// The page's bar of its visual viewport's height, a pixel for 4 CSS px.
int viewBar(const AVFrame& f) { return barFromLeft(f, 47 + 5); }
// The first and last rows of the orange field low on the page.
std::pair<int, int> orangeRows(const AVFrame& f) {
  std::pair<int, int> rows{844, 0};
  for (int y = 47; y < 844; ++y)
    if (const Rgb c = pixelAt(f, 100, y); c.r > 200 && c.g > 90 && c.g < 170 && c.b < 80)
      rows = {std::min(rows.first, y), y};
  return rows;
}
// The magenta box's pixels and their centre.
std::array<double, 3> magenta(const AVFrame& f) {
  return blob(0, 47, 390, 844, [&](int x, int y) {
    const Rgb c = pixelAt(f, x, y);
    return c.r > 200 && c.g < 80 && c.b > 200;
  });
}

// The level (dB) of a movie's sound from `from` for `seconds` through
// `filters`, as FFmpeg's astats measures it over both channels.
double levelThrough(const fs::path& movie, double from, double seconds,
                    const std::string& filters) {
  const Outcome o = test_runs::run(
      "/usr/bin/ffmpeg",
      {"-hide_banner", "-nostats", "-ss", std::to_string(from), "-t", std::to_string(seconds), "-i",
       movie, "-vn", "-af", filters + ",astats", "-f", "null", "-"},
      movie.parent_path());
  std::smatch m;
  std::string::const_iterator at = o.err.begin();
  double level = 0;  // the last is the overall one
  while (std::regex_search(at, o.err.end(), m, std::regex(R"(RMS level dB: (-?[0-9.]+|-inf))"))) {
    level = m[1] == "-inf" ? -200 : std::stod(m[1]);
    at = m[0].second;
  }
  return level;
}
constexpr char kSpeechBand[] =
    "highpass=f=300,highpass=f=300,highpass=f=300,lowpass=f=3400,lowpass=f=3400";
constexpr char kToneBand[] = "lowpass=f=90,lowpass=f=90,lowpass=f=90,lowpass=f=90";

// A step's time in the JSON report.
double stepSeconds(const std::string& json, const std::string& step) {
  std::smatch m;
  EXPECT_TRUE(std::regex_search(json, m,
                                std::regex("\"passo\": \"" + step + "\", \"segundos\": ([0-9.]+)")))
      << step << " in " << json;
  return m.empty() ? -1 : std::stod(m[1]);
}

class StoryboardTest : public RecorderTest {
 protected:
  // A storyboard file of `steps`, named `name` in the run's folder.
  std::string storyboard(const std::string& name, const std::string& steps) {
    writeFile(dir_ / name, steps);
    return (dir_ / name).string();
  }
  // A run of `page` at 390 × 844, scale 1, under a 47 px band, `options` first.
  Outcome runOn(std::vector<std::string> options, const std::string& page, const fs::path& out,
                const std::vector<std::string>& env = {}) {
    options.insert(options.end(), {page, "390", "844", "1", "47", out});
    return run(options, env);
  }
  MovieInfo recordOn(const std::vector<std::string>& options, const std::string& page,
                     const std::string& name) {
    return recorded(runOn(options, page, dir_ / name), dir_ / name);
  }
  // Dark words on light in rows [y0, y0 + h) across the screen.
  std::string wordsIn(const AVFrame& f, int y0, int h) {
    return readText(
        390, h, [&](int x, int y) { return 255 - lumaAt(f, x, y0 + y); }, "6");
  }
  // The keyboard's rows of keys, read at twice their size, without spaces.
  std::string keysOn(const AVFrame& f) {
    const int top = 844 - 335 + 44;
    std::string text = readText(
        780, 432, [&](int x, int y) { return pixelAt(f, x / 2, top + y / 2).g; }, "6");
    std::erase_if(text, [](char c) { return c == ' '; });
    return text;
  }
  // Three white keys along the first row, by their tops, and no letters.
  void expectNumberPad(const AVFrame& pad) {
    ASSERT_TRUE(keyboardUp(pad));
    int keysAcross = 0;
    for (int x = 1; x < 390; ++x)
      keysAcross +=
          pixelAt(pad, x, 844 - 291 + 9).r > 245 && pixelAt(pad, x - 1, 844 - 291 + 9).r <= 245;
    EXPECT_EQ(keysAcross, 3) << "the number pad";
    EXPECT_EQ(keysOn(pad).find("qwert"), std::string::npos);
  }
  // A chapter and a caption, then a title card: in the movie's chapters and
  // the WebVTT `cues` at the steps' times, on screen while they show.
  void expectCaptions(const MovieInfo& g, const std::string& cues) {
    ASSERT_EQ(g.chapters.size(), 2u);
    EXPECT_EQ(g.chapters[0], std::make_pair(std::string("Início"), 0.0));
    EXPECT_EQ(g.chapters[1].first, "Palavras");
    EXPECT_NEAR(g.chapters[1].second, 2.1, 1.0 / 60);
    EXPECT_EQ(cues,
              "WEBVTT\n\n1\n00:00:02.100 --> 00:00:03.100\nToque para abrir \xF0\x9F\x98\x80\n\n"
              "2\n00:00:03.100 --> 00:00:03.600\nFim do passeio\n");
    EXPECT_NE(wordsIn(*g.frames[150], 750, 94).find("Toque para abrir"), std::string::npos);
    int emojiRows = 0;  // the caption's emoji, as high as its words
    for (int y = 600; y < 844; ++y)
      emojiRows += countPixels(*g.frames[150], 0, y, 390, y + 1, yellow) > 0;
    EXPECT_NEAR(emojiRows, 18, 4);
    EXPECT_EQ(wordsIn(*g.frames.back(), 750, 94).find("Toque"), std::string::npos) << "gone";
    EXPECT_NE(wordsIn(*g.frames[200], 400, 100).find("Fim do passeio"), std::string::npos);
  }

  const std::string page_ = pageUrl("story.html");
  const std::string menu_ = storyboard(
      "menu.txt", "pausa 0.5\ntocar .abrir-menu\npausa 1\ntocar .item-3\nrolar-ate fim\n");
};

// Frame by frame the menu opens at the tap's frame, the disc is centred on
// what was tapped, the page got one click a tap, and so does the sound.
TEST_F(StoryboardTest, TapsLandAtTheirFrameUnderADisc) {
  const fs::path out = dir_ / "menu.mp4";
  const Outcome framed =
      runOn({"--quadro-a-quadro", "--json", "--velocidade", "2000", "--sons", "--roteiro", menu_},
            page_, out);
  ASSERT_EQ(framed.status, 0) << framed.err;
  EXPECT_NE(framed.out.find(R"({"linha": 2, "passo": "tocar .abrir-menu", "segundos": 0.5}, )"
                            R"({"linha": 3, "passo": "pausa 1", "segundos": 0.65}, )"
                            R"({"linha": 4, "passo": "tocar .item-3", "segundos": 1.65})"),
            std::string::npos)
      << framed.out;
  MovieInfo m = probeMovie(out);
  ASSERT_GT(m.frames.size(), 120u);
  expectColour(*m.frames[29], 200, 47 + 150, {255, 255, 255});
  expectColour(*m.frames[30], 200, 47 + 150, {0, 0, 204}, 16);  // open at the tap's frame
  auto [bx, by] = discCentre(*m.frames[29], *m.frames[30], 80, 47 + 40);
  EXPECT_NEAR(bx, 80, 2);
  EXPECT_NEAR(by, 47 + 40, 2);
  auto [ix, iy] = discCentre(*m.frames[98], *m.frames[99], 195, 47 + 234);
  EXPECT_NEAR(ix, 195, 2);
  EXPECT_NEAR(iy, 47 + 234, 2);
  EXPECT_EQ(clicksLogged(*m.frames.back()), "rb-");
  ASSERT_TRUE(m.sound);
  const std::vector<double> sounds = soundOnsets(m.sound->left);
  ASSERT_EQ(sounds.size(), 2u);
  EXPECT_NEAR(sounds[0], 0.5, 0.03);
  EXPECT_NEAR(sounds[1], 1.65, 0.03);
}

// With a zoom on each touch the taps still land, the camera in on them;
// zoomed on one element, a tap on another the camera does not show sends
// the camera to it first; in real time the same steps give the same clicks,
// heard at their moments.
TEST_F(StoryboardTest, TapsLandZoomedPannedAndInRealTime) {
  const fs::path zoomedMenu = dir_ / "zoomed-menu.mp4";
  const Outcome zoomedRun = runOn({"--quadro-a-quadro", "--json", "--velocidade", "2000",
                                   "--zoom-nos-toques", "2", "--roteiro", menu_},
                                  page_, zoomedMenu);
  EXPECT_NE(zoomedRun.out.find(
                R"x({"linha": 2, "passo": "zoom .abrir-menu .item-3 2 (--zoom-automatico)", )x"
                R"x("segundos": 0.5}, {"linha": 2, "passo": "tocar .abrir-menu", )x"
                R"x("segundos": 0.9})x"),
            std::string::npos)
      << zoomedRun.out;
  EXPECT_EQ(clicksLogged(*probeMovie(zoomedMenu).frames.back()), "rb-");
  const MovieInfo p =
      recordOn({"--quadro-a-quadro", "--roteiro",
                storyboard("panned.txt", "zoom #alvo 4\ntocar .abrir-menu\nzoom 1\n")},
               pageUrl("story.html", "gestos=1"), "panned.mp4");
  EXPECT_EQ(clicksLogged(*p.frames.back()), "r--");
  const Outcome live = runOn({"--velocidade", "2000", "--json", "--sons", "--roteiro", menu_},
                             page_, dir_ / "l.mp4");
  ASSERT_EQ(live.status, 0) << live.err;
  MovieInfo l = probeMovie(dir_ / "l.mp4");
  EXPECT_EQ(clicksLogged(*l.frames.back()), "rb-");
  // Each click where the report has its tap, on the frames' clock.
  ASSERT_TRUE(l.sound);
  const std::vector<double> clicks = soundOnsets(l.sound->left);
  ASSERT_EQ(clicks.size(), 2u);
  EXPECT_NEAR(clicks[0], stepSeconds(live.out, "tocar .abrir-menu"), 0.03);
  EXPECT_NEAR(clicks[1], stepSeconds(live.out, "tocar .item-3"), 0.03);
}

// Typed text grows by one key every six frames, a tick with each; text that
// matches --redigir-texto is covered as the key that makes it match lands:
// the field's text, dark on white, no longer shows. With --textos, what is
// typed and shown is the language's.
TEST_F(StoryboardTest, TypingGrowsAKeyEverySixFramesAndIsCoveredOnceItMatches) {
  MovieInfo t =
      recordOn({"--quadro-a-quadro", "--redigir-texto", "zize", "--sem-teclado", "--sons",
                "--roteiro", storyboard("busca.txt", "pausa 0.2\ndigitar #busca vuzizeri\n")},
               page_, "typed.mp4");
  ASSERT_TRUE(t.sound);
  const std::vector<double> ticks = soundOnsets(t.sound->left);
  ASSERT_EQ(ticks.size(), 8u);
  for (size_t i = 0; i < ticks.size(); ++i) EXPECT_NEAR(ticks[i], 0.2 + 0.1 * i, 0.03) << i;
  auto ink = [&](int frame) {
    return countPixels(*t.frames[frame], 22, 350, 300, 372, [](Rgb c) { return c.g < 100; });
  };
  EXPECT_GT(ink(36), 20);  // "vuzi"
  for (int frame = 0; frame < 80; ++frame) {
    const int keys = frame < 12 ? 0 : std::min(8, (frame - 12) / 6 + 1);
    EXPECT_NEAR(barFromLeft(*t.frames[frame], 47 + 360, 120), 10 * keys, 1) << "frame " << frame;
    if (frame >= 42) {
      EXPECT_EQ(ink(frame), 0) << "frame " << frame;
    }
  }
  EXPECT_GT(pixelAt(*t.frames[60], 195, 844 - 20).r, 240) << "no keyboard";
  // --textos in --idioma's language, not LC_ALL's: the caption and the keys
  // typed are French; a language or a key the table lacks ends the run
  // before the page loads.
  writeFile(dir_ / "t.tsv", "chave\tpt-BR\tfr\noi\tOi\tBonjour\nfim\tFim\tAu revoir\n");
  const std::string said = storyboard("t.txt", "digitar #busca {oi}\nlegenda 0.5 {fim}\n");
  auto textsRun = [&](const std::string& language, const std::string& steps) {
    return runOn({"--velocidade", "2000", "--sem-teclado", "--idioma", language, "--textos",
                  dir_ / "t.tsv", "--legendas", dir_ / "t.vtt", "--roteiro", steps},
                 page_, dir_ / "t.mp4");
  };
  MovieInfo fr = recorded(textsRun("fr-FR", said), dir_ / "t.mp4");
  EXPECT_NEAR(barFromLeft(*fr.frames.back(), 47 + 360, 120), 70, 1) << "Bonjour";
  EXPECT_NE(slurp(dir_ / "t.vtt").find("\nAu revoir\n"), std::string::npos);
  const Outcome german = textsRun("de-DE", said);
  EXPECT_EQ(std::tie(german.status, german.err),
            std::make_tuple(2, "--textos " + (dir_ / "t.tsv").string() +
                                   ": não tem a coluna do idioma de-DE\n"));
  const Outcome unknown = textsRun("pt-BR", storyboard("u.txt", "pausa 1\ntitulo 1 {nada}\n"));
  EXPECT_EQ(std::tie(unknown.status, unknown.err),
            std::make_tuple(2, "--roteiro " + (dir_ / "u.txt").string() +
                                   ", linha 2: {nada} não está em --textos\n"));
}

// A swipe that the page follows, one it lets scroll a strip, a press held
// a second, each read back from the page's bars; a highlight's ring; a
// caption read while it shows, its emoji as high as its words, and a title
// card after it, both in the WebVTT file at the steps' times; a zoom.
TEST_F(StoryboardTest, GesturesAHighlightCaptionsAndAZoom) {
  const fs::path cues = dir_ / "cues.vtt";
  MovieInfo g = recordOn(
      {"--quadro-a-quadro", "--legendas", cues, "--roteiro",
       storyboard("gestos.txt",
                  "pausa 0.2\ndeslizar #carrossel esquerda 200\ntocar-longo #segurar 1\n"
                  "deslizar #faixa esquerda 160\ndestaque #alvo 0.3\npausa 0.3\ncapitulo Palavras\n"
                  "legenda 1 Toque para abrir \xF0\x9F\x98\x80\n"
                  "pausa 1\ntitulo 0.5 Fim do passeio\nzoom #alvo 2\npausa 0.5\nzoom 1\n")},
      pageUrl("story.html", "gestos=1"), "gestures.mp4");
  ASSERT_GT(g.frames.size(), 220u);
  const AVFrame& last = *g.frames.back();
  EXPECT_GE(barFromLeft(last, 47 + 605), 40) << "at least 10 touchmoves";
  EXPECT_NEAR(barFromLeft(last, 47 + 625), 50, 5) << "the carousel followed the finger 200 px";
  EXPECT_NEAR(barFromLeft(last, 47 + 645), 40, 4) << "the strip scrolled 160 px under it";
  EXPECT_NEAR(barFromLeft(last, 47 + 665), 100, 10) << "held a second";
  auto ring = [](const AVFrame& f) { return countPixels(f, 151, 47 + 236, 239, 47 + 304, yellow); };
  EXPECT_GT(ring(*g.frames[118]), 200);
  EXPECT_EQ(ring(*g.frames[100]), 0);
  expectCaptions(g, slurp(cues));
  // Zoomed twice, the box is four times as large and centred in the view;
  // after zoom 1, as it was.
  const auto zoomed = magenta(*g.frames[258]), after = magenta(last);
  EXPECT_NEAR(zoomed[0], 4 * 60 * 40, 0.15 * 4 * 60 * 40);
  EXPECT_NEAR(zoomed[1], 195, 40);
  EXPECT_NEAR(zoomed[2], 47 + 797 / 2.0, 40);
  EXPECT_NEAR(after[0], 60 * 40, 0.15 * 60 * 40);
}

// A tap on a select opens iOS's menu of its options under it; escolher
// picks one, then a date, and the page's change handlers see both.
TEST_F(StoryboardTest, ATappedSelectShowsItsOptionsAndEscolherPicks) {
  MovieInfo c = recordOn({"--quadro-a-quadro", "--roteiro",
                          storyboard("escolha.txt",
                                     "pausa 0.2\ntocar #cor\npausa 1\nescolher #cor Azul\n"
                                     "escolher #dia 2026-12-24\npausa 0.5\n")},
                         pageUrl("story.html", "escolha=1"), "chosen.mp4");
  EXPECT_EQ(wordsIn(*c.frames[6], 47 + 468, 180).find("Amarelo"), std::string::npos);
  // escolher picks from the menu the tap left open: no second tap on the
  // select (its centre as it was before escolher began at 1.35 s).
  for (int frame : {82, 88})
    expectColour(*c.frames[frame], 120, 47 + 440, pixelAt(*c.frames[78], 120, 47 + 440), 6);
  const std::string options = wordsIn(*c.frames[60], 47 + 468, 180);
  for (const char* option : {"Vermelho", "Azul", "Amarelo"})
    EXPECT_NE(options.find(option), std::string::npos) << options;
  EXPECT_NE(wordsIn(*c.frames.back(), 47 + 110, 50).find("Azul 2026-12-24 4"), std::string::npos);
  const std::string select = wordsIn(*c.frames.back(), 47 + 420, 40);
  EXPECT_NE(select.find("Azul"), std::string::npos) << "the select shows it too: " << select;
}

// The keyboard, up while digitar types into a field low on the page, which
// is brought above it, the page's visual viewport as much shorter; its keys
// popping up, but none of a password from the environment; gone within
// 0.6 s of a tap elsewhere; the number pad for a numeric field.
TEST_F(StoryboardTest, TheKeyboardRisesUnderAFieldAndGoesOnATapElsewhere) {
  const fs::path keyed = dir_ / "keyed.mp4";
  const Outcome keyedRun =
      runOn({"--quadro-a-quadro", "--json", "--velocidade", "2000", "--roteiro",
             storyboard("teclado.txt",
                        "pausa 0.2\ndigitar #baixo Vuzo\ndigitar #segredo $SEGREDO_DO_TESTE\n"
                        "pausa 0.3\ntocar #fora\npausa 0.8\ndigitar #numero 42\npausa 0.5\n")},
            pageUrl("story.html", "teclado=1"), keyed, {"SEGREDO_DO_TESTE=oooo"});
  ASSERT_EQ(keyedRun.status, 0) << keyedRun.err;
  MovieInfo k = probeMovie(keyed);
  ASSERT_GT(k.frames.size(), 200u);
  EXPECT_FALSE(keyboardUp(*k.frames[11]));
  EXPECT_GT(orangeRows(*k.frames[11]).second, 844 - 335) << "under the keyboard's place";
  EXPECT_NEAR(viewBar(*k.frames[11]), 797 / 4, 1);
  ASSERT_TRUE(keyboardUp(*k.frames[33]));
  EXPECT_LT(orangeRows(*k.frames[33]).second, 844 - 335) << "brought above it";
  EXPECT_NEAR(viewBar(*k.frames[33]), (797 - 335) / 4, 1);
  // The o's balloon rises over the predictive bar while it is pressed.
  auto popped = [&](int frame) { return pixelAt(*k.frames[frame], 308, 844 - 335 + 8).r > 245; };
  EXPECT_TRUE(popped(33));
  for (int frame : {40, 46, 52, 58}) EXPECT_FALSE(popped(frame)) << "a secret, frame " << frame;
  const std::string letters = keysOn(*k.frames[61]);
  EXPECT_NE(letters.find("qwert"), std::string::npos) << letters;
  EXPECT_NE(letters.find("asdfg"), std::string::npos) << letters;
  const size_t tapAt = keyedRun.out.find(R"("tocar #fora", "segundos": )");
  ASSERT_NE(tapAt, std::string::npos) << keyedRun.out;
  const int tapFrame =
      static_cast<int>(std::lround(60 * std::stod(keyedRun.out.substr(tapAt + 27))));
  EXPECT_TRUE(keyboardUp(*k.frames[tapFrame - 1]));
  EXPECT_FALSE(keyboardUp(*k.frames[tapFrame + 36])) << "gone 0.6 s after the tap";
  EXPECT_NEAR(viewBar(*k.frames[tapFrame + 36]), 797 / 4, 1);
  expectNumberPad(*k.frames.back());
}

// --zoom-automatico on two nearby taps 0.8 s apart and a far one 3 s later:
// zoomed on the first two between them and just after, the whole view in
// the idle stretch, zoomed on the far square, near the middle, after its tap.
TEST_F(StoryboardTest, TheAutomaticZoomFollowsTapsCloseInTimeAndRests) {
  writeFile(dir_ / "squares.html",
            "<body style='margin:0;height:2000px'><style>div{position:absolute;width:60px;"
            "height:60px}</style><div id=a style='left:40px;top:200px;background:red'></div>"
            "<div id=b style='left:140px;top:200px;background:red'></div>"
            "<div id=c style='left:240px;top:680px;background:#0f0'></div></body>");
  const Outcome r =
      runOn({"--quadro-a-quadro", "--json", "--zoom-automatico", "--roteiro",
             storyboard("auto.txt",
                        "pausa 0.5\ntocar #a\npausa 0.8\ntocar #b\npausa 3\ntocar #c\n"
                        "pausa 1\n")},
            "file://" + (dir_ / "squares.html").string(), dir_ / "auto.mp4");
  ASSERT_EQ(r.status, 0) << r.err;
  const MovieInfo m = probeMovie(dir_ / "auto.mp4");
  auto at = [&](double seconds) -> const AVFrame& { return *m.frames.at(seconds * 60); };
  auto squares = [&](double seconds, bool green) {
    return blob(0, 47, 390, 844, [&](int x, int y) {
      const Rgb c = pixelAt(at(seconds), x, y);
      return green ? c.g > 200 && c.r < 80 : c.r > 200 && c.g < 80;
    });
  };
  const double first = stepSeconds(r.out, "tocar #a"), second = stepSeconds(r.out, "tocar #b");
  const double far = stepSeconds(r.out, "tocar #c");
  EXPECT_NEAR(second - first, 0.95, 0.02);
  const double whole = 2 * 60 * 60;
  for (double t : {(first + second) / 2, second + 0.5})
    EXPECT_NEAR(squares(t, false)[0], 4 * whole, 0.15 * 4 * whole) << "zoomed at " << t;
  EXPECT_NEAR(squares(second + 2.5, false)[0], whole, 0.05 * whole) << "the whole view";
  const auto [n, x, y] = squares(far + 0.8, true);
  EXPECT_NEAR(n, 4 * 3600, 0.15 * 4 * 3600) << "zoomed on the far square";
  EXPECT_NEAR(x, 195, 30);
  EXPECT_NEAR(y, 47 + 797 / 2, 60);
}

// The keyboard in real time, and dark with --esquema escuro; zoomed in on
// the field while it types, the field is above the keyboard once the camera
// is back.
TEST_F(StoryboardTest, TheKeyboardDarkInRealTimeAndClearOfTheFieldAfterAZoom) {
  MovieInfo dk = recordOn({"--esquema", "escuro", "--velocidade", "2000", "--roteiro",
                           storyboard("escuro.txt", "pausa 0.2\ndigitar #busca ab\npausa 0.6\n")},
                          page_, "dark-keys.mp4");
  const Rgb under = pixelAt(*dk.frames.back(), 195, 844 - 20);
  EXPECT_LT(under.r + under.g + under.b, 3 * 60);
  EXPECT_GT(pixelAt(*dk.frames.back(), 5, 300).r, 240) << "the page stays white";
  MovieInfo zk = recordOn({"--quadro-a-quadro", "--zoom-nos-toques", "2", "--roteiro",
                           storyboard("zoom-teclado.txt", "digitar #baixo oi\npausa 0.3\n")},
                          pageUrl("story.html", "teclado=1"), "zoomed-keys.mp4");
  ASSERT_TRUE(keyboardUp(*zk.frames.back()));
  const auto [fieldTop, fieldBottom] = orangeRows(*zk.frames.back());
  EXPECT_GT(fieldBottom, fieldTop) << "the field shows";
  EXPECT_LT(fieldBottom, 844 - 335) << "above the keyboard";
}

// A login before the recording is not filmed, and its password, taken from
// the environment, shows in no process's arguments, no report and no file.
TEST_F(StoryboardTest, ALoginBeforeTheRecordingIsNotFilmedNorItsPasswordSeen) {
  const std::string password = "p4ss-de-teste";
  const std::string login = storyboard(
      "login.txt", "digitar #usuario ana\ndigitar #senha $SENHA_DO_TESTE\ntocar #entrar\nantes\n");
  const fs::path in = dir_ / "in.mp4";
  const pid_t pid = start({"--quadro-a-quadro", "--roteiro", login,
                           pageUrl("story.html", "login=1"), "390", "844", "1", "47", in},
                          "login", {"SENHA_DO_TESTE=" + password});
  std::string seen;
  const fs::path state = "/proc/" + std::to_string(pid) + "/stat";
  for (int i = 0; i < 200 && slurp(state).find(") Z ") == std::string::npos; ++i) {
    for (const auto& process : fs::directory_iterator("/proc"))
      if (slurp(process.path() / "cmdline").find(password) != std::string::npos)
        seen += process.path().string() + " ";
    usleep(50000);
  }
  const Outcome logged = wait(pid, dir_, "login");
  EXPECT_EQ(seen, "") << "the password in an argument list";
  MovieInfo li = recorded(logged, in);
  expectColour(*li.frames.front(), 300, 47 + 50, {0, 170, 0}, 16);  // logged in, not filmed
  EXPECT_EQ((logged.out + logged.err + slurp(in)).find(password), std::string::npos);
}

// Two narrations over a steady 60 Hz tone, taps and typing between them:
// the voice paces the storyboard, the tone gives way to it, the clicks and
// ticks come at their moments, the whole is levelled, and both lines are
// cues. A voice that fails ends the run before anything is recorded.
TEST_F(StoryboardTest, NarrationPacesTheStoryOverMusicThatGivesWay) {
  const fs::path tone = dir_ / "tone.wav", out = dir_ / "narrated.mp4", vtt = dir_ / "n.vtt";
  const char* wav =
      "import math, struct, sys, wave; w = wave.open(sys.argv[1], 'wb'); w.setparams((1, 2, 48000, "
      "0, 'NONE', '')); w.writeframes(b''.join(struct.pack('<h', int(8000 * math.sin(2 * math.pi "
      "* 60 * i / 48000))) for i in range(48000)))";
  ASSERT_EQ(test_runs::run("/usr/bin/python3", {"-c", wav, tone}, dir_).status, 0);
  const std::string first = "Este é o vuzizeri, gravando a página",
                    story =
                        storyboard("narrado.txt",
                                   "pausa 1.5\nnarrar " + first +
                                       "\ntocar .abrir-menu\npausa 0.5\ntocar "
                                       ".item-3\ndigitar #busca vuzi\nnarrar Pronto.\npausa 2.5\n");
  const Outcome r = runOn({"--quadro-a-quadro", "--json", "--sons", "--audio", tone, "--legendas",
                           vtt, "--roteiro", story},
                          page_, out);
  ASSERT_EQ(r.status, 0) << r.err;
  // espeak-ng's own length of the sentence (16-bit mono at 22050 Hz).
  const fs::path said = dir_ / "said.wav";
  test_runs::Options input;
  input.input.assign(first.begin(), first.end());
  ASSERT_EQ(
      test_runs::run("/usr/bin/espeak-ng", {"-v", "pt-br", "-w", said, "--stdin"}, dir_, input)
          .status,
      0);
  const double spoken = static_cast<double>(fs::file_size(said) - 44) / 2 / 22050;
  const double voice = stepSeconds(r.out, "narrar " + first);
  const double tap = stepSeconds(r.out, "tocar .abrir-menu"),
               tap2 = stepSeconds(r.out, "tocar .item-3");
  const double typing = stepSeconds(r.out, "digitar #busca vuzi");
  EXPECT_GE(tap - voice, spoken - 0.01);
  EXPECT_LT(tap - voice, spoken + 0.1);
  const std::string cues = slurp(vtt);
  EXPECT_NE(cues.find(first), std::string::npos) << cues;
  EXPECT_NE(cues.find("Pronto."), std::string::npos) << cues;

  const MovieInfo m = probeMovie(out);
  ASSERT_TRUE(m.sound);
  const double seconds = static_cast<double>(m.sound->left.size()) / 48000;
  const test_runs::Loudness heard = test_runs::measuredLoudness(out, 0, seconds - 2);
  EXPECT_NEAR(heard.integrated, -16, 1);
  EXPECT_LE(heard.truePeak, -1);
  // Voice over the tone alone, and the tone under the voice against alone.
  EXPECT_GE(levelThrough(out, voice + 0.3, spoken - 0.6, kSpeechBand) -
                levelThrough(out, 0.2, 1, kSpeechBand),
            15);
  EXPECT_GE(levelThrough(out, 0.2, 1, kToneBand) -
                levelThrough(out, voice + 0.3, spoken - 0.6, kToneBand),
            9);
  // Clicks and ticks, heard through a second difference that leaves the
  // tone out, between the two lines.
  std::vector<float> edges(m.sound->left.size());
  for (size_t i = 2; i < edges.size(); ++i)
    edges[i] = m.sound->left[i] - 2 * m.sound->left[i - 1] + m.sound->left[i - 2];
  const std::vector<double> onsets = soundOnsets(edges, 0.003);
  auto near = [&](double at, double within) {
    return std::count_if(onsets.begin(), onsets.end(),
                         [&](double t) { return t >= at - within && t <= at + within; });
  };
  EXPECT_EQ(near(tap, 0.05), 1) << tap;
  EXPECT_EQ(near(tap2, 0.05), 1) << tap2;
  EXPECT_GE(near(typing + 0.2, 0.25), 4) << typing;

  const Outcome failed =
      runOn({"--voz", "sh -c 'echo rouca >&2; exit 3' {saida}", "--roteiro", story}, page_,
            dir_ / "mute.mp4");
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "--roteiro, linha 2: narrar: a voz saiu com o status 3: rouca\n");
  EXPECT_FALSE(fs::exists(dir_ / "mute.mp4"));
  // Where a voice would not be heard, and a line with nothing to say.
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--formato", "gif", "--roteiro", story},
       "--formato gif não tem som: não combina com narrar"},
      {{"--roteiro", storyboard("antes.txt", "narrar oi\nantes\n")},
       "--roteiro " + (dir_ / "antes.txt").string() +
           ": narrar só vale depois de antes, no que é filmado"},
      {{"--roteiro", storyboard("mudo.txt", "narrar\n")},
       "--roteiro " + (dir_ / "mudo.txt").string() + ", linha 1: narrar precisa de um texto"}};
  for (const auto& [options, message] : refused) {
    const Outcome o = runOn(options, page_, dir_ / "mute.gif");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, message + "\n");
  }
}

}  // namespace
