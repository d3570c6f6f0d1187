// The display's seat as a phone has it: a touch screen and no mouse.
//
// WebKitGTK tells pages which pointing devices there are (the CSS hover,
// any-hover, pointer and any-pointer features, touch events) from the
// capabilities of the display's default seat, which it reads in this
// process through gdk_seat_get_capabilities(). A private Xvfb has a mouse
// and can have no touch screen. This definition, exported from the
// executable, is the one that call reaches; nothing here takes input, so
// nothing else depends on the answer.

#include <gdk/gdk.h>

extern "C" GdkSeatCapabilities gdk_seat_get_capabilities(GdkSeat*) {
  return static_cast<GdkSeatCapabilities>(GDK_SEAT_CAPABILITY_TOUCH | GDK_SEAT_CAPABILITY_KEYBOARD);
}
