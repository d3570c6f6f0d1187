#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/output_path.h"
#include "platform/media/reader/sound_source.h"
#include "platform/media/sound/sound_mix.h"
#include "platform/web/webkit_view.h"
#include "vuzizeri/command_line/arguments.h"
#include "vuzizeri/command_line/devices.h"
#include "vuzizeri/launcher/page_inputs.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz {

// One run of vuzizeri from its command line to the main loop: each step
// below in turn; the run then ends from the recorder, with its report or
// its one line.
class Launcher {
 public:
  explicit Launcher(std::vector<std::string> args);

  // The command line and the files its options name. The status to leave
  // with when the run ends here: 0 after --help, --version or --aparelhos,
  // 2 after a refusal (written to standard error).
  std::optional<int> readCommandLine();
  // --paralelo: the parts recorded at once by runs of their own and joined;
  // the process then ends. Nothing when one part would be the whole.
  void recordInPartsIfAsked();
  // --audio's file, opened once: what was checked is what plays, even when
  // the file is removed or replaced meanwhile. Status 2 when it cannot be.
  std::optional<int> openSound();
  // The run under its guard, its display, GTK, the view and the recorder,
  // and the page's load begun; the main loop does the rest.
  void start();

 private:
  const std::vector<Device>& devices();
  const std::vector<Target>& targets();
  void checkDataFiles();
  void startGuardAndDisplay();
  void startGtk();
  web::WebKitView::Options viewOptions() const;
  Platform platform();
  std::unique_ptr<RecordingWriter> openWriter(const MovieRequest& request, std::string* error);

  std::vector<std::string> args_;
  std::string data_;  // the program's data folder
  std::optional<std::vector<Device>> devices_;
  std::optional<std::vector<Target>> targets_;
  Arguments arguments_;
  std::optional<PixelSizes> sizes_;
  PageInputs inputs_;
  std::unique_ptr<media::SoundFeed> sound_;
  // The storyboard's sounds for the mix: --sons' and narrar's voices, by line.
  std::shared_ptr<media::SoundCues> cues_;
  std::map<int, media::SoundCue> voices_;
  std::string extensions_;  // the web extensions' folder
  std::string folder_;      // the run's private folder
  StagingFile staging_;     // where the movie is written until it is complete
  unsigned memoryLimitMB_ = 0;
  double startedAt_ = 0;
  std::unique_ptr<web::WebKitView> view_;
  std::unique_ptr<Vuzizeri> recorder_;
};

// The program: the command line, then each step above in turn, and the main
// loop; the run ends from the recorder, with its report or its one line.
int runVuzizeri(int argc, char** argv);

}  // namespace vuz
