// Frame by frame, the page's own clocks follow the video: from the first
// frame on, each frame moves performance.now(), Date.now() and new Date(),
// requestAnimationFrame's timestamps, setTimeout and setInterval, and the
// playback of <video> and <audio> exactly 1/60 s on, however long the
// machine takes to paint it. Before the first frame (loading, the
// three-second wait) they run as usual.
//
// Run at the start of every top document, where the page's own scripts
// run; each `event` on the document moves the clocks one frame on, the
// first starting them.
//
// Timers keep their own list from the start, backed by the engine's timers
// until the video's clock starts; then they fire as it passes their time,
// in order. Animation frames are run once a frame, at the frame's time,
// the first frame included.
// Media that plays is paused, muted and moved to the frame's time. Anything
// the page gets back (timer numbers, Date objects) is what it would get
// otherwise, so a page does not trip over it; a page that polls a timer
// while it waits for the network sees its data as frames go by.
(function ({ event }) {
  var w = window, perf = w.performance;
  var realNow = perf.now.bind(perf), RealDate = w.Date, realDateNow = RealDate.now;
  var realSetTimeout = w.setTimeout, realClearTimeout = w.clearTimeout;
  var realRaf = w.requestAnimationFrame, realCancelRaf = w.cancelAnimationFrame;
  var realPlay = w.HTMLMediaElement && HTMLMediaElement.prototype.play;
  var realPause = w.HTMLMediaElement && HTMLMediaElement.prototype.pause;
  var video = false, now = 0, epoch = 0, nextId = 1;
  var timers = new Map(), frames = new Map(), media = new Map();

  var clockNow = function () { return video ? now : realNow(); };
  // Whole milliseconds, as the engine's Date gives them.
  var dateNow = function () { return video ? Math.floor(epoch + now) : realDateNow(); };

  var arm = function (t) {
    t.handle = realSetTimeout.call(w, function () { fire(t); }, Math.max(0, t.due - realNow()));
  };
  var fire = function (t) {
    if (!timers.has(t.id)) return;
    if (t.interval === null) timers.delete(t.id);
    else {
      t.due += Math.max(t.interval, 1);
      if (!video) arm(t);
    }
    if (typeof t.callback == 'function') t.callback.apply(w, t.args);
    else (0, eval)(String(t.callback));
  };
  var schedule = function (callback, delay, args, repeat) {
    delay = Math.max(0, Number(delay) || 0);
    var t = { id: nextId++, callback: callback, args: args, due: clockNow() + delay,
              interval: repeat ? delay : null, handle: null };
    timers.set(t.id, t);
    if (!video) arm(t);
    return t.id;
  };
  var clear = function (id) {
    var t = timers.get(id);
    if (!t) return;
    timers.delete(id);
    if (t.handle !== null) realClearTimeout.call(w, t.handle);
  };
  w.setTimeout = function (f, d) { return schedule(f, d, [].slice.call(arguments, 2), false); };
  w.setInterval = function (f, d) { return schedule(f, d, [].slice.call(arguments, 2), true); };
  w.clearTimeout = w.clearInterval = clear;

  // Animation frames asked for before the video's clock starts are kept
  // too, so that the first frame can run them at its own time: the engine's
  // next frame would come up to a frame later, and the first picture would
  // show the page as it was before the video's clock.
  var early = new Map();  // our number -> the engine's, until the clock starts
  w.requestAnimationFrame = function (callback) {
    var id = nextId++;
    frames.set(id, callback);
    if (!video) early.set(id, realRaf.call(w, function (t) {
      early.delete(id);
      frames.delete(id);
      callback(t);
    }));
    return id;
  };
  w.cancelAnimationFrame = function (id) {
    frames.delete(id);
    if (early.has(id)) realCancelRaf.call(w, early.get(id));
    early.delete(id);
  };
  var runFrames = function () {
    var due = frames;
    frames = new Map();
    due.forEach(function (callback) {
      try { callback(now); } catch (e) { realSetTimeout.call(w, function () { throw e; }, 0); }
    });
  };

  perf.now = function () { return clockNow(); };
  var VideoDate = function Date() {
    var a = arguments;
    if (!new.target) return new RealDate(dateNow()).toString();
    return a.length ? new (Function.prototype.bind.apply(RealDate, [null].concat([].slice.call(a))))()
                    : new RealDate(dateNow());
  };
  VideoDate.prototype = RealDate.prototype;
  VideoDate.now = function () { return dateNow(); };
  VideoDate.parse = RealDate.parse;
  VideoDate.UTC = RealDate.UTC;
  w.Date = VideoDate;

  if (realPlay) {
    HTMLMediaElement.prototype.play = function () {
      if (!video) return realPlay.call(this);
      follow(this);
      return Promise.resolve();
    };
    HTMLMediaElement.prototype.pause = function () {
      media.delete(this);
      return realPause.call(this);
    };
  }
  var follow = function (m) {
    if (media.has(m)) return;
    m.muted = true;
    media.set(m, { from: m.currentTime, at: now });
    realPause.call(m);
  };
  var step = function () {
    media.forEach(function (p, m) {
      var t = p.from + (now - p.at) / 1000;
      var d = m.duration;
      if (m.loop && d > 0 && isFinite(d)) t %= d;
      else if (d > 0 && isFinite(d)) t = Math.min(t, d);
      m.currentTime = t;
    });
  };

  document.addEventListener(event, function () {
    if (!video) {
      now = realNow();
      epoch = realDateNow() - now;
      video = true;
      timers.forEach(function (t) {
        if (t.handle !== null) realClearTimeout.call(w, t.handle);
        t.handle = null;
      });
      [].forEach.call(document.querySelectorAll('video, audio'), function (m) {
        if (!m.paused) follow(m);
      });
      early.forEach(function (handle) { realCancelRaf.call(w, handle); });
      early.clear();
      runFrames();
      step();
      return;
    }
    var target = now + 1000 / 60;
    // Timers due by the frame's time fire in order, each at its own time; a
    // bounded number, so that a timer that sets itself for 0 ms cannot hold
    // the frame.
    for (var n = 0; n < 10000; ++n) {
      var first = null;
      timers.forEach(function (t) { if (t.due <= target && (!first || t.due < first.due)) first = t; });
      if (!first) break;
      now = Math.max(now, first.due);
      try { fire(first); } catch (e) { realSetTimeout.call(w, function () { throw e; }, 0); }
    }
    now = target;
    runFrames();
    step();
  }, true);
})
