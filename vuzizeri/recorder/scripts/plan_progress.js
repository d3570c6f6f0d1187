// In real time, how far the directed scroll has gone (plan_scroll.js):
// [seconds of the plan gone, its length, the page's offset]; the first two
// equal once it is over.
(function () {
  var p = window.plannedScroll;
  return p ? [p.seconds, p.length, pageYOffset] : [0, 1, pageYOffset];
})
