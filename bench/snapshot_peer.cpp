// The recorder as WebKit programs usually take pictures: every one through
// the web process, never from what the view already shows. The peer the
// benchmarks compare the recorder with.

#include "platform/web/webkit_view.h"
#include "vuzizeri/launcher/launcher.h"

int main(int argc, char** argv) {
  web::WebKitView::takeEverySnapshotThroughWebProcess();
  return vuz::runVuzizeri(argc, argv);
}
