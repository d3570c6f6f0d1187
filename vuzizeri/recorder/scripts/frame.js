// One frame's work in the page, in the recorder's own script world: the
// page's document, but none of the page's globals, so the page can neither
// see this nor change what it finds.
//
//   check: { giveUp }  How many of the images, background images and web
//       fonts in view are still on their way. A lazy image starts loading
//       as the scroll brings it near, and a page's own script may set others
//       as they come into view, so this is asked once the picture of the
//       frame is there. With giveUp, those still on their way are given up
//       for the rest of the run, and the answer is 0.
//   step: { ticks, clockEvent, scrollTo, seconds, lift }  The page's own clocks
//       move `ticks` frames on (each tick is one `clockEvent` for the video
//       clock's script); its CSS animations and transitions are put at
//       `seconds` of the video's clock, each paused and set to where it
//       stood when first seen plus the video's time; the page scrolls to the
//       whole CSS pixel `scrollTo` unless it is null. The answer is
//       [offset, end offset, [left, top, right, bottom, ...]] in CSS px, the
//       rectangles those of the parts that stay in the view as it scrolls:
//       fixed elements, and sticky ones where they are stuck (at their inset
//       from the view's edge), with what their own ::before and ::after
//       paint beside them. The elements that may be such are looked for
//       again only when the document changes. With `lift` ({ kept, scale }),
//       those that can be are lifted out of the engine's painting
//       (lift_layers.js): the hidden ones are not among the rectangles, and
//       a fourth element lists the lifted ones.
//
// With both, the step is taken only once nothing is on its way: the answer
// is then [pending] or [0, the step's answer].
(function ({ check, step }) {
  var w = window, d = document;

  var stillOnItsWay = function (giveUp) {
    var h = innerHeight, v = innerWidth;
    var givenUp = w.givenUp || (w.givenUp = new Set());
    var backgrounds = w.backgroundImages || (w.backgroundImages = new Map());
    var inView = function (el) {
      var r = el.getBoundingClientRect();
      return r.width > 0 && r.height > 0 && r.bottom > 0 && r.top < h && r.right > 0 && r.left < v;
    };
    var pending = [];
    Array.prototype.forEach.call(d.images, function (img) {
      if (!img.complete && !givenUp.has(img) && inView(img)) pending.push(img);
    });
    // Background images are looked up through images of their own, which
    // the engine serves from its cache once the page's have arrived.
    (w.withBackground || []).forEach(function (el) {
      if (!el.isConnected || !inView(el)) return;
      var urls = getComputedStyle(el).backgroundImage.match(/url\("[^"]*"\)|url\([^)]*\)/g) || [];
      urls.forEach(function (u) {
        u = u.slice(4, -1).replace(/^"|"$/g, '');
        if (!backgrounds.has(u)) { var img = new Image(); img.src = u; backgrounds.set(u, img); }
        var img = backgrounds.get(u);
        if (!img.complete && !givenUp.has(img)) pending.push(img);
      });
    });
    if (d.fonts && d.fonts.status == 'loading' && !givenUp.has(d.fonts)) pending.push(d.fonts);
    if (giveUp) pending.forEach(function (p) { givenUp.add(p); });
    return giveUp ? 0 : pending.length;
  };

  // A stuck element's box with what its own ::before and ::after, placed
  // against it, paint beside it (a band under a header): they stay too.
  var withItsOwn = function (el, r) {
    var box = [r.left, r.top, r.right, r.bottom];
    ['::before', '::after'].forEach(function (which) {
      var p = getComputedStyle(el, which);
      if (p.content == 'none' || p.content == 'normal' || p.display == 'none' ||
          p.position != 'absolute' || p.transform != 'none')
        return;
      var across = function (a, b) {
        if (p.boxSizing == 'border-box') return 0;
        return [p['padding' + a], p['padding' + b], p['border' + a + 'Width'],
                p['border' + b + 'Width']].reduce(function (sum, l) {
          return sum + parseFloat(l);
        }, 0);
      };
      var left = r.left + el.clientLeft + parseFloat(p.left) + parseFloat(p.marginLeft);
      var top = r.top + el.clientTop + parseFloat(p.top) + parseFloat(p.marginTop);
      var right = left + parseFloat(p.width) + across('Left', 'Right');
      var bottom = top + parseFloat(p.height) + across('Top', 'Bottom');
      if (![left, top, right, bottom].every(isFinite) || right <= left || bottom <= top) return;
      box = [Math.min(box[0], left), Math.min(box[1], top), Math.max(box[2], right),
             Math.max(box[3], bottom)];
    });
    return box;
  };

  var moveOn = function (ticks, clockEvent, y, t, lift) {
    for (var i = 0; i < ticks; ++i) d.dispatchEvent(new Event(clockEvent));
    if (d.getAnimations) {
      var fromCss = function (a) {
        return (typeof CSSAnimation != 'undefined' && a instanceof CSSAnimation) ||
               (typeof CSSTransition != 'undefined' && a instanceof CSSTransition);
      };
      var clock = w.animationStarts || (w.animationStarts = new WeakMap());
      d.getAnimations().forEach(function (a) {
        if (!fromCss(a)) return;
        if (!clock.has(a)) clock.set(a, (a.currentTime || 0) - t * 1000);
        a.pause();
        a.currentTime = clock.get(a) + t * 1000;
      });
    }
    if (y !== null) w.scrollTo({ top: y, behavior: 'instant' });
    var b = d.body, e = d.documentElement;
    if (!w.stillParts || w.stillPartsChanged) {
      w.stillPartsChanged = false;
      w.stillParts = [];
      w.withBackground = [];
      var all = d.getElementsByTagName('*');
      for (var k = 0; k < all.length; ++k) {
        var s = getComputedStyle(all[k]);
        if (s.position == 'fixed' || s.position == 'sticky') w.stillParts.push(all[k]);
        if (s.backgroundImage.indexOf('url(') >= 0) w.withBackground.push(all[k]);
      }
      if (!w.stillPartsWatch && w.MutationObserver && e) {
        w.stillPartsWatch = new MutationObserver(function () { w.stillPartsChanged = true; });
        w.stillPartsWatch.observe(e, { subtree: true, childList: true, attributes: true,
                                       attributeFilter: ['class', 'style'] });
      }
    }
    var stuck = [];
    w.stillParts.forEach(function (el) {
      if (!el.isConnected) return;
      var s = getComputedStyle(el), r = el.getBoundingClientRect();
      if (r.width <= 0 || r.height <= 0 || r.bottom <= 0 || r.top >= innerHeight) return;
      if (s.position == 'fixed' || (s.position == 'sticky' &&
          ((s.top != 'auto' && Math.abs(r.top - parseFloat(s.top)) < 0.5) ||
           (s.bottom != 'auto' && Math.abs(innerHeight - r.bottom - parseFloat(s.bottom)) < 0.5))))
        stuck.push([el, s, r]);
    });
    var lifted = lift && w.liftLayers ? w.liftLayers(stuck, lift.kept, lift.scale)
                                      : { layers: [], hidden: new Set() };
    var still = [];
    stuck.forEach(function (item) {
      var r = item[2];
      if (lifted.hidden.has(item[0])) return;
      still.push.apply(still, withItsOwn(item[0], r));
      // What a lifted one paints beside itself is kept from this picture.
      ((lifted.beside && lifted.beside.get(item[0])) || []).forEach(function (b) {
        still.push(b.left, b.top, b.right, b.bottom);
      });
    });
    if (w.keepOutOfView) w.keepOutOfView(w.stillParts);
    return [w.pageYOffset,
            Math.max(b ? b.scrollHeight : 0, e ? e.scrollHeight : 0) - innerHeight, still,
            lifted.layers];
  };

  if (check) {
    var pending = stillOnItsWay(check.giveUp);
    if (!step) return pending;
    if (pending > 0) return [pending];
  }
  var answer = moveOn(step.ticks, step.clockEvent, step.scrollTo, step.seconds, step.lift);
  return check ? [0, answer] : answer;
})
