// vuzizeri <url> <cssW> <cssH> <escala> <safeTopPt> <saida.mp4>
//
// Records a web page as a scrolling phone-screen video. Start-up: check the
// command line, put the run under its guard (time limit, private folder,
// clean-up), bring up a private display, open the window with the web view,
// load the page, and hand over to the event loop.

#include <gtk/gtk.h>

#include "common/fail.h"
#include "vuzizeri/launcher/launcher.h"

int main(int argc, char** argv) {
  reopenClosedStandardDescriptors();
  vuz::Launcher launcher({argv + (argc > 0 ? 1 : 0), argv + argc});
  if (std::optional<int> status = launcher.readCommandLine()) return *status;
  launcher.recordInPartsIfAsked();
  if (std::optional<int> status = launcher.openSound()) return *status;
  launcher.start();
  // The run ends from the recorder, with its report or its one line.
  gtk_main();
  return 0;
}
