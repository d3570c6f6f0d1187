#pragma once

// Fixed elements that lie wholly outside the view — a closed side menu, a
// drawer parked beside the screen — are kept out of the picture while they
// stay there. Without a compositor the engine repaints every fixed element at
// every scroll, and one whose shadow reaches the view's edge, however
// faintly, turns every picture into a full repaint into fresh memory: on the
// Python tutorial at scale 3, 3000 page faults a frame instead of 180, and
// half the recording's time. An element is kept out only while nothing of it
// can show: its box, its descendants' boxes and text, and its outlines lie
// outside the view, no filter or generated content can reach further, and
// its shadows, blurred as CSS blurs them, would add less than 1.5/255 of
// colour to any pixel of the view. It is hidden with an animation of its
// visibility from the recorder's own script world, so the page's DOM and
// styles stay as they are; it shows again in the frame in which any of that
// stops being true.
namespace vuz {

// Defines, in the recorder's script world, foraDoQuadro(elements): keeps
// those of `elements` that cannot show out of the picture, and lets the
// others (and those it kept out before, once they can show) back in. Run
// once before the first frame.
extern const char kOutOfViewScript[];

// In real time, where the page moves itself: every rendering of the page
// checks the elements kept out, and the page's fixed elements are looked
// for again at most twice a second while its document changes.
extern const char kOutOfViewLoopScript[];

}  // namespace vuz
