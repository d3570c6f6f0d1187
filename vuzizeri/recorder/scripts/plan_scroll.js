// In real time, the directed scroll: the page follows the plan on its own
// animation clock, move for move as ScrollPlan::position has it (see
// scroll_plan.h), in the recorder's own script world.
//   segments: [{ begin, length, from, to, ramp, peak }]  the moves and holds
//   followsEnd: the last move is aimed at the page's end as it grows, up to
//       `limit` CSS px
//   speed, ease: of every move, as the plan was made
// window.plannedScroll then says how far the plan has gone: { seconds,
// length }, equal once it is over.
(function ({ segments, followsEnd, limit, speed, ease }) {
  var s = document.createElement('style');
  s.textContent = 'html, body { scroll-behavior: auto !important; }';
  (document.head || document.documentElement).appendChild(s);
  var move = function (begin, from, to) {
    var distance = Math.abs(to - from);
    var m = { begin: begin, length: distance / speed, from: from, to: to, ramp: 0, peak: speed };
    if (ease > 0 && distance > 0) {
      m.ramp = Math.min(ease, Math.sqrt(distance * ease / speed));
      m.peak = speed * m.ramp / ease;
      m.length = 2 * m.ramp + (distance - m.peak * m.ramp) / m.peak;
    }
    return m;
  };
  var gone = function (m, x) {
    var distance = Math.abs(m.to - m.from), r = m.ramp, u = m.peak;
    var ramped = function (y) { return u * (y / 2 - r / (2 * Math.PI) * Math.sin(Math.PI * y / r)); };
    if (x <= 0) return 0;
    if (x >= m.length) return distance;
    if (x < r) return ramped(x);
    if (x > m.length - r) return distance - ramped(m.length - x);
    return u * r / 2 + u * (x - r);
  };
  var state = window.plannedScroll = { seconds: 0, length: 0 };
  var t0 = performance.now(), n = segments.length;
  (function frame(t) {
    var b = document.body, de = document.documentElement;
    var pageEnd = Math.max(b ? b.scrollHeight : 0, de ? de.scrollHeight : 0) - innerHeight;
    var last = segments[n - 1];
    if (followsEnd)
      last = segments[n - 1] = move(last.begin, last.from, Math.max(last.from, Math.min(pageEnd, limit)));
    var now = (t - t0) / 1000, m = segments[0];
    for (var i = 1; i < n && segments[i].begin <= now; ++i) m = segments[i];
    var x = gone(m, now - m.begin);
    window.scrollTo(0, m.to >= m.from ? m.from + x : m.from - x);
    state.length = last.begin + last.length;
    state.seconds = Math.min(now, state.length);
    if (now < state.length) requestAnimationFrame(frame);
  })(t0);
  return 0;
})
