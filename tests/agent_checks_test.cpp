// What the front ends (the service, the MCP server) check of a request
// from afar before the recorder sees it.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "scratch_dir.h"
#include "vuzizeri/agent/json_members.h"
#include "vuzizeri/agent/recording_request.h"
#include "vuzizeri/agent/storyboard_check.h"
#include "vuzizeri/command_line/arguments.h"

namespace fs = std::filesystem;

namespace agent {
namespace {

constexpr auto kNone = std::string::npos;

TEST(AgentChecks, StoryboardsFromAfarReadNoEnvironmentAndEnd) {
  setenv("VUZIZERI_TESTE_SEGREDO", "s3gr3do", 1);
  const StoryboardRules none, allowed{{"VUZIZERI_TESTE_SEGREDO"}, std::nullopt};
  const std::string typed = "pausa 1\ndigitar #a x$VUZIZERI_TESTE_SEGREDO\n";
  const std::string refused = storyboardRefusal(typed, "https://a.example/", none);
  EXPECT_NE(refused.find("linha 2: digitar: $VUZIZERI_TESTE_SEGREDO"), kNone) << refused;
  EXPECT_NE(refused.find("--permitir-variavel VUZIZERI_TESTE_SEGREDO"), kNone) << refused;
  EXPECT_EQ(refused.find("s3gr3do"), kNone);
  EXPECT_EQ(storyboardRefusal(typed, "https://a.example/", allowed), "");
  EXPECT_EQ(storyboardRefusal("digitar #a 5$ e $$HOME\n", "", none), "") << "$$ is a dollar";
  EXPECT_NE(storyboardRefusal("voar\n", "", none).find("linha 1: passo desconhecido"), kNone);
  // Holds add up; captions and highlights run on under the next steps.
  EXPECT_EQ(storyboardRefusal("pausa 300\ntitulo 300 oi\nlegenda 600 oi\n", "", none), "");
  EXPECT_NE(storyboardRefusal("pausa 300\ntocar-longo #a 0.5\nantes\npausa 300\n", "", none)
                .find("600 s"),
            kNone);
}

TEST(AgentChecks, FilePagesOnlyInsideTheFolder) {
  const test_runs::ScratchDir scratch("agent_checks");
  const fs::path& folder = scratch.path;
  fs::create_directory(folder / "sub");
  std::error_code ignored;
  fs::create_directory_symlink("/etc", folder / "fora", ignored);
  const StoryboardRules files{{}, fs::canonical(folder)};
  const std::string in = "file://" + files.files->string();
  for (const std::string& url : {in + "/sub/a.html", "file://localhost" + in.substr(7) + "/a?x#y",
                                 in + "/sub/../a.html", std::string("https://a.example/")})
    EXPECT_EQ(localPageRefusal(url, files), "") << url;
  for (const std::string& url :
       {std::string("file:///etc/hosts"), in + "/../etc/hosts", in + "/fora/hosts",
        in + "/%2e%2e/x", in + "/sub/..\\..\\x", "file:///etc/hosts?/../.." + in.substr(7) + "/a",
        "file://outra" + in.substr(7) + "/a", in + "/a%2f..%2f..%2fx"})
    EXPECT_NE(localPageRefusal(url, files), "") << url;
  EXPECT_NE(localPageRefusal(in + "/a.html", StoryboardRules{}), "") << "no folder, no file:";
  // ir too; a relative one from a file: page cannot be told inside or out.
  EXPECT_NE(storyboardRefusal("pausa 1\nir file:///etc/hosts\n", "https://a.example/", files)
                .find("linha 2: ir:"),
            kNone);
  EXPECT_NE(storyboardRefusal("ir ../../etc/hosts\n", in + "/a.html", files).find("linha 1"),
            kNone);
  EXPECT_EQ(storyboardRefusal("ir /b\nir " + in + "/a.html\n", "https://a.example/", files), "");
}

TEST(AgentChecks, RequestsTooDeepOrWithADeviceAndSizes) {
  ParsedObject parsed;
  std::string why;
  auto nested = [](int depth) {
    return "{\"a\": " + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
  };
  EXPECT_TRUE(parseObject(nested(kMostJsonDepth), &parsed, &why)) << why;
  EXPECT_FALSE(parseObject(nested(kMostJsonDepth + 1), &parsed, &why));
  EXPECT_NE(why.find("64"), kNone) << why;
  EXPECT_TRUE(parseObject("{\"a\": \"\\\"" + std::string(100, '[') + "\"}", &parsed, &why))
      << "brackets in a string are text";
  ASSERT_TRUE(parseObject(
      R"({"url": "u", "aparelho": "iphone-15", "largura": 390, "altura": 600, "escala": 1, "topo": 20})",
      &parsed, &why));
  EXPECT_FALSE(recorderWords(parsed.object, Front::kMcp, &why));
  EXPECT_NE(why.find("aparelho"), kNone) << why;
}

// A request's members become the recorder's own options, and an agent's
// opcoes are options with their values: no word of a request stands where
// the URL, the sizes or the output do.
TEST(AgentChecks, RequestsGiveOptionsOnly) {
  for (const RequestMember& m : kRequestMembers)
    EXPECT_TRUE(m.option.empty() ||
                vuz::optionTakesValue(std::string(m.option)) == (m.type != JsonType::kBoolean))
        << m.name;
  // Each front takes its own members of the table, and opcoes only as strings.
  ParsedObject parsed;
  std::string why;
  ASSERT_TRUE(parseObject(R"({"url": "u", "webhook": "w", "saida": "s", "opcoes": ["--json"]})",
                          &parsed, &why));
  EXPECT_EQ(unknownMember(parsed.object, Front::kHttp), "saida");
  EXPECT_EQ(unknownMember(parsed.object, Front::kMcp), "webhook");
  EXPECT_EQ(stringsMember(parsed.object, "opcoes"), std::vector<std::string>{"--json"});
  ASSERT_TRUE(parseObject(R"({"opcoes": ["--json", 1]})", &parsed, &why));
  EXPECT_FALSE(stringsMember(parsed.object, "opcoes"));
  auto taken = [](const std::vector<std::string>& words) {
    std::vector<std::string> all;
    const std::string refused =
        takeOptions(words, [&](const std::string& o, const std::optional<std::string>& v) {
          all.push_back(o + (v ? "=" + *v : ""));
          return "";
        });
    return refused.empty() ? ::testing::PrintToString(all) : refused;
  };
  EXPECT_EQ(taken({"--moldura", "--esconder", "-h", "--json"}),
            R"({ "--moldura", "--esconder=-h", "--json" })");
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"-h"}, {"--"}, {"--moldura", "out.mp4"}, {"--esconder", ".a", "out.mp4"}})
    EXPECT_NE(taken(words).find("não é uma opção"), kNone) << taken(words);
  // A call records; it does not name a program for the recorder to run.
  EXPECT_EQ(taken({"--json", "--voz", "sh -c x {saida}"}),
            "--voz não vale aqui: a chamada não escolhe programas para rodar");
}

}  // namespace
}  // namespace agent
