// --redigir-texto: text that matches one of `patterns` (JavaScript regular
// expressions, matched within each text node) is not drawn. Run at the start
// of every document, in every frame, before anything of it is painted: the
// matches are a highlight painted without its text (on the --redigir-cor
// `colour`, when given), by a style sheet of the document's own that is not
// in its tree (the engine paints no highlight from a user style sheet),
// found again whenever the document changes. A mutation observer's callback
// runs before the engine paints the change, so text that comes later never
// shows, even for one frame.
//
// What a highlight does not reach is covered whole by the same sheet, through
// an attribute on its element: a form control whose value or placeholder
// matches (typed, set or changed by the page: each is seen before the next
// paint), generated content (::before, ::after) whose text matches, SVG
// text. Shadow roots are walked, watched and given the sheet: open ones, and
// closed ones the page attaches by script (attachShadow is watched from the
// start); a closed root declared in the HTML cannot be seen.
//
// The engine gives up on a match that backtracks too much and says "no
// match", which would leave the text in the clear. Such a search costs far
// more than any honest one of the same text; one that costs that much twice
// (once could be the machine's doing) is reported to the recorder, which
// fails the run.
(function ({ patterns, colour }) {
  if (typeof CSS == 'undefined' || !CSS.highlights || typeof Highlight != 'function') return;
  var d = document, w = window, mark = 'vuzizeri-redigido';
  var report = w.webkit && w.webkit.messageHandlers && w.webkit.messageHandlers.vuzizeri;
  var block = (colour ? ' background-color: ' + colour + ' !important;' : '');
  var unseen = 'color: transparent !important; -webkit-text-fill-color: transparent !important;' +
               ' text-shadow: none !important; caret-color: transparent !important;' +
               ' fill: transparent !important; stroke: transparent !important;' + block;
  var sheet = new CSSStyleSheet();
  sheet.replaceSync('::highlight(vuzizeri-redigido) { color: transparent;' +
                    (colour ? ' background-color: ' + colour + ';' : '') + ' }\n' +
                    '[' + mark + '~=self], [' + mark + '~=self]::placeholder, [' + mark +
                    '~=before]::before, [' + mark + '~=after]::after { ' + unseen + ' }');
  var expressions = patterns.map(function (p) { return new RegExp(p, 'gu'); });
  var covered = new Highlight();
  CSS.highlights.set('vuzizeri-redigido', covered);
  var failed = false;
  var fail = function (i) {
    failed = true;
    if (report) report.postMessage(String(i));
  };
  // Milliseconds a search of `text` may take before it is suspect: an honest
  // one is linear, the engine's limit is a million steps (a second or so
  // here, a few hundred milliseconds on a fast machine).
  var budget = function (text) { return 50 + text.length / 10000; };
  var search = function (e, text) {
    var from = e.lastIndex, start = performance.now();
    var m = e.exec(text);
    if (m || performance.now() - start < budget(text)) return m;
    e.lastIndex = from;
    start = performance.now();
    m = e.exec(text);
    if (!m && performance.now() - start >= budget(text)) throw e;
    return m;
  };
  // Calls found(start, end) for each match of each pattern in `text`.
  var matches = function (text, found) {
    for (var i = 0; i < expressions.length && !failed; ++i) {
      var e = expressions[i];
      e.lastIndex = 0;
      try {
        for (var m = search(e, text); m; m = search(e, text)) {
          if (m[0].length == 0) ++e.lastIndex;
          else found(m.index, m.index + m[0].length);
        }
      } catch (suspect) {
        if (suspect !== e) throw suspect;
        // Covered whole until the run ends.
        found(0, text.length);
        fail(i);
      }
    }
  };
  var matchesAny = function (texts) {
    var hit = false;
    texts.forEach(function (t) {
      if (t && !hit) matches(t, function () { hit = true; });
    });
    return hit;
  };
  // Generated content's text: its strings and the attributes it shows.
  var generated = function (el, which) {
    var content = getComputedStyle(el, which).content, text = '';
    if (!content || content == 'none' || content == 'normal') return '';
    content.replace(/"((?:[^"\\]|\\.)*)"|attr\(\s*([^\s),]+)[^)]*\)/g, function (all, s, name) {
      text += s !== undefined ? s.replace(/\\(.)/g, '$1') : el.getAttribute(name) || '';
    });
    return text;
  };
  var controlText = function (el) {
    if (el.localName == 'select')
      return Array.prototype.map.call(el.selectedOptions || [], function (o) { return o.text; });
    return [el.value, el.placeholder];
  };
  var isControl = function (el) {
    return el.namespaceURI == 'http://www.w3.org/1999/xhtml' &&
           (el.localName == 'input' || el.localName == 'textarea' || el.localName == 'select');
  };
  var shadows = new WeakMap(), watched = new WeakSet();
  var observer = new MutationObserver(function () { scan(); });
  var watching = { subtree: true, childList: true, characterData: true, attributes: true,
                   attributeFilter: ['value', 'placeholder', 'class'] };
  // The page may set a root's sheets after we added ours: it is added again
  // at each scan, before the paint.
  var watch = function (root) {
    if (root.adoptedStyleSheets.indexOf(sheet) < 0)
      root.adoptedStyleSheets = root.adoptedStyleSheets.concat([sheet]);
    if (watched.has(root)) return;
    watched.add(root);
    observer.observe(root, watching);
  };
  var attach = Element.prototype.attachShadow;
  Element.prototype.attachShadow = function () {
    var root = attach.apply(this, arguments);
    shadows.set(this, root);
    watch(root);
    return root;
  };
  var note = function (marks, el, what) {
    marks.set(el, marks.has(el) ? marks.get(el) + ' ' + what : what);
  };
  var text = function (node, marks) {
    var parent = node.parentNode;
    var svg = parent && parent.namespaceURI == 'http://www.w3.org/2000/svg';
    matches(node.data, function (start, end) {
      if (svg) {
        note(marks, parent.closest('text') || parent, 'self');
        return;
      }
      var r = new Range();
      r.setStart(node, start);
      r.setEnd(node, end);
      covered.add(r);
    });
  };
  var element = function (el, marks) {
    if (isControl(el) && matchesAny(controlText(el))) note(marks, el, 'self');
    if (matchesAny([generated(el, '::before')])) note(marks, el, 'before');
    if (matchesAny([generated(el, '::after')])) note(marks, el, 'after');
  };
  var visit = function (root, marks) {
    var walk = d.createTreeWalker(root, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
    for (var node = walk.currentNode; node; node = walk.nextNode()) {
      if (node.nodeType == Node.TEXT_NODE) {
        text(node, marks);
      } else if (node.nodeType == Node.ELEMENT_NODE) {
        element(node, marks);
        var inner = node.shadowRoot || shadows.get(node);
        if (inner) {
          watch(inner);
          visit(inner, marks);
        }
      }
    }
  };
  var marked = new Map();
  var scan = function () {
    if (failed) return;
    covered.clear();
    if (!d.documentElement) return;
    var marks = new Map();
    watch(d);
    visit(d.documentElement, marks);
    marked.forEach(function (what, el) {
      if (!marks.has(el)) el.removeAttribute(mark);
    });
    marks.forEach(function (what, el) {
      if (el.getAttribute(mark) != what) el.setAttribute(mark, what);
    });
    marked = marks;
    w.vuzizeriRedactedRanges = Math.max(w.vuzizeriRedactedRanges || 0, covered.size + marks.size);
  };
  // A value typed or set by script is no change of the tree: seen before
  // the next paint all the same.
  var due = false;
  var soon = function () {
    if (due) return;
    due = true;
    queueMicrotask(function () {
      due = false;
      scan();
    });
  };
  d.addEventListener('input', soon, true);
  d.addEventListener('change', soon, true);
  [w.HTMLInputElement, w.HTMLTextAreaElement, w.HTMLSelectElement].forEach(function (type) {
    ['value', 'selectedIndex'].forEach(function (name) {
      var property = type && Object.getOwnPropertyDescriptor(type.prototype, name);
      if (!property || !property.set) return;
      Object.defineProperty(type.prototype, name, {
        configurable: true, enumerable: property.enumerable, get: property.get,
        set: function (v) {
          property.set.call(this, v);
          soon();
        } });
    });
  });
  scan();
})
