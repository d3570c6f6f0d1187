// The storyboard: its lines as steps, and its steps on a clock, against a
// page that answers as a real one would.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "test_runs.h"
#include "vuzizeri/movie/movie_forms.h"
#include "vuzizeri/sound/voice.h"
#include "vuzizeri/storyboard/steps.h"
#include "vuzizeri/storyboard/storyboard.h"
#include "vuzizeri/storyboard/storyboard_run.h"

namespace vuz {
namespace {

std::string described(const std::vector<StoryStep>& steps) {
  std::string out;
  for (const StoryStep& s : steps) {
    out += std::to_string(s.line) + ":" + std::string(s.kind->word);
    if (!s.selector.empty()) out += " [" + s.selector + "]";
    if (s.number != 0) out += " " + std::to_string(s.number).substr(0, 6);
    if (!s.text.empty()) out += " <" + s.text + ">";
    out += "; ";
  }
  return out;
}

// Every step, `antes`, comments, blank and CR LF lines, a byte-order mark,
// quoted selectors and $NOME; then each refusal, naming its line, showing
// control bytes escaped and a long line cut.
TEST(Storyboard, LinesAsStepsAndRefusalsByLine) {
  const Environment env = [](const std::string& name) -> std::optional<std::string> {
    return name == "SENHA" ? std::optional<std::string>("s3gredo") : std::nullopt;
  };
  std::string message;
  const std::optional<Storyboard> good = parseStoryboard(
      "\xef\xbb\xbf# entrar\n\ndigitar #u ana\n  digitar '#a b' $SENHA e $$5\r\ntocar "
      "#entrar\nantes\n"
      "rolar-ate .x y\nrolar-ate fim\nrolar -120.5\npausa 1.5\nesperar .ok\nir /p?a=1\n"
      "tocar \"input[type=text]\"\nesperar '.a b'\nrolar-ate \"fim\"\nzoom \"#a b\" 2\n",
      env, &message);
  ASSERT_TRUE(good) << message;
  EXPECT_EQ(described(good->before),
            "3:digitar [#u] <ana>; 4:digitar [#a b] <s3gredo e $5>; 5:tocar [#entrar]; ");
  EXPECT_EQ(good->before[1].written, "digitar '#a b' $SENHA e $$5") << "no secret in what is shown";
  EXPECT_EQ(described(good->filmed),
            "7:rolar-ate [.x y]; 8:rolar-ate [fim]; 9:rolar -120.5; 10:pausa 1.5000; "
            "11:esperar [.ok]; 12:ir </p?a=1>; 13:tocar [input[type=text]]; 14:esperar [.a b]; "
            "15:rolar-ate [fim]; 16:zoom [#a b] 2.0000; ");
  EXPECT_EQ(good->filmed[8].target, StoryStep::Target::kEnd) << "quoted as by habit";
  EXPECT_EQ(good->filmed[1].target, StoryStep::Target::kEnd);

  const std::pair<const char*, const char*> refused[] = {
      {"rolar 12px", "linha 1: rolar precisa de pixels CSS, de -1000000 a 1000000: 12px"},
      {"\n# x\npausa 0", "linha 3: pausa precisa de segundos acima de 0 e até 600: 0"},
      {"pausa 601", "linha 1: pausa precisa de segundos acima de 0 e até 600: 601"},
      {"digitar #x", "linha 1: digitar precisa de um seletor e de um texto"},
      {"digitar '#x y", "linha 1: digitar precisa de um seletor e de um texto"},
      {"digitar #x $NADA", "linha 1: digitar: a variável de ambiente NADA não está definida"},
      {"tocar", "linha 1: tocar precisa de um seletor"},
      {"escolher #cor", "linha 1: escolher precisa de um seletor e de um texto"},
      {"rolar-ate", "linha 1: rolar-ate precisa de um seletor, de fim ou de topo"},
      {"ir a b", "linha 1: ir precisa de um URL, sem espaços"},
      {"ir javascript:alert(1)",
       "linha 1: ir vai só a páginas http, https ou file: javascript:alert(1)"},
      {"ir \x01java\rscript:alert(1)",
       "linha 1: ir vai só a páginas http, https ou file: \\x01java\\rscript:alert(1)"},
      {"tocar \"#a",
       "linha 1: tocar precisa de um seletor entre aspas que fecham no fim da linha: \"#a"},
      {"esperar '#a' b",
       "linha 1: esperar precisa de um seletor entre aspas que fecham no fim da linha: '#a' b"},
      {"\x1b]0;t\x07 x",
       "linha 1: passo desconhecido: \\x1b]0;t\\x07 (rolar-ate, rolar, pausa, "
       "tocar, tocar-longo, deslizar, digitar, escolher, esperar, ir, zoom, legenda, titulo, "
       "destaque, "
       "capitulo, narrar ou antes)"},
      {"narrar  ", "linha 1: narrar precisa de um texto"},
      {"antes\nantes", "linha 2: antes só pode vir uma vez"},
      {"antes já", "linha 1: antes fica sozinho na linha"},
      {"legenda 2", "linha 1: legenda precisa de segundos acima de 0 e até 600 e de um texto"},
      {"zoom #a 5", "linha 1: zoom precisa de um seletor e de um fator de 1,25 a 4, ou de 1: #a 5"},
      {"tocar-longo #t 61", "linha 1: tocar-longo precisa de segundos acima de 0 e até 60: 61"},
      {"deslizar #c esquerda 0", "linha 1: deslizar precisa de pixels CSS de 1 a 10000: 0"},
      {"deslizar #c lado 10",
       "linha 1: deslizar vai para esquerda, direita, cima ou baixo, não lado"},
  };
  for (const auto& [text, expected] : refused) {
    message.clear();
    EXPECT_FALSE(parseStoryboard(text, env, &message)) << text;
    EXPECT_EQ(message, expected) << text;
  }
  EXPECT_FALSE(parseStoryboard("pausa " + std::string(1 << 20, '9'), env, &message));
  EXPECT_LT(message.size(), 200u) << "a long line is cut";
  // A chapter's name is what a player lists: a line, not a page.
  EXPECT_TRUE(parseStoryboard("capitulo " + std::string(255, 'x'), env, &message)) << message;
  EXPECT_FALSE(parseStoryboard("\ncapitulo " + std::string(70000, 'x'), env, &message));
  EXPECT_TRUE(message.starts_with("linha 2: capitulo precisa de um nome de até 255 bytes: xxx"))
      << message;
  // A line for a voice, not a book.
  EXPECT_TRUE(parseStoryboard("narrar " + std::string(1000, 'a'), env, &message)) << message;
  EXPECT_FALSE(parseStoryboard("narrar " + std::string(1001, 'a'), env, &message));
  EXPECT_TRUE(message.starts_with("linha 1: narrar precisa de um texto de até 1000 bytes: aaa"))
      << message;
  EXPECT_EQ(keysOf("aé€😀\xff").size(), 5u);
  // --textos: {chave} in the words a step shows, types or says; a $ in the
  // table is typed as it is; other steps' braces are left; a key the table
  // lacks is named.
  const Texts texts = {{"oi", "Olá"}, {"preço", "R$5"}, {"fim", "Tchau"}};
  const std::optional<Storyboard> said =
      parseStoryboard("digitar #b {oi} $SENHA {preço}\nlegenda 1 {oi}!\ntocar #a{oi}\nnarrar {fim}",
                      env, &message, &texts);
  ASSERT_TRUE(said) << message;
  EXPECT_EQ(described(said->filmed),
            "1:digitar [#b] <Olá s3gredo R$5>; 2:legenda 1.0000 <Olá!>; 3:tocar [#a{oi}]; "
            "4:narrar <Tchau>; ");
  EXPECT_EQ(said->filmed[0].written, "digitar #b {oi} $SENHA {preço}");
  EXPECT_FALSE(parseStoryboard("pausa 1\ntitulo 1 {nada}", env, &message, &texts));
  EXPECT_EQ(message, "linha 2: {nada} não está em --textos");
}

// --zoom-automatico: touches close in time make one zoom on all they touch,
// out within the pause that follows 1.5 s after the last, before a move,
// and at the end.
TEST(Storyboard, TheAutomaticZoomGroupsTouchesCloseInTime) {
  std::string message;
  const std::optional<Storyboard> taps = parseStoryboard(
      "tocar #a\npausa 0.8\nlegenda 1 x\ndigitar #b oi\npausa 3\ntocar #c\nrolar 10\n"
      "deslizar #d cima 9\npausa 0.5",
      {}, &message);
  ASSERT_TRUE(taps) << message;
  std::string plan;
  for (const StoryStep& s : withAutomaticZoom(taps->filmed, 3))
    plan += s.written.substr(0, s.written.find(" (")) + " " +
            std::to_string(s.number).substr(0, 3) + "; ";
  EXPECT_EQ(plan,
            "zoom #a #b 3 3.0; tocar #a 0.0; pausa 0.8 0.8; legenda 1 x 1.0; digitar #b oi 0.0; "
            "pausa 3 1.5; zoom 1 1.0; pausa 3 1.1; zoom #c 3 3.0; tocar #c 0.0; zoom 1 1.0; "
            "rolar 10 10.; zoom #d 3 3.0; deslizar #d cima 9 0.0; pausa 0.5 0.5; zoom 1 1.0; ");
}

// The cue files keep a caption's words as text: no control byte or stray
// byte, nothing a player reads as markup, a timing line or a cue's end.
TEST(Storyboard, CueFilesHoldTheWordsAsText) {
  using K = Caption::Kind;
  const std::vector<Caption> captions = {
      {K::kCaption, std::string("a\0b\x1b[1m\rc\xff", 10), 1, 2},
      {K::kChapter, "não é legenda", 1, 1},
      {K::kCaption, "\x01\x7f", 2, 3},  // nothing left to show
      {K::kTitle, "<i>x</i> & &amp; -->", 2, 3.5},
  };
  EXPECT_EQ(cueFile(captions, true),
            "WEBVTT\n\n1\n00:00:01.000 --> 00:00:02.000\nab[1m c\uFFFD\n\n"
            "2\n00:00:02.000 --> 00:00:03.500\n&lt;i&gt;x&lt;/i&gt; &amp; &amp;amp; --&gt;\n");
  // SubRip has no escapes: a word joiner keeps a tag, an entity or the
  // arrow from being one.
  EXPECT_EQ(cueFile(captions, false),
            "1\n00:00:01,000 --> 00:00:02,000\nab[1m c\uFFFD\n\n"
            "2\n00:00:02,000 --> 00:00:03,500\n<\u2060i>x<\u2060/i> & &\u2060amp; --\u2060>\n");
}

// The tables are the manual's too: every step and every movie form has its
// entry there, its example storyboard is a good one, and the published
// A voice that cannot say a line says why; one that hangs is ended at its
// limit. The line goes in on standard input, the file where {saida} is.
TEST(Narration, TheVoiceCommandAndWhyItFailed) {
  const std::string wav = testing::TempDir() + "voz.wav";
  const std::pair<std::vector<std::string>, std::string> failing[] = {
      {{"sh", "-c", "echo sem voz >&2; exit 3", "{saida}"}, "saiu com o status 3: sem voz"},
      {{"sh", "-c", "sleep 5", "{saida}"}, "não terminou em 1 s"},
      {{"true", "{saida}"}, "não gravou o arquivo WAV em {saida}"},
      {{"/nao/existe", "{saida}"}, "não pôde ser rodada: /nao/existe: No such file or directory"}};
  for (const auto& [command, reason] : failing) {
    std::string why;
    EXPECT_FALSE(speak(command, "oi", wav, 1, &why)) << command[0];
    EXPECT_EQ(why, reason);
  }
  std::string why;
  ASSERT_TRUE(speak({"sh", "-c", "cat > \"$0\"", "{saida}"}, "olá", wav, 5, &why)) << why;
  EXPECT_EQ(test_runs::slurp(wav), "olá\n");
  EXPECT_EQ(voiceCommand("piper -m 'a b.onnx' -f {saida}", &why),
            (std::vector<std::string>{"piper", "-m", "a b.onnx", "-f", "{saida}"}));
  EXPECT_FALSE(voiceCommand("piper -f saida.wav", &why));
  EXPECT_EQ(why, "--voz precisa de {saida} onde vai o arquivo WAV: piper -f saida.wav");
}

// schema is the one the program prints.
TEST(Storyboard, TheManualHasEveryStepAndForm) {
  std::ifstream manual(std::string(SOURCE_DIR) + "/doc/man/vuzizeri.1");
  const std::string text((std::istreambuf_iterator<char>(manual)), {});
  for (const StepKind& kind : kStepKinds) {
    std::string word;  // as roff writes it
    for (char c : kind.word) word += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_TRUE(text.find(".BI " + word + " ") != std::string::npos ||
                text.find(".B " + word + "\n") != std::string::npos)
        << kind.word;
  }
  for (const MovieForm& form : kMovieForms)
    EXPECT_NE(text.find(".B " + std::string(form.name) + "\n"), std::string::npos) << form.name;
  const size_t example = text.find("# login, not filmed");
  ASSERT_NE(example, std::string::npos);
  std::string storyboard = text.substr(example, text.find(".EE", example) - example);
  for (size_t at; (at = storyboard.find('\\')) != std::string::npos;) storyboard.erase(at, 1);
  std::string message;
  const std::optional<Storyboard> parsed = parseStoryboard(
      storyboard, [](const std::string&) { return std::optional<std::string>("a@b.c"); }, &message);
  ASSERT_TRUE(parsed) << message;
  EXPECT_EQ(parsed->before.size(), 3u);
  std::ifstream schema(std::string(SOURCE_DIR) + "/doc/roteiro.schema.json");
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(schema)), {}), storyboardSchema())
      << "doc/roteiro.schema.json: vuzizeri --esquema-do-roteiro > doc/roteiro.schema.json";
  // Its line for zoom takes what the program takes.
  const std::string json = storyboardSchema();
  std::string zoom;
  for (size_t i = json.find("^", json.find(R"("pattern": "^[ \\t]*zoom)")); json[i] != '"'; ++i)
    zoom += json[i] == '\\' ? json[++i] : json[i];
  for (const char* line :
       {"zoom 1", "zoom #a 2", "zoom \"#a b\" 1.25", "zoom '#a' 4.0", "zoom #a 0", "zoom #a 1",
        "zoom #a 1.2", "zoom #a 4.5", "zoom #a", "zoom \"#a 2"})
    EXPECT_EQ(std::regex_search(line, std::regex(zoom)),
              parseStoryboard(line, {}, &message).has_value())
        << line << " " << zoom;
}

// At 60 frames a second on a page of 2000 px in a 600 px view: a hold, a tap
// on an element in view (at its frame, lasting its time), a move at the
// speed, a tap on an element below the view (moved to first, centred), and a
// refusal that names the line.
TEST(Storyboard, StepsOnTheClock) {
  std::vector<std::string> acts;
  std::string failure;
  StoryboardRun::Host host;
  host.act = [&](const JsonValue& a, std::function<void(StoryboardRun::Answer)> then) {
    acts.push_back(a.text());
    using V = web::ScriptValue;
    const bool far = a.text().find(".longe") != std::string::npos;
    if (const std::string t = a.text(); t.find("\"pick\"") != std::string::npos) {
      const size_t dot = t.find('.');  // the answer is its class
      return then(V::ofString(t.substr(dot + 1, t.find('"', dot) - dot - 1)));
    }
    if (a.text().find("\"find\"") != std::string::npos)
      return then(a.text().find(".nada") != std::string::npos
                      ? V::ofString("none")
                      : V::ofArray({V::ofNumber(far ? 1500 : 100), V::ofNumber(far ? 1300 : 100),
                                    V::ofNumber(100)}));
    then(V::ofArray({V::ofNumber(50), V::ofNumber(300), V::ofNumber(1)}));
  };
  host.fail = [&](const std::string& m) { failure = m; };
  std::string text = "pausa 0.5\ntocar .perto\nrolar 250\ntocar .longe\ntocar .nada\n", message;
  StoryboardRun run(parseStoryboard(text, {}, &message)->filmed, 250, 0, 600, host);
  std::map<int64_t, std::optional<double>> scrolls;
  double offset = 0;
  for (int64_t frame = 0; frame < 600 && failure.empty(); ++frame)
    run.advance(frame / 60.0, offset, 2000, [&](StoryDirection d) {
      scrolls[frame] = d.scrollTo;
      if (d.scrollTo) offset = *d.scrollTo;
    });
  ASSERT_EQ(run.touches().size(), 2u);
  EXPECT_DOUBLE_EQ(run.touches()[0].seconds, 0.5);
  EXPECT_EQ(scrolls[29], std::nullopt) << "a hold leaves the page where it stands";
  EXPECT_DOUBLE_EQ(*scrolls[39 + 30], 125) << "halfway through the move, 0.65 s + 0.5 s";
  EXPECT_DOUBLE_EQ(*scrolls[39 + 60], 250);
  // From 250 to the element centred, 1500 − 250: 1000 px, 4 s at 250 px/s.
  EXPECT_DOUBLE_EQ(*scrolls[99 + 240], 1250);
  EXPECT_NEAR(run.touches()[1].seconds, (99 + 241) / 60.0, 1e-9) << "the frame after the move";
  EXPECT_EQ(failure, "--roteiro, linha 5: tocar .nada: nada na página casa com .nada");
  EXPECT_EQ(run.times().size(), 5u);
  EXPECT_DOUBLE_EQ(run.times()[1].seconds, 0.5);
  // What escolher finds no option in, is no select or date field, or is
  // disabled.
  for (const auto& [line, why] :
       {std::pair{"escolher .nooption Azul", "não tem a opção Azul"},
        {"escolher .notchoice Azul", "não é um select nem um campo de data ou de hora"},
        {"escolher .disabled Azul", "está desativado"}}) {
    failure.clear();
    StoryboardRun choice(parseStoryboard(std::string("\n") + line, {}, &message)->filmed, 250, 0,
                         600, host);
    for (int64_t frame = 0; frame < 10 && failure.empty(); ++frame)
      choice.advance(frame / 60.0, 0, 2000, [](StoryDirection) {});
    EXPECT_EQ(failure, std::string("--roteiro, linha 2: ") + line + ": " + why);
  }
}

// The keyboard comes with a field's focus, asked of the page after a tap or
// a focus and each moment while it is up: a tap below moves its element into
// the part of the view above the keyboard; the typed keys pop up, a secret's
// never; a tap elsewhere takes the keyboard away.
TEST(Storyboard, KeyboardWhileAFieldHasTheFocus) {
  using V = web::ScriptValue;
  bool focused = false;
  int asked = 0;
  StoryboardRun::Host host;
  host.keyboard = true;
  host.act = [&](const JsonValue& a, std::function<void(StoryboardRun::Answer)> then) {
    const std::string& t = a.text();
    const bool far = t.find(".longe") != std::string::npos;
    if (t.starts_with("{\"keyboard\"")) {
      ++asked;
      return then(focused ? StoryboardRun::Answer(V::ofArray(
                                {V::ofString("text"), V{}, V::ofString(""), V::ofString("en-US")}))
                          : std::nullopt);
    }
    if (t.starts_with("{\"find\"")) {
      return then(V::ofArray(
          {V::ofNumber(far ? 1500 : 100), V::ofNumber(far ? 1500 : 100), V::ofNumber(100)}));
    }
    if (t.starts_with("{\"tap\"")) focused = !far;
    if (t.starts_with("{\"focus\"")) focused = true;
    if (t.starts_with("{\"focus\"") || t.starts_with("{\"type\"")) return then(V::ofString("ok"));
    then(V::ofArray({V::ofNumber(50), V::ofNumber(300), V::ofNumber(1)}));
  };
  host.fail = [](const std::string& m) { FAIL() << m; };
  std::string message;
  const auto steps = parseStoryboard(
      "pausa 0.5\ndigitar .campo ab\ndigitar .campo $S\n"
      "tocar .longe\npausa 1\n",
      [](const std::string&) { return std::string("cd"); }, &message);
  StoryboardRun run(steps->filmed, 2500, 0, 600, host);
  std::vector<double> scrolls;
  std::vector<int> askedBy;
  double offset = 0;
  for (int64_t frame = 0; frame < 240; ++frame) {
    run.advance(frame / 60.0, offset, 2000, [&](StoryDirection d) {
      if (d.scrollTo) scrolls.push_back(offset = *d.scrollTo);
    });
    askedBy.push_back(asked);
  }
  EXPECT_EQ(askedBy[29], 0) << "nothing asked before the focus";
  EXPECT_EQ(askedBy[239], askedBy[200]) << "nor once it is down";
  EXPECT_EQ(run.keyboard().at(0.55).popped, "a");
  EXPECT_FALSE(run.keyboard().at(0.75).popped) << "a secret";
  ASSERT_FALSE(scrolls.empty());
  EXPECT_DOUBLE_EQ(scrolls.back(), 1500 - (600 - 335 - 100) / 2.0) << "centred above the keyboard";
  EXPECT_DOUBLE_EQ(run.keyboard().at(3.5).raised, 0);
}

// The disc as iOS draws it; a tap's move for an element taller than the view.
TEST(Storyboard, TouchDiscAndTallTargets) {
  EXPECT_EQ(touchOpacity(-0.01), 0);
  EXPECT_DOUBLE_EQ(touchOpacity(0), 0.5);
  EXPECT_DOUBLE_EQ(touchOpacity(0.1), 1);
  EXPECT_DOUBLE_EQ(touchOpacity(0.275), 0.5);
  EXPECT_EQ(touchOpacity(0.4), 0);
  EXPECT_DOUBLE_EQ(tapScrollTarget(1900, 800, 600, 1400), 1400) << "taller: its top, within";
  // A menu's rows of 44 px under its field; a long one scrolled to the row
  // it is to show, which the finger finds on the screen.
  Picker menu;
  menu.options = {"a", "b", "c"};
  menu.left = 20;
  menu.top = 100;
  menu.height = 40;
  EXPECT_EQ(pickerPoint(menu, 2, 390, 797), std::make_pair(20 + 125.0, 148 + 2.5 * 44));
  menu.options.resize(40);
  menu.shows = 33;
  EXPECT_LT(pickerPoint(menu, 33, 390, 797).second, 797 - 8);
}

}  // namespace
}  // namespace vuz
