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
// only while it is a box wholly in the view and on top of what lies there:
// no outline, filter, blend, mask, clip or transform other than a move, no
// animation, video, canvas, frame or picture still on its way in it, what it
// paints placed where this script can tell, and at most two fifths of the
// view high. A plain one (an opaque background, no shadow, no rounded
// corner, on whole pixels of the video, nothing in it painting outside it
// but opaque plain boxes of its own, such as a menu button taller than its
// bar, lifted as layers of their own beside it) is kept from the frame's
// picture. One that mixes with what lies under it (a shadow, rounded
// corners, a translucent background or opacity) or paints outside itself
// otherwise is lifted by the box its ink reaches, with colour and alpha,
// from a picture of it alone over nothing (liftAlone), and drawn over the
// page.
// It is hidden, as out_of_view.js hides parked drawers, by an animation of
// its visibility from the recorder's own script world, so the page's DOM and
// styles stay as they are.
//
// Defines liftLayers(items, kept, scale) in the recorder's script world:
// `items` are [element, computed style, bounding rectangle] of the stuck
// fixed and sticky elements in view, `kept` the [id, version, ...] whose
// pixels the recorder holds, `scale` the video's pixels per CSS pixel.
// Answers { layers: [id, version, left, top, right, bottom, hidden, alpha,
// ...] in CSS px of the view, hidden: the set of elements hidden in this frame,
// beside: for each lifted element shown, the boxes it paints outside itself }.
(function () {
  var w = window, d = document;
  if (w.liftLayers) return 0;
  // element -> { id, version, signature, hide, touched, beside, ids, ink,
  // unkept }: `beside` the solid boxes it paints outside itself, lifted as
  // layers `ids`; `ink` the box of one lifted with alpha; `unkept` its
  // versions in a row never hidden.
  var lifted = new Map();
  var ours = new WeakSet();  // the animations this script made
  var nextId = 1;
  var apart = [];  // the animations that leave lifted elements alone
  // Those with alpha that changed version after version without ever being
  // hidden (a progress bar in a header): taking them alone each time costs
  // more than the engine's painting, which paints them from then on.
  var restless = new WeakSet();
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
  // Nothing in the element paints outside it but solid boxes of its own:
  // what reaches beyond its box (a line box taller than the bar, a margin)
  // is a transparent box without border or shadow, or a solid box, and its
  // text and pictures lie inside one of them; what lies inside reaches no
  // further out with its shadow or outline, and its ::before and ::after
  // boxes lie inside too. Too much to look through counts as painting
  // outside. Or, for one lifted with alpha, where all that reaches: `ink`
  // is { boxes, grow }, and with `grow` its one box takes in what paints.
  var within = function (a, r) {
    return a.left >= r.left - 0.5 && a.top >= r.top - 0.5 && a.right <= r.right + 0.5 &&
           a.bottom <= r.bottom + 0.5;
  };
  var inside = function (a, boxes) {
    return boxes.some(function (r) { return within(a, r); });
  };
  var fits = function (a, ink) {
    if (inside(a, ink.boxes)) return true;
    if (!ink.grow) return false;
    var b = ink.boxes[0];
    ink.boxes[0] = { left: Math.min(b.left, a.left), top: Math.min(b.top, a.top),
                     right: Math.max(b.right, a.right), bottom: Math.max(b.bottom, a.bottom) };
    return true;
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
  var pseudosInside = function (node, el, ink) {
    return ['::before', '::after'].every(function (which) {
      var p = getComputedStyle(node, which);
      if (p.content == 'none' || p.content == 'normal' || p.display == 'none') return true;
      if (p.content == '""' && !paints(p)) return true;
      var box = pseudoBox(node, p, el);
      return box !== null && fits(grown(box, reach(p)), ink);
    });
  };
  // A list item's marker outside it lies within two of its ems beside it.
  var markerInside = function (node, c, ink) {
    if (c.display != 'list-item' || c.listStylePosition != 'outside' ||
        (c.listStyleType == 'none' && c.listStyleImage == 'none'))
      return true;
    var b = node.getBoundingClientRect(), em = 2 * parseFloat(c.fontSize);
    return fits({ left: b.left - em, top: b.top, right: b.right + em, bottom: b.bottom }, ink);
  };
  var clear = function (c) {
    return c.opacity == '1' && c.transform == 'none' && c.filter == 'none' &&
           c.mixBlendMode == 'normal' && c.clipPath == 'none' &&
           (c.maskImage || c.webkitMaskImage || 'none') == 'none';
  };
  // A box in the element that paints outside it and can be lifted beside
  // it, every pixel its own: an opaque background and nothing else at its
  // edge (no border, shadow, outline, radius, native look), in the view, and
  // nothing from it up to the element that clips, fades, filters or moves
  // it. Its background covers the device pixels its edges round to (a 32 px
  // glyph's line box ends between rows).
  var snapped = function (b, scale) {
    var at = function (x) { return Math.round(x * scale) / scale; };
    return { left: at(b.left), top: at(b.top), right: at(b.right), bottom: at(b.bottom) };
  };
  var solid = function (node, c, b, el, scale) {
    if (/^(IMG|SVG|svg|VIDEO|CANVAS|IFRAME|INPUT|SELECT|TEXTAREA|OBJECT|EMBED)$/.test(node.tagName))
      return false;
    if (!opaque(c.backgroundColor) || c.backgroundImage != 'none' || reach(c) > 0 || !clear(c) ||
        (c.backdropFilter || c.webkitBackdropFilter || 'none') != 'none')
      return false;
    if ([c.borderTopWidth, c.borderRightWidth, c.borderBottomWidth, c.borderLeftWidth,
         c.borderTopLeftRadius, c.borderTopRightRadius, c.borderBottomLeftRadius,
         c.borderBottomRightRadius].some(function (l) { return parseFloat(l) != 0; }))
      return false;
    if (b.left < 0 || b.top < 0 || b.right > innerWidth || b.bottom > innerHeight) return false;
    for (var n = node.parentElement; n; n = n.parentElement) {
      var p = getComputedStyle(n);
      if (p.overflowX != 'visible' || p.overflowY != 'visible' || p.clip != 'auto') return false;
      if (n === el) return true;
      if (!clear(p)) return false;
    }
    return false;
  };
  // [r, the solid boxes it paints beside r], or null where it paints
  // anything else outside; with `grow`, [the box all its ink lies in].
  var inkInside = function (el, r, scale, grow) {
    var ink = { boxes: [r], grow: grow };
    if (!pseudosInside(el, el, ink)) return null;
    var walk = d.createTreeWalker(el, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
    var range = d.createRange();
    for (var n = 0, node = walk.nextNode(); node; node = walk.nextNode()) {
      if (++n > 400) return null;
      if (node.nodeType == Node.TEXT_NODE) {
        range.selectNodeContents(node);
        var lines = range.getClientRects();
        var shadow = node.parentElement ? getComputedStyle(node.parentElement).textShadow : 'none';
        for (var i = 0; i < lines.length; ++i)
          if (lines[i].width > 0 && !fits(grown(lines[i], lengths(shadow)), ink)) return null;
        continue;
      }
      var c = getComputedStyle(node);
      if (c.display == 'none') continue;
      var b = node.getBoundingClientRect();
      var out = b.width > 0 && b.height > 0 && !inside(grown(b, reach(c)), ink.boxes);
      if (out && !grow && solid(node, c, b, el, scale)) {
        ink.boxes.push(snapped(b, scale));
        out = false;
      }
      if (!pseudosInside(node, el, ink) || !markerInside(node, c, ink)) return null;
      if (!out) continue;
      if ((/^(IMG|SVG|svg|VIDEO|CANVAS|IFRAME|INPUT|BUTTON|SELECT|TEXTAREA)$/.test(node.tagName) ||
           paints(c)) && !fits(grown(b, reach(c)), ink))
        return null;
    }
    return ink.boxes;
  };
  // What the page shows through it, or around it, mixes into its pixels:
  // it is lifted with its own alpha (a backdrop filter is not painted here:
  // the box is as translucent as its background).
  var seeThrough = function (s) {
    return !opaque(s.backgroundColor) || s.opacity != '1' || s.boxShadow != 'none' ||
           (s.backdropFilter || s.webkitBackdropFilter || 'none') != 'none' ||
           s.borderTopLeftRadius != '0px' || s.borderTopRightRadius != '0px' ||
           s.borderBottomLeftRadius != '0px' || s.borderBottomRightRadius != '0px';
  };
  // A box out to whole pixels, in the view.
  var outward = function (g, scale) {
    var out = function (x, up) {
      return (up ? Math.ceil(x * scale - 1e-3) : Math.floor(x * scale + 1e-3)) / scale;
    };
    return { left: Math.max(0, out(g.left, false)), top: Math.max(0, out(g.top, false)),
             right: Math.min(innerWidth, out(g.right, true)),
             bottom: Math.min(innerHeight, out(g.bottom, true)) };
  };
  // { beside, ink } when it can be lifted: the solid boxes it paints beside
  // itself, and for one with alpha of its own, or one in which something
  // not plain paints outside it (a rounded button below a bar), the box its
  // ink lies in.
  var plainBox = function (el, s, r, scale) {
    if (r.left < 0 || r.top < 0 || r.right > innerWidth || r.bottom > innerHeight ||
        r.width <= 0 || r.height <= 0 || r.height > innerHeight * 0.4)
      return false;
    var alpha = seeThrough(s);
    if (!alpha && !(whole(r.left, scale) && whole(r.top, scale) && whole(r.right, scale) &&
                    whole(r.bottom, scale)))
      return false;
    if (s.filter != 'none' || s.mixBlendMode != 'normal' || s.clipPath != 'none' ||
        s.outlineStyle != 'none' || (s.maskImage || s.webkitMaskImage || 'none') != 'none')
      return false;
    if (s.transform != 'none' && !/^matrix\(1, 0, 0, 1,/.test(s.transform)) return false;
    var found = inkInside(el, alpha ? grown(r, reach(s)) : r, scale, alpha);
    if (!found && !alpha) {
      alpha = true;
      found = inkInside(el, grown(r, reach(s)), scale, true);
    }
    if (!found) return false;
    if (el.querySelector('video, canvas, iframe, embed, object')) return false;
    var images = el.getElementsByTagName('img');
    for (var i = 0; i < images.length; ++i)
      if (!images[i].complete || /\.(gif|webp|apng)(\?|#|$)/i.test(images[i].currentSrc))
        return false;
    if (!alpha) return { beside: found.slice(1), ink: null };
    var ink = outward(found[0], scale);
    if (ink.bottom - ink.top > innerHeight * 0.4) return false;
    return { beside: [], ink: ink };
  };
  var animates = function (el) {
    return el.getAnimations({ subtree: true }).some(function (a) { return !ours.has(a); });
  };
  // Seen at its corners and centre (a rounded one: the middles of its
  // edges), the element or what is in it is what the view shows there.
  var onTop = function (el, r, rounded) {
    var xs = [r.left + 1, (r.left + r.right) / 2, r.right - 1];
    var ys = [r.top + 1, (r.top + r.bottom) / 2, r.bottom - 1];
    for (var i = 0; i < 3; ++i)
      for (var j = 0; j < 3; ++j) {
        if (rounded ? i != 1 && j != 1 : (i == 1) != (j == 1)) continue;
        var hit = d.elementFromPoint(xs[i], ys[j]);
        if (!hit || !(hit === el || el.contains(hit))) return false;
      }
    return true;
  };
  var signature = function (s, r) {
    return [s.backgroundColor, s.backgroundImage, s.color, s.borderColor, s.borderWidth,
            s.transform, s.fontSize, s.boxShadow, s.opacity, r.left, r.top, r.right,
            r.bottom].join('|');
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
  // plainBox's answer, or false.
  var plainNow = function (el, s, r, scale) {
    var seen = look(s, r, scale);
    if (rejected.get(el) === seen) return false;
    rejected.delete(el);
    var verdict = plainBox(el, s, r, scale);
    if (verdict) return verdict;
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
    var besides = new Map();
    if (apart.length) w.liftAlone([]);
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
      var meets = function (box) {
        return items.some(function (other, m) { return m != n && meet(other[2], box); });
      };
      var fails = meets(judged && entry.ink || r) || judged && entry.beside.some(meets) ||
                  animates(el);
      var verdict = null;
      if (!fails && !judged) {
        verdict = plainNow(el, s, r, scale);
        fails = !verdict || !onTop(el, r, verdict.ink) ||
                verdict.ink && (restless.has(el) || meets(verdict.ink)) ||
                verdict.beside.some(function (b) { return meets(b) || !onTop(el, b); });
      }
      if (fails) {
        if (entry) {
          show(entry);
          lifted.delete(el);
        }
        return;
      }
      if (!entry) {
        entry = { id: nextId++, version: 0, signature: '', hide: null, touched: false,
                  beside: [], ids: [], ink: null, unkept: 0 };
        lifted.set(el, entry);
      }
      seen.add(el);
      var kept = function (id) { return keeps.get(id) === entry.version; };
      if (!judged) {
        entry.signature = sig;
        entry.beside = verdict.beside;
        entry.ink = verdict.ink;
        while (entry.ids.length < entry.beside.length) entry.ids.push(nextId++);
        ++entry.version;
        if (entry.ink && ++entry.unkept > 3) restless.add(el);
      } else if (kept(entry.id) && entry.ids.slice(0, entry.beside.length).every(kept)) {
        hide(el, entry);
        hidden.add(el);
        entry.unkept = 0;
      } else {
        show(entry);
      }
      var off = entry.hide ? 1 : 0, box = entry.ink || r;
      layers.push(entry.id, entry.version, box.left, box.top, box.right, box.bottom, off,
                  entry.ink ? 1 : 0);
      entry.beside.forEach(function (b, k) {
        layers.push(entry.ids[k], entry.version, b.left, b.top, b.right, b.bottom, off, 0);
      });
      if (!off && entry.beside.length) besides.set(el, entry.beside);
    });
    lifted.forEach(function (entry, el) {
      if (seen.has(el)) return;
      show(entry);
      lifted.delete(el);
    });
    rejected.forEach(function (look, el) {
      if (!present.has(el)) rejected.delete(el);
    });
    return { layers: layers, hidden: hidden, beside: besides };
  };

  // The lifted elements `ids` alone in the view's pictures, over nothing:
  // the rest of the page hidden and its background cleared by animations of
  // the recorder's own, until called with none. Answers how many it found.
  w.liftAlone = function (ids) {
    apart.forEach(function (a) { a.cancel(); });
    apart = [];
    var run = function (el, look) {
      var a = el.animate([look, look], { duration: Infinity, fill: 'both' });
      ours.add(a);
      apart.push(a);
    };
    var found = 0;
    lifted.forEach(function (entry, el) {
      if (ids.indexOf(entry.id) < 0) return;
      run(el, { visibility: 'visible' });
      ++found;
    });
    if (!found) return 0;
    [d.documentElement, d.body].forEach(function (el) {
      if (el) {
        run(el, { visibility: 'hidden', backgroundColor: 'transparent',
                  backgroundImage: 'none' });
      }
    });
    return found;
  };
  return 0;
})
