#pragma once

#include <optional>
#include <string>

#include "vuzizeri/command_line/arguments.h"

// What the option parser checks across the options once it has read them
// all, and across the page's words once it has those.
namespace vuz::command_line {

// What the options have made of the command line so far.
struct Parse {
  Arguments a;
  std::optional<Device> device;
  const DeviceSource& devices;
  const TargetSource& targets;
  bool fpsGiven = false;
  bool timeGiven = false;
  bool frameBackgroundGiven = false;
  size_t positional = 0;  // the words after the options
};

// The first refusal across the options, in a fixed order, or "". A target's
// device, when it stands for the four numbers, is found here.
std::string firstClash(Parse& p);

// What the options settle once none refuses them.
void settle(Arguments& a);

// The page's own refusals: a URL that loads no page, headers and cookies
// for a page without a server. "" when it holds.
std::string pageClash(const Arguments& a);

// A target that fills its picture with the screen: a screen of another
// shape would lose more than a few rows. "" when it holds.
std::string coverClash(const Arguments& a, const PixelSizes& sizes);

}  // namespace vuz::command_line
