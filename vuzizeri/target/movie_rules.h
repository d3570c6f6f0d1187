#pragma once

#include <string>
#include <vector>

#include "platform/media/reader/movie_facts.h"
#include "vuzizeri/target/targets.h"

// A target's rules over what a movie file measures: each rule the file
// breaks, with what was measured and what the target asks.
namespace vuz {

struct Finding {
  std::string rule;      // "tamanho", "codec", "perfil", "nivel", "quadros", "taxa",
                         // "som", "duracao", "arquivo", "indice", "trilhas", "ativas",
                         // "rotacao", "pixels", "varredura", "cabecalho"
  std::string measured;  // as a person reads it: "1290×2796"
  std::string wanted;    // "886×1920"
};

std::vector<Finding> checkMovie(const media::MovieFacts& facts, const Target& target);

// "tamanho: 1290×2796; app-store-6.9 pede 886×1920"
std::string findingLine(const Finding& finding, const Target& target);

// A number as the Portuguese lines write it: `decimals` places after a
// comma, none when they are all zero ("15", "14,8").
std::string decimalText(double value, int decimals);

}  // namespace vuz
