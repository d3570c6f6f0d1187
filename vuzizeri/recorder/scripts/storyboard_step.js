// One storyboard step's work in the page, in the recorder's own script world
// (the page's document, none of its globals). One command a call:
//   scroll: y or null  scrolls to the CSS pixel y (null: stays); answers
//       [offset, end offset].
//   find: selector  the first match's place: [top on the page, top in the
//       view, height, 1 when it shows whole in the view or fills it along a
//       side where it is larger (else 0)], or 'invalid' (not a selector),
//       'none' (no match), 'boxless' (no box: display: none, or inside such
//       an element).
//   box: selector  the first match's box on the page: [left, top, width,
//       height], or one of find's refusals.
//   tap: selector  a finger's tap at the centre of the first match's part in
//       view: touchstart and touchend, then, unless the page cancelled
//       them, mousedown, focus, mouseup and click, as a phone's browser
//       gives them. A disabled control gets the touches but no click, as
//       on a phone. Answers [x, y, clicked] in CSS px of the view (and,
//       when it focused a select or a date or time field, what iOS opens
//       for it: pickerOf's answer), or
//       ['covered', what covers it] when the point shows another element,
//       or one of find's refusals.
//   focus: selector  focuses the first match, its caret at the end: 'ok',
//       'unfocusable' (it takes no focus or no text: a button, a link), or
//       one of find's refusals.
//   type: [keys]  types each key into the focused element: keydown, the
//       text inserted as typing inserts it (beforeinput and input),
//       keyup. Answers 'ok', or 'unfocused' when nothing editable has the
//       focus any more.
//   go: url  leaves for `url` ('ok'), or moves to a fragment of this page
//       ('same'), or refuses what is not a page ('scheme'), a local file
//       from a page of the web ('local') and a port the engine will not use
//       ('port'); then `loaded` answers whether the new page is there:
//       [arrived, its fonts ready].
//   press: [selector, dx, dy]  a finger put down (touchstart) dx, dy CSS px
//       from where tap would tap, and kept down: answers as tap does, from
//       where it came down, without clicking.
//   drag: [[x, y], ...]  the finger that is down moves to each (x, y) in turn
//       (a touchmove each); where
//       the page lets the move be (it does not cancel it), what scrolls
//       under the finger scrolls with it, as on a phone. 'ok', or 'none'
//       when no finger is down.
//   lift: true  the finger that is down comes up (touchend): 'ok' or 'none'.
//   pick: [selector, text]  what iOS opens for the first match and which of
//       its options is `text`: pickerOf's answer, then the view's width and
//       height and the option's index (a date's day of the month), or
//       'notchoice' (no select, date or time field), 'disabled', 'nooption'
//       (no such option or value, or a disabled one), or one of find's
//       refusals.
//   choose: [selector, text]  the option `text` chosen in the first match,
//       with input and change when that changes its value, and the match
//       blurred, as the picker closing leaves it: 'ok'.
//   aim: selector, [selectors] or null  where the camera would centre on
//       the first match (on the box that holds each's first match that
//       shows; null: on the view as the page stands):
//       [zoom now, centre x, centre y of the camera now, centre x, centre y
//       of the match], in CSS px of the unzoomed page, or one of find's
//       refusals.
//   camera: [zoom, x, y, zoom, x, y, part]  the view shows the page as
//       `part` (0 to 1) of the way from the first camera to the second,
//       each the page enlarged `zoom` times around the page's point (x, y)
//       and kept inside the page; the engine paints it at that scale, so it
//       is as sharp as the page itself. Answers the camera as set,
//       [zoom, x, y].
//   keyboard: [letters, pad]  the on-screen keyboard of the focused element:
//       [kind ('text', 'email', 'url', 'numeric', 'tel', 'decimal'), shift
//       on, enterkeyhint or the field's own, the language], or null when it
//       takes no text. When its height (`letters` CSS px, or `pad` for the
//       pads) changes, the page is told, as iOS Safari tells it (its visual
//       viewport that much shorter); a newly focused element is brought
//       above it.
(function ({ scroll, find, box, tap, press, drag, lift, focus, type, go, loaded, aim,
             camera, keyboard, pick, choose }) {
  var w = window, d = document;
  var first = function (selector) {
    try { return d.querySelector(selector) || 'none'; } catch (e) { return 'invalid'; }
  };
  var place = function (el) {
    var r = el.getBoundingClientRect();
    if (!el.getClientRects().length) return 'boxless';
    return r;
  };
  var editable = function (el) {
    if (el.isContentEditable) return true;
    if (el.tagName == 'TEXTAREA') return !el.readOnly && !el.disabled;
    var typed = ['text', 'search', 'email', 'password', 'tel', 'url', 'number'];
    return el.tagName == 'INPUT' && !el.readOnly && !el.disabled &&
           typed.indexOf((el.type || 'text').toLowerCase()) >= 0;
  };
  // The keyboard a phone gives a field: its inputmode, else its type's.
  var keyboardKind = function (el) {
    var mode = (el.getAttribute('inputmode') || '').toLowerCase();
    if (mode == 'none') return null;
    if (['email', 'url', 'numeric', 'tel', 'decimal'].indexOf(mode) >= 0) return mode;
    var type = el.tagName == 'INPUT' ? (el.type || 'text').toLowerCase() : 'text';
    if (['email', 'url', 'tel'].indexOf(type) >= 0) return type;
    return type == 'number' ? 'decimal' : 'text';
  };
  // Whether iOS would have shift on for the next key: at a sentence's start
  // (words': a word's) unless the field asks for none; never in email, url
  // and password fields.
  var shifted = function (el, type, kind) {
    if (kind != 'text' || type == 'password') return false;
    var rule = (el.getAttribute('autocapitalize') || 'sentences').toLowerCase();
    var text = el.isContentEditable ? el.textContent : el.value;
    try { text = text.slice(0, el.isContentEditable ? text.length : el.selectionStart); } catch (e) {}
    if (rule == 'characters') return true;
    if (rule == 'words') return /(^|\s)$/.test(text);
    if (rule != 'sentences' && rule != 'on') return false;
    return /^\s*$/.test(text) || /[.!?]\s+$/.test(text) || /\n$/.test(text);
  };
  // The element scrolled to the middle of the part of the view above the
  // keyboard, room made below the page's end when it needs more.
  var bringAbove = function (el, visible) {
    var r = el.getBoundingClientRect();
    if (r.top >= 0 && r.bottom <= visible) return;
    var by = r.top + r.height / 2 - visible / 2;
    var short = by - (pageEnd() - w.pageYOffset);
    if (short > 0) {
      var room = w.storyRoom || (w.storyRoom = d.createElement('div'));
      room.style.cssText = 'position:absolute;left:0;width:1px;height:1px;visibility:hidden;' +
                           'pointer-events:none;top:' + (pageEnd() + innerHeight + short - 1) + 'px';
      d.documentElement.appendChild(room);
    }
    w.scrollBy({ top: by, behavior: 'instant' });
  };
  // A select's menu: ['menu', [texts], checked, left, top, width, height];
  // a date's or a time's picker: [type, value, left, top, width, height];
  // null for anything else.
  var pickerOf = function (el) {
    var r = el.getBoundingClientRect(), at = [r.left, r.top, r.width, r.height];
    if (el.tagName == 'SELECT') {
      var texts = Array.prototype.map.call(el.options, function (o) { return o.text.trim(); });
      return ['menu', texts, el.selectedIndex].concat(at);
    }
    if (el.tagName == 'INPUT' && (el.type == 'date' || el.type == 'time'))
      return [el.type, el.value].concat(at);
    return null;
  };
  var pickable = 'select, input[type=date], input[type=time]';
  // Which option of `el`'s picker is `text`: its index, a date's day, or -1.
  var optionOf = function (el, text) {
    if (el.tagName == 'SELECT')
      return Array.prototype.findIndex.call(el.options, function (o) {
        return !o.disabled && o.text.trim() == text;
      });
    var probe = d.createElement('input');
    probe.type = el.type;
    probe.value = text;
    if (probe.value !== text || text === '') return -1;
    return el.type == 'date' ? Number(text.slice(8, 10)) : 0;
  };
  var pageEnd = function () {
    var b = d.body, e = d.documentElement;
    return Math.max(b ? b.scrollHeight : 0, e ? e.scrollHeight : 0) - innerHeight;
  };

  // The camera: a transform of the whole page from the recorder's own
  // world, set again each frame of a zoom; layout and scroll stay the page's.
  var shot = w.storyCamera || { zoom: 1, x: null, y: null, animation: null };
  w.storyCamera = shot;
  var viewCentre = function () {
    return [w.pageXOffset + innerWidth / 2, w.pageYOffset + innerHeight / 2];
  };
  if (box !== undefined) {
    var el = first(box);
    if (typeof el == 'string') return el;
    var r = place(el);
    if (typeof r == 'string') return r;
    return [r.left + w.pageXOffset, r.top + w.pageYOffset, r.width, r.height];
  }
  if (aim !== undefined) {
    var now = shot.zoom == 1 ? viewCentre() : [shot.x, shot.y];
    if (aim === null) return [shot.zoom, now[0], now[1]].concat(viewCentre());
    // Several selectors: the box that holds their first matches; the first
    // must show, the others may come later (a menu's item).
    var u = null, aims = Array.isArray(aim) ? aim : [aim];
    for (var i = 0; i < aims.length; i++) {
      var el = first(aims[i]);
      var r = typeof el == 'string' ? el : place(el);
      if (typeof r == 'string' && i == 0) return r;
      if (typeof r == 'string') continue;
      u = u ? [Math.min(u[0], r.left), Math.min(u[1], r.top), Math.max(u[2], r.right),
               Math.max(u[3], r.bottom)] : [r.left, r.top, r.right, r.bottom];
    }
    // Its centre on the page, the camera taken away: the view's point v
    // shows the page's (v - half the view) / zoom + the camera's.
    return [shot.zoom, now[0], now[1],
            ((u[0] + u[2]) / 2 - innerWidth / 2) / shot.zoom + now[0],
            ((u[1] + u[3]) / 2 - innerHeight / 2) / shot.zoom + now[1]];
  }
  if (camera !== undefined) {
    var b = d.body, e = d.documentElement;
    // The page's size as laid out, measured before the camera enlarged it.
    if (shot.zoom == 1)
      shot.page = [Math.max(innerWidth, e ? e.clientWidth : 0),
                   Math.max(b ? b.scrollHeight : 0, e ? e.scrollHeight : 0, innerHeight)];
    // What the view shows at each end, kept inside the page; between them
    // its edges move evenly, so that nothing swings out and back.
    var windowOf = function (zoom, x, y) {
      var width = innerWidth / zoom, height = innerHeight / zoom;
      var left = Math.min(Math.max(x - width / 2, 0), shot.page[0] - width);
      var top = Math.min(Math.max(y - height / 2, 0), shot.page[1] - height);
      return [left, top, width, height];
    };
    var from = windowOf(camera[0], camera[1], camera[2]);
    var to = windowOf(camera[3], camera[4], camera[5]);
    var at = from.map(function (v, i) { return v + (to[i] - v) * camera[6]; });
    var zoom = innerWidth / at[2];
    var x = at[0] + at[2] / 2, y = at[1] + at[3] / 2;
    if (shot.animation) shot.animation.cancel();
    shot.animation = null;
    if (Math.abs(zoom - 1) > 1e-9) {
      var tx = innerWidth / 2 + w.pageXOffset - x * zoom;
      var ty = innerHeight / 2 + w.pageYOffset - y * zoom;
      var frame = { transform: 'translate(' + tx + 'px, ' + ty + 'px) scale(' + zoom + ')',
                    transformOrigin: '0 0' };
      shot.animation = e.animate([frame, frame], { duration: Infinity, fill: 'both' });
    } else {
      zoom = 1;
    }
    shot.zoom = zoom;
    shot.x = zoom == 1 ? null : x;
    shot.y = zoom == 1 ? null : y;
    return [zoom, x, y];
  }
  if (scroll !== undefined) {
    if (scroll !== null) w.scrollTo({ top: scroll, behavior: 'instant' });
    return [w.pageYOffset, pageEnd()];
  }
  if (find !== undefined) {
    var el = first(find);
    if (typeof el == 'string') return el;
    var r = place(el);
    if (typeof r == 'string') return r;
    // Half a pixel either way: a camera centred on a box puts its edges at
    // fractions.
    var fits = function (low, high, size) {
      return (low > -0.5 && high < size + 0.5) || (low < 0.5 && high > size - 0.5);
    };
    var shows = fits(r.left, r.right, innerWidth) && fits(r.top, r.bottom, innerHeight);
    return [r.top + w.pageYOffset, r.top, r.height, shows ? 1 : 0];
  }
  // Where a finger comes down on the first match of `selector`: the centre
  // of its part in view, and what shows there.
  var pointOn = function (selector) {
    var el = first(selector);
    if (typeof el == 'string') return el;
    var r = place(el);
    if (typeof r == 'string') return r;
    var left = Math.max(r.left, 0), right = Math.min(r.right, innerWidth);
    var top = Math.max(r.top, 0), bottom = Math.min(r.bottom, innerHeight);
    if (right <= left || bottom <= top) return 'outside';
    var x = (left + right) / 2, y = (top + bottom) / 2;
    var target = d.elementFromPoint(x, y);
    if (!target || (target !== el && !el.contains(target))) {
      var what = target ? target.tagName.toLowerCase() : 'nada';
      if (target && target.id) what += '#' + target.id;
      else if (target && typeof target.className == 'string' && target.className.trim())
        what += '.' + target.className.trim().split(/\s+/).join('.');
      return ['covered', what];
    }
    return { x: x, y: y, target: target };
  };
  // The engine has no Touch constructor: its touches are made as its own
  // document.createTouch makes them, from the page's coordinates.
  var touch = function (kind, target, x, y) {
    var init = { bubbles: true, cancelable: true, composed: true, view: w };
    try {
      var t = d.createTouch(w, target, 1, x + w.pageXOffset, y + w.pageYOffset, x, y, 20, 20, 0, 1);
      var none = d.createTouchList(), down = d.createTouchList(t);
      init.touches = init.targetTouches = kind == 'touchend' ? none : down;
      init.changedTouches = down;
      return new TouchEvent(kind, init);
    } catch (e) {
      return new UIEvent(kind, init);
    }
  };
  if (tap !== undefined) {
    var at = pointOn(tap);
    if (typeof at == 'string' || Array.isArray(at)) return at;
    var target = at.target, x = at.x, y = at.y;
    var mouse = function (kind) {
      return new MouseEvent(kind, { bubbles: true, cancelable: true, composed: true, view: w,
                                    clientX: x, clientY: y, screenX: x, screenY: y,
                                    button: 0, buttons: kind == 'mousedown' ? 1 : 0, detail: 1 });
    };
    var started = target.dispatchEvent(touch('touchstart', target, x, y));
    var ended = target.dispatchEvent(touch('touchend', target, x, y));
    var disabled = target.closest(':disabled') !== null;
    if (!started || !ended || disabled) return [x, y, false];
    var focusable = null, cancelled = false;
    // The engine's own (desktop) menu for a select or a date stays shut:
    // ours is drawn over the video. Listening last, after the page's own.
    var ownMenu = function (e) {
      cancelled = e.defaultPrevented;
      if (e.target.closest && e.target.closest(pickable)) e.preventDefault();
    };
    w.addEventListener('mousedown', ownMenu);
    var pressed = target.dispatchEvent(mouse('mousedown'));
    w.removeEventListener('mousedown', ownMenu);
    if (pressed || (!cancelled && target.closest(pickable))) {
      // As on a phone, a tap focuses a field to type in, not a button or a link.
      focusable = target.closest('input, textarea, select, [contenteditable]');
      if (focusable) focusable.focus({ preventScroll: true });
      // A tap elsewhere takes the focus from a field, and its keyboard away.
      else if (d.activeElement && editable(d.activeElement)) d.activeElement.blur();
    }
    target.dispatchEvent(mouse('mouseup'));
    target.dispatchEvent(mouse('click'));
    var picker = focusable && d.activeElement === focusable ? pickerOf(focusable) : null;
    return picker ? [x, y, true, picker] : [x, y, true];
  }
  if (press !== undefined) {
    var at = pointOn(press[0]);
    if (typeof at == 'string' || Array.isArray(at)) return at;
    // A swipe comes down short of the centre, on what shows there when that
    // is the element or in it.
    var el = first(press[0]);
    at.x += press[1];
    at.y += press[2];
    var there = d.elementFromPoint(at.x, at.y);
    at.target = there && (there === el || el.contains(there)) ? there : at.target;
    w.storyFinger = at;
    at.target.dispatchEvent(touch('touchstart', at.target, at.x, at.y));
    return [at.x, at.y, false];
  }
  var moveFinger = function (f, point) {
    var dx = point[0] - f.x, dy = point[1] - f.y;
    f.x = point[0];
    f.y = point[1];
    if (f.target.dispatchEvent(touch('touchmove', f.target, f.x, f.y))) {
      // The nearest box that scrolls along the move takes it, the page last.
      for (var el = f.target; el; el = el.parentElement) {
        var cs = getComputedStyle(el);
        var across = Math.abs(dx) >= Math.abs(dy);
        var overflow = across ? cs.overflowX : cs.overflowY;
        var room = across ? el.scrollWidth > el.clientWidth : el.scrollHeight > el.clientHeight;
        if (room && (overflow == 'auto' || overflow == 'scroll') && el !== d.documentElement &&
            el !== d.body) {
          el.scrollBy({ left: -dx, top: -dy, behavior: 'instant' });
          return;
        }
      }
      w.scrollBy({ left: -dx, top: -dy, behavior: 'instant' });
    }
  };
  if (drag !== undefined) {
    var f = w.storyFinger;
    if (!f) return 'none';
    drag.forEach(function (point) { moveFinger(f, point); });
    return 'ok';
  }
  if (lift !== undefined) {
    var f = w.storyFinger;
    if (!f) return 'none';
    w.storyFinger = null;
    f.target.dispatchEvent(touch('touchend', f.target, f.x, f.y));
    return 'ok';
  }
  if (pick !== undefined) {
    var el = first(pick[0]);
    if (typeof el == 'string') return el;
    var r = place(el);
    if (typeof r == 'string') return r;
    var picker = pickerOf(el);
    if (!picker) return 'notchoice';
    if (el.disabled || el.readOnly) return 'disabled';
    var index = optionOf(el, pick[1]);
    if (index < 0) return 'nooption';
    return picker.concat([innerWidth, innerHeight, index]);
  }
  if (choose !== undefined) {
    var el = first(choose[0]);
    if (typeof el == 'string') return el;
    var before = el.value;
    if (el.tagName == 'SELECT') el.selectedIndex = optionOf(el, choose[1]);
    else el.value = choose[1];
    if (el.value !== before) {
      el.dispatchEvent(new Event('input', { bubbles: true, composed: true }));
      el.dispatchEvent(new Event('change', { bubbles: true }));
    }
    // The picker closes, and with it the field's focus.
    el.blur();
    return 'ok';
  }
  if (focus !== undefined) {
    var el = first(focus);
    if (typeof el == 'string') return el;
    var r = place(el);
    if (typeof r == 'string') return r;
    el.focus({ preventScroll: true });
    // A button or a link takes the focus but no text.
    if (d.activeElement !== el || !editable(el)) return 'unfocusable';
    if (typeof el.setSelectionRange == 'function') {
      try { el.setSelectionRange(el.value.length, el.value.length); } catch (e) {}
    }
    return 'ok';
  }
  if (type !== undefined) {
    var el = d.activeElement;
    if (!el || !editable(el)) return 'unfocused';
    type.forEach(function (key) {
      var init = { key: key, bubbles: true, cancelable: true, composed: true, view: w };
      if (el.dispatchEvent(new KeyboardEvent('keydown', init))) {
        el.dispatchEvent(new KeyboardEvent('keypress', init));
        if (!d.execCommand('insertText', false, key)) {
          // A field the editing commands do not reach gets the key as typing
          // gives it.
          if ('value' in el) el.value += key;
          el.dispatchEvent(new InputEvent('input', { bubbles: true, inputType: 'insertText', data: key }));
        }
      }
      el.dispatchEvent(new KeyboardEvent('keyup', init));
    });
    return 'ok';
  }
  if (go !== undefined) {
    // Within the document (a #fragment) the page stays: nothing to wait for.
    var to = new URL(go, w.location.href), here = new URL(w.location.href);
    if (['http:', 'https:', 'file:'].indexOf(to.protocol) < 0) return 'scheme';
    // The ports WebKit will not use (its portAllowed): the Fetch standard's
    // bad ports, and a few more.
    var blockedPorts = [0, 1, 7, 9, 11, 13, 15, 17, 19, 20, 21, 22, 23, 25, 37, 42, 43, 53, 69, 77,
      79, 87, 95, 101, 102, 103, 104, 109, 110, 111, 113, 115, 117, 119, 123, 135, 137, 139, 143,
      161, 179, 389, 427, 465, 512, 513, 514, 515, 526, 530, 531, 532, 540, 548, 554, 556, 563, 587,
      601, 636, 989, 990, 993, 995, 1719, 1720, 1723, 2049, 3659, 4045, 4190, 5060, 5061, 6000, 6566,
      6665, 6666, 6667, 6668, 6669, 6679, 6697, 10080];
    // WebKit would refuse these without a word: a local file from a page of
    // the web, and a port on that list.
    if (to.protocol == 'file:' && here.protocol != 'file:') return 'local';
    if (to.protocol != 'file:' && to.port !== '' && blockedPorts.indexOf(Number(to.port)) >= 0)
      return 'port';
    to.hash = here.hash = '';
    if (to.href == here.href && go.indexOf('#') >= 0) {
      w.location.assign(go);
      return 'same';
    }
    w.storyboardLeft = true;
    w.location.assign(go);
    return 'ok';
  }
  if (keyboard !== undefined) {
    var el = d.activeElement;
    var kind = el && editable(el) ? keyboardKind(el) : null;
    var height = kind ? keyboard[['numeric', 'tel', 'decimal'].indexOf(kind) >= 0 ? 1 : 0] : 0;
    // Zoomed in, the camera shows the element; it is brought above the
    // keyboard once the camera is back.
    var zoomed = shot.zoom != 1;
    var was = w.storyKeyboard || [0, null, false];
    w.storyKeyboard = [height, kind ? el : null, zoomed];
    if (was[0] != height)
      w.dispatchEvent(new CustomEvent('vuzizeri-teclado', { detail: height }));
    if (height && !zoomed && (was[0] != height || was[1] !== el || was[2]))
      bringAbove(el, innerHeight - height);
    else if (!height && w.storyRoom) w.storyRoom.remove();
    if (!kind) return null;
    var type = el.tagName == 'INPUT' ? (el.type || 'text').toLowerCase() : 'text';
    var hint = (el.getAttribute('enterkeyhint') || '').toLowerCase() ||
               (type == 'search' || el.getAttribute('inputmode') == 'search' ? 'search'
                : type == 'url' ? 'go' : '');
    return [kind, shifted(el, type, kind), hint, navigator.language || 'en-US'];
  }
  if (loaded !== undefined)
    return [!w.storyboardLeft && d.readyState == 'complete', !d.fonts || d.fonts.status != 'loading'];
  return null;
})
