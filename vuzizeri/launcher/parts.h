#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vuzizeri/command_line/arguments.h"
#include "vuzizeri/report/part_labels.h"

// --trecho K/N and --paralelo N: what tells one recording from another, and
// the parts made at once on this machine. What a part's file says of itself
// is in part_labels.h.
namespace vuz {

// What makes two runs give the same frames: the page, the sizes, every
// option that shapes the page or the scroll (--estilo by its text), and the
// program's version; not --trecho, the output, --json, nor the values of
// headers, cookies and credentials, which the file must not give away. As
// hexadecimal SHA-256.
std::string recordingIdentity(const Arguments& arguments, const std::string& styleSheet);

// --paralelo N: the parts made at once on this machine.
// Told to each part, in its environment, so that the parts share the
// machine's memory rather than each taking the share of a whole run.
inline constexpr char kPartsOnMachineVariable[] = "VUZIZERI_PARTES_NA_MAQUINA";

// What a part at `scale` takes at most, measured (bench/frame_budget.sh's
// peak): 629 MB for the heavy bench page at scale 3, its web process, its
// recorder with the frames in flight, its display. Taken as a fixed 512 MB
// and 32 frames of 4 bytes a pixel.
int64_t partMemory(int64_t pxW, int64_t pxH);

// --paralelo auto: as many parts as the run's CPUs, fewer when its memory
// holds fewer, at most kMaxParallelParts, at least 1.
inline constexpr int64_t kMaxParallelParts = 16;
int64_t automaticParts(int cpus, int64_t memory, int64_t pxW, int64_t pxH);

// The command line of part `index` (from 1) of `count`: the given one with
// --paralelo and its value left out, --trecho index/count in front, and the
// output `partPath`.
std::vector<std::string> partArguments(const std::vector<std::string>& given,
                                       const Arguments& arguments, int64_t index, int64_t count,
                                       const std::string& partPath);

// The joined movie's --json report: a part's, which has the plan and where
// the scroll ended, with the joined file's path, size, length and frames.
std::string joinedJsonReport(const std::string& lastPartReport, const std::string& path,
                             int64_t bytes, double seconds, int64_t frames);

}  // namespace vuz
