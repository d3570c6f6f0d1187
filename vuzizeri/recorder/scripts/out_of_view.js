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
//
// Defines keepOutOfView(elements) in the recorder's script world: keeps
// those of `elements` that cannot show out of the picture, and lets the
// others back in (and those it kept out before, once they can show).
// Answers how many it keeps out. Run once before the first frame.
(function () {
  var w = window, d = document;
  if (w.keepOutOfView) return 0;
  var hidden = new Map();      // element -> the animation that hides it
  var verdicts = new Map();    // element -> { at: where it stood, out: whether it cannot show }
  var touched = new Set();     // elements whose subtree changed since they were judged
  new MutationObserver(function (records) {
    records.forEach(function (r) {
      verdicts.forEach(function (v, el) {
        if (el.contains(r.target) || r.target.contains(el)) touched.add(el);
      });
    });
  }).observe(d.documentElement, { subtree: true, childList: true, attributes: true,
                                  characterData: true });

  // What is left of a shadow's colour x standard deviations beyond its edge:
  // the Gaussian's tail (Abramowitz and Stegun 7.1.26). CSS blurs a shadow by
  // a Gaussian of a standard deviation of half its blur radius.
  var tail = function (x) {
    var z = x / Math.SQRT2, t = 1 / (1 + 0.3275911 * z);
    var y = t * (0.254829592 + t * (-0.284496736 + t * (1.421413741 +
            t * (-1.453152027 + t * 1.061405429))));
    return 0.5 * y * Math.exp(-z * z);
  };
  // How far a rectangle lies from the view of v x h, on its nearer axis;
  // 0 when they meet.
  var gap = function (l, t, r, b, v, h) {
    return Math.max(0, -r, l - v, -b, t - h);
  };
  var alphaOf = function (text) {
    if (/transparent/.test(text)) return 0;
    var m = text.match(/rgba?\(([^)]*)\)/);
    if (!m) return 1;
    var c = m[1].split(/[\s,\/]+/).filter(Boolean);
    if (c.length < 4) return 1;
    return /%$/.test(c[3]) ? parseFloat(c[3]) / 100 : parseFloat(c[3]);
  };
  // Whether a computed box-shadow or text-shadow list casts 1.5/255 of
  // colour or more into the view from the box l, t, r, b.
  var casts = function (list, l, t, r, b, v, h) {
    if (!list || list == 'none') return false;
    return list.split(/,(?![^(]*\))/).some(function (s) {
      if (/\binset\b/.test(s)) return false;
      var n = (s.replace(/rgba?\([^)]*\)/, '').match(/-?[\d.]+(?:e-?\d+)?px/g) || [])
                  .map(parseFloat);
      var ox = n[0] || 0, oy = n[1] || 0, blur = n[2] || 0, spread = n[3] || 0;
      var away = gap(l + ox - spread, t + oy - spread, r + ox + spread, b + oy + spread, v, h);
      var left = alphaOf(s) * (blur > 0 ? tail(away / (blur / 2)) : (away < 1 ? 1 : 0));
      return left * 255 >= 1.5;
    });
  };
  var shows = function (r, v, h) {
    return (r.width > 0 || r.height > 0) && gap(r.left, r.top, r.right, r.bottom, v, h) < 1;
  };
  // Whether what the style `s` draws around the box r may reach the view:
  // a filter (taken as reaching anywhere), shadows, an outline.
  var castsAround = function (s, r, v, h) {
    if (s.filter != 'none') return true;
    if (casts(s.boxShadow, r.left, r.top, r.right, r.bottom, v, h) ||
        casts(s.textShadow, r.left, r.top, r.right, r.bottom, v, h))
      return true;
    if (s.outlineStyle == 'none') return false;
    var o = (parseFloat(s.outlineWidth) || 0) + Math.max(0, parseFloat(s.outlineOffset) || 0);
    return gap(r.left - o, r.top - o, r.right + o, r.bottom + o, v, h) < 1;
  };
  // Where an absolutely positioned ::before or ::after lies inside the box r
  // of its element, which it is positioned against: from its size, insets
  // and margins in px; null when they do not say.
  var placed = function (s, r) {
    var px = function (k) { return /px$/.test(s[k]) ? parseFloat(s[k]) : null; };
    var w = px('width'), ht = px('height');
    if (w === null || ht === null) return null;
    var axis = function (a, b, lo, hi, size, ma, mb) {
      var ia = px(a), ib = px(b), m1 = px(ma) || 0, m2 = px(mb) || 0;
      if (ia !== null) return [lo + ia + m1, lo + ia + m1 + size];
      if (ib !== null) return [hi - ib - m2 - size, hi - ib - m2];
      return [lo, hi + size];  // its static place: somewhere inside, or just after
    };
    var x = axis('left', 'right', r.left, r.right, w, 'marginLeft', 'marginRight');
    var y = axis('top', 'bottom', r.top, r.bottom, ht, 'marginTop', 'marginBottom');
    // The insets count from inside the element's border: a few px of slack.
    return { left: x[0] - 4, right: x[1] + 4, top: y[0] - 4, bottom: y[1] + 4, width: w, height: ht };
  };
  // A ::before or ::after box lies inside its element's, or where its
  // position puts it against the element.
  var pseudoReaches = function (e, p, r, v, h) {
    var s = getComputedStyle(e, p);
    if (!s.content || s.content == 'none' || s.content == 'normal') return false;
    if (s.position == 'fixed') return true;
    if (s.position == 'absolute') {
      if (getComputedStyle(e).position == 'static') return true;  // placed against another box
      r = placed(s, r);
      if (!r || shows(r, v, h)) return true;
    } else if (s.position == 'relative' && ['top', 'left', 'bottom', 'right'].some(function (k) {
                 return s[k] != 'auto' && parseFloat(s[k]) != 0;
               })) {
      return true;
    }
    return castsAround(s, r, v, h);
  };
  // Whether anything of `el` may be painted inside the view.
  var reaches = function (el, v, h) {
    var range = d.createRange();
    range.selectNodeContents(el);
    if (shows(el.getBoundingClientRect(), v, h) || shows(range.getBoundingClientRect(), v, h))
      return true;
    var all = el.getElementsByTagName('*');
    if (all.length > 400) return true;  // too much to judge every frame: left as it is
    for (var i = -1; i < all.length; ++i) {
      var e = i < 0 ? el : all[i], s = getComputedStyle(e), r = e.getBoundingClientRect();
      if (s.display == 'contents' || shows(r, v, h) || castsAround(s, r, v, h) ||
          pseudoReaches(e, '::before', r, v, h) || pseudoReaches(e, '::after', r, v, h))
        return true;
    }
    return false;
  };
  var keepOut = function (el, out) {
    var a = hidden.get(el);
    if (out && !a) {
      hidden.set(el, el.animate([{ visibility: 'hidden' }, { visibility: 'hidden' }],
                                { duration: Infinity, fill: 'both' }));
    } else if (!out && a) {
      a.cancel();
      hidden.delete(el);
    }
  };

  w.keepOutOfView = function (elements) {
    var v = innerWidth, h = innerHeight;
    var judge = function (el) {
      if (!el.isConnected) {
        keepOut(el, false);
        verdicts.delete(el);
        return;
      }
      var s = getComputedStyle(el), r = el.getBoundingClientRect();
      var at = [r.left, r.top, r.right, r.bottom, v, h].join();
      var seen = verdicts.get(el);
      if (!seen || seen.at != at || touched.has(el)) {
        // A fixed element the page itself hid is not the recorder's to touch.
        var own = hidden.has(el);
        var out = s.position == 'fixed' && (own || s.visibility != 'hidden') && !reaches(el, v, h);
        seen = { at: at, out: out };
        verdicts.set(el, seen);
        touched.delete(el);
      }
      keepOut(el, seen.out && s.position == 'fixed');
    };
    hidden.forEach(function (a, el) { judge(el); });
    for (var i = 0; i < elements.length; ++i) if (!hidden.has(elements[i])) judge(elements[i]);
    return hidden.size;
  };
  return 0;
})
