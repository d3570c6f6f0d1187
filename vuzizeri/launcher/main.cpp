// vuzizeri <url> <cssW> <cssH> <escala> <safeTopPt> <saida.mp4>
//
// Records a web page as a scrolling phone-screen video. Start-up: check the
// command line, put the run under its guard (time limit, private folder,
// clean-up), bring up a private display, open the window with the web view,
// load the page, and hand over to the event loop.

#include "vuzizeri/launcher/launcher.h"

int main(int argc, char** argv) { return vuz::runVuzizeri(argc, argv); }
