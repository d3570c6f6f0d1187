// Fixed and sticky elements in view — a header, a tab bar — lifted out of
// the engine's painting frame by frame: without a compositor the engine
// repaints the whole view into fresh memory at every scroll while one shows
// (on Rust's Vec page at scale 3, a 45 px sticky bar cost a fifth of the
// recording's time), where without it the engine moves what it painted and
// paints only the rows that come into view. The recorder draws each lifted
// element itself, over the page, from its picture as the engine last painted
// it: the element shows in the frame in which it is first seen or may look
// otherwise (its style, its place, anything in the document), the recorder
// keeps its pixels from that frame, and from the next frame on it is hidden
// and drawn from them.
//
// So that its pixels are the element and nothing else, an element is lifted
// only while it is a plain opaque box wholly in the view, on whole pixels of
// the video and on top of what lies there: an opaque background, no shadow,
// outline, rounded corner, filter, blend, mask, clip or transform other than
// a move, nothing in it painting outside it, no animation, video, canvas, frame or
// picture still on its way in it, and at most two fifths of the view high.
// It is hidden, as out_of_view.js hides parked drawers, by an animation of
// its visibility from the recorder's own script world, so the page's DOM and
// styles stay as they are.
//
// Defines liftLayers(items, kept, scale) in the recorder's script world:
// `items` are [element, computed style, bounding rectangle] of the stuck
// fixed and sticky elements in view, `kept` the [id, version, ...] whose
// pixels the recorder holds, `scale` the video's pixels per CSS pixel.
// Answers { layers: [id, version, left, top, right, bottom, hidden, ...] in
// CSS px of the view, hidden: the set of elements hidden in this frame }.
(function () {
  var w = window, d = document;
  if (w.liftLayers) return 0;
  var lifted = new Map();  // element -> { id, version, signature, hide, touched }
  var ours = new WeakSet();  // the animations this script made
  var nextId = 1;
  // A change in an element, or in one that holds it (a class on the body),
  // or a node added beside it, may change how it looks or what lies over it.
  new MutationObserver(function (records) {
    records.forEach(function (m) {
      lifted.forEach(function (entry, el) {
        if (el.contains(m.target) || m.target.contains(el)) entry.touched = true;
      });
    });
  }).observe(d.documentElement, { subtree: true, childList: true, attributes: true,
                                  characterData: true });
  // An element turned down as not plain is not looked through again while
  // it looks the same and nothing in it or around it changed. Its own
  // watch, read as the frame's judging starts, also sees what the page did
  // in this frame's clock events.
  var rejected = new Map();  // element -> how it looked when turned down
  var forget = function (records) {
    records.forEach(function (m) {
      rejected.forEach(function (look, el) {
        if (el.contains(m.target) || m.target.contains(el)) rejected.delete(el);
      });
    });
  };
  var rejectWatch = new MutationObserver(forget);
  rejectWatch.observe(d.documentElement, { subtree: true, childList: true, attributes: true,
                                           characterData: true });

  var opaque = function (colour) {
    var m = colour.match(/rgba?\(([^)]*)\)/);
    if (!m) return false;
    var c = m[1].split(/[\s,\/]+/).filter(Boolean);
    return c.length < 4 || parseFloat(c[3]) >= 1;
  };
  var whole = function (css, scale) {
    var px = css * scale;
    return Math.abs(px - Math.round(px)) < 1e-3;
  };
  // Nothing in the element paints outside it: what reaches beyond its box
  // (a line box taller than the bar, a margin) is a transparent box without
  // border or shadow, and its text and pictures lie inside; what lies inside
  // reaches no further out with its shadow or outline, and its ::before and
  // ::after boxes lie inside too. Too much to look through counts as
  // painting outside.
  var within = function (a, r) {
    return a.left >= r.left - 0.5 && a.top >= r.top - 0.5 && a.right <= r.right + 0.5 &&
           a.bottom <= r.bottom + 0.5;
  };
  var grown = function (a, by) {
    return { left: a.left - by, top: a.top - by, right: a.right + by, bottom: a.bottom + by };
  };
  // The sum of a value's lengths bounds how far its shadows' offsets, blur
  // and spread reach.
  var lengths = function (value) {
    var sum = 0;
    (value.match(/-?[\d.]+px/g) || []).forEach(function (l) { sum += Math.abs(parseFloat(l)); });
    return sum;
  };
  var reach = function (c) {
    var shadows = c.boxShadow == 'none' ? [] : c.boxShadow.split(/,(?![^(]*\))/);
    var far = shadows.reduce(function (sum, one) {
      return /\binset\b/.test(one) ? sum : sum + lengths(one);
    }, 0);
    if (c.outlineStyle != 'none') far += lengths(c.outlineWidth) + lengths(c.outlineOffset);
    if (c.filter != 'none') far += 3 * lengths(c.filter);
    return far;
  };
  var paints = function (c) {
    return c.backgroundImage != 'none' || (!/transparent/.test(c.backgroundColor) &&
           !/rgba\([^)]*,\s*0\)/.test(c.backgroundColor)) || c.boxShadow != 'none' ||
           c.outlineStyle != 'none' || parseFloat(c.borderTopWidth) > 0 ||
           parseFloat(c.borderRightWidth) > 0 || parseFloat(c.borderBottomWidth) > 0 ||
           parseFloat(c.borderLeftWidth) > 0;
  };
  // What an absolutely placed box inside `node` is placed against: the
  // nearest placed element, up to the lifted one (placed itself); null where
  // something between could hold it otherwise.
  var holderOf = function (node, el) {
    for (var n = node; n; n = n.parentElement) {
      var c = getComputedStyle(n);
      if (n === el || c.position != 'static') return n;
      if (c.transform != 'none' || c.filter != 'none' || c.perspective != 'none' ||
          (c.contain || 'none') != 'none' || c.willChange != 'auto')
        return null;
    }
    return null;
  };
  // The box a displayed ::before or ::after of `node` may paint in: placed
  // absolutely, as its insets and size say; in the flow, within what `node`
  // lays out. Null where that cannot be told.
  var pseudoBox = function (node, p, el) {
    if (p.transform != 'none' || p.position == 'fixed' || p.position == 'sticky') return null;
    if (p.position == 'absolute') {
      var holder = holderOf(node, el);
      if (!holder) return null;
      // The padding and border on two sides, where the size leaves them out.
      var across = function (a, b) {
        if (p.boxSizing == 'border-box') return 0;
        return lengths([p['padding' + a], p['padding' + b], p['border' + a + 'Width'],
                        p['border' + b + 'Width']].join(' '));
      };
      var hb = holder.getBoundingClientRect();
      var left = hb.left + holder.clientLeft + parseFloat(p.left) + parseFloat(p.marginLeft);
      var top = hb.top + holder.clientTop + parseFloat(p.top) + parseFloat(p.marginTop);
      var width = parseFloat(p.width) + across('Left', 'Right');
      var height = parseFloat(p.height) + across('Top', 'Bottom');
      if (![left, top, width, height].every(isFinite)) return null;
      return { left: left, top: top, right: left + width, bottom: top + height };
    }
    var b = node.getBoundingClientRect();
    var box = { left: b.left, top: b.top,
                right: Math.max(b.right, b.left + node.clientLeft + node.scrollWidth),
                bottom: Math.max(b.bottom, b.top + node.clientTop + node.scrollHeight) };
    return p.position == 'relative' ? grown(box, lengths(p.left + ' ' + p.top)) : box;
  };
  var pseudosInside = function (node, el, r) {
    return ['::before', '::after'].every(function (which) {
      var p = getComputedStyle(node, which);
      if (p.content == 'none' || p.content == 'normal' || p.display == 'none') return true;
      if (p.content == '""' && !paints(p)) return true;
      var box = pseudoBox(node, p, el);
      return box !== null && within(grown(box, reach(p)), r);
    });
  };
  // A list item's marker outside it lies within two of its ems beside it.
  var markerInside = function (node, c, r) {
    if (c.display != 'list-item' || c.listStylePosition != 'outside' ||
        (c.listStyleType == 'none' && c.listStyleImage == 'none'))
      return true;
    var b = node.getBoundingClientRect(), em = 2 * parseFloat(c.fontSize);
    return within({ left: b.left - em, top: b.top, right: b.right + em, bottom: b.bottom }, r);
  };
  var inkInside = function (el, r) {
    if (!pseudosInside(el, el, r)) return false;
    var walk = d.createTreeWalker(el, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
    var range = d.createRange();
    for (var n = 0, node = walk.nextNode(); node; node = walk.nextNode()) {
      if (++n > 400) return false;
      if (node.nodeType == Node.TEXT_NODE) {
        range.selectNodeContents(node);
        var lines = range.getClientRects();
        var shadow = node.parentElement ? getComputedStyle(node.parentElement).textShadow : 'none';
        for (var i = 0; i < lines.length; ++i)
          if (lines[i].width > 0 && !within(grown(lines[i], lengths(shadow)), r)) return false;
        continue;
      }
      var c = getComputedStyle(node);
      if (c.display == 'none') continue;
      if (!pseudosInside(node, el, r) || !markerInside(node, c, r)) return false;
      var b = node.getBoundingClientRect();
      if (b.width <= 0 || b.height <= 0 || within(grown(b, reach(c)), r)) continue;
      if (/^(IMG|SVG|svg|VIDEO|CANVAS|IFRAME|INPUT|BUTTON|SELECT|TEXTAREA)$/.test(node.tagName) ||
          paints(c))
        return false;
    }
    return true;
  };
  var plainBox = function (el, s, r, scale) {
    if (r.left < 0 || r.top < 0 || r.right > innerWidth || r.bottom > innerHeight ||
        r.width <= 0 || r.height <= 0 || r.height > innerHeight * 0.4)
      return false;
    if (!whole(r.left, scale) || !whole(r.top, scale) || !whole(r.right, scale) ||
        !whole(r.bottom, scale))
      return false;
    if (!opaque(s.backgroundColor) || s.opacity != '1' || s.boxShadow != 'none' ||
        s.filter != 'none' || s.mixBlendMode != 'normal' || s.clipPath != 'none' ||
        s.outlineStyle != 'none')
      return false;
    if ((s.backdropFilter || s.webkitBackdropFilter || 'none') != 'none' ||
        (s.maskImage || s.webkitMaskImage || 'none') != 'none')
      return false;
    if (s.borderTopLeftRadius != '0px' || s.borderTopRightRadius != '0px' ||
        s.borderBottomLeftRadius != '0px' || s.borderBottomRightRadius != '0px')
      return false;
    if (s.transform != 'none' && !/^matrix\(1, 0, 0, 1,/.test(s.transform)) return false;
    if (!inkInside(el, r)) return false;
    if (el.querySelector('video, canvas, iframe, embed, object')) return false;
    var images = el.getElementsByTagName('img');
    for (var i = 0; i < images.length; ++i)
      if (!images[i].complete || /\.(gif|webp|apng)(\?|#|$)/i.test(images[i].currentSrc))
        return false;
    return true;
  };
  var animates = function (el) {
    return el.getAnimations({ subtree: true }).some(function (a) { return !ours.has(a); });
  };
  // Seen at its corners and centre, the element or what is in it is what
  // the view shows there.
  var onTop = function (el, r) {
    var xs = [r.left + 1, (r.left + r.right) / 2, r.right - 1];
    var ys = [r.top + 1, (r.top + r.bottom) / 2, r.bottom - 1];
    for (var i = 0; i < 3; ++i)
      for (var j = 0; j < 3; ++j) {
        if ((i == 1) != (j == 1)) continue;
        var hit = d.elementFromPoint(xs[i], ys[j]);
        if (!hit || !(hit === el || el.contains(hit))) return false;
      }
    return true;
  };
  var signature = function (s, r) {
    return [s.backgroundColor, s.backgroundImage, s.color, s.borderColor, s.borderWidth,
            s.transform, s.fontSize, r.left, r.top, r.right, r.bottom].join('|');
  };
  // All that plainBox reads of the element itself, and the view.
  var look = function (s, r, scale) {
    return [signature(s, r), s.opacity, s.boxShadow, s.filter, s.mixBlendMode, s.clipPath,
            s.outlineStyle, s.backdropFilter, s.webkitBackdropFilter, s.maskImage,
            s.webkitMaskImage, s.borderTopLeftRadius, s.borderTopRightRadius,
            s.borderBottomLeftRadius, s.borderBottomRightRadius, scale, innerWidth,
            innerHeight].join('|');
  };
  // A picture or font still on its way may change the verdict without a
  // change in the document.
  var settled = function (el) {
    if (d.fonts && d.fonts.status == 'loading') return false;
    var images = el.getElementsByTagName('img');
    for (var i = 0; i < images.length; ++i)
      if (!images[i].complete) return false;
    return true;
  };
  var plainNow = function (el, s, r, scale) {
    var seen = look(s, r, scale);
    if (rejected.get(el) === seen) return false;
    rejected.delete(el);
    if (plainBox(el, s, r, scale)) return true;
    if (settled(el)) rejected.set(el, seen);
    return false;
  };
  var show = function (entry) {
    if (entry.hide) entry.hide.cancel();
    entry.hide = null;
  };
  var hide = function (el, entry) {
    if (entry.hide) return;
    entry.hide = el.animate([{ visibility: 'hidden' }, { visibility: 'hidden' }],
                            { duration: Infinity, fill: 'both' });
    ours.add(entry.hide);
  };

  var meet = function (a, b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
  };

  w.liftLayers = function (items, kept, scale) {
    var keeps = new Map();
    for (var k = 0; k + 1 < kept.length; k += 2) keeps.set(kept[k], kept[k + 1]);
    var layers = [], hidden = new Set(), seen = new Set(), present = new Set();
    forget(rejectWatch.takeRecords());
    items.forEach(function (item, n) {
      var el = item[0], s = item[1], r = item[2];
      present.add(el);
      var entry = lifted.get(el);
      // What changed is shown, and judged again as it now stands.
      if (entry && entry.touched) {
        entry.touched = false;
        entry.signature = '';
        show(entry);
      }
      if (!entry && s.visibility == 'hidden') return;
      // Judged plain and on top as it stands, unless it looks otherwise now.
      var sig = signature(s, r);
      var judged = entry && sig == entry.signature;
      if (entry && !judged) show(entry);
      var alone = !items.some(function (other, m) { return m != n && meet(other[2], r); });
      if (!alone || animates(el) || !judged && (!plainNow(el, s, r, scale) || !onTop(el, r))) {
        if (entry) {
          show(entry);
          lifted.delete(el);
        }
        return;
      }
      if (!entry) {
        entry = { id: nextId++, version: 0, signature: '', hide: null, touched: false };
        lifted.set(el, entry);
      }
      seen.add(el);
      if (!judged) {
        entry.signature = sig;
        ++entry.version;
      } else if (keeps.get(entry.id) === entry.version) {
        hide(el, entry);
        hidden.add(el);
      } else {
        show(entry);
      }
      layers.push(entry.id, entry.version, r.left, r.top, r.right, r.bottom, entry.hide ? 1 : 0);
    });
    lifted.forEach(function (entry, el) {
      if (seen.has(el)) return;
      show(entry);
      lifted.delete(el);
    });
    rejected.forEach(function (look, el) {
      if (!present.has(el)) rejected.delete(el);
    });
    return { layers: layers, hidden: hidden };
  };
  return 0;
})
