// --redigir-texto: text that matches one of `patterns` (JavaScript regular
// expressions, matched within each text node) is not drawn. Run at the start
// of every document, before anything of it is painted: the matches are a
// highlight painted without its text (on the --redigir-cor `colour`, when
// given), by a style sheet of the document's own that is not in its tree
// (the engine paints no highlight from a user style sheet), found again
// whenever the document changes. A
// mutation observer's callback runs before the engine paints the change, so
// text that comes later never shows, even for one frame.
(function ({ patterns, colour }) {
  if (typeof CSS == 'undefined' || !CSS.highlights || typeof Highlight != 'function') return;
  var d = document;
  var sheet = new CSSStyleSheet();
  sheet.replaceSync('::highlight(vuzizeri-redigido) { color: transparent;' +
                    (colour ? ' background-color: ' + colour + ';' : '') + ' }');
  d.adoptedStyleSheets = d.adoptedStyleSheets.concat([sheet]);
  var expressions = patterns.map(function (p) { return new RegExp(p, 'gu'); });
  var covered = new Highlight();
  CSS.highlights.set('vuzizeri-redigido', covered);
  var scan = function () {
    covered.clear();
    if (!d.documentElement) return;
    var walk = d.createTreeWalker(d.documentElement, NodeFilter.SHOW_TEXT);
    for (var node = walk.nextNode(); node; node = walk.nextNode()) {
      var text = node.data;
      expressions.forEach(function (e) {
        e.lastIndex = 0;
        for (var m = e.exec(text); m; m = e.exec(text)) {
          if (m[0].length == 0) {
            ++e.lastIndex;
            continue;
          }
          var r = new Range();
          r.setStart(node, m.index);
          r.setEnd(node, m.index + m[0].length);
          covered.add(r);
        }
      });
    }
    w.vuzizeriRedactedRanges = Math.max(w.vuzizeriRedactedRanges || 0, covered.size);
  };
  var w = window;
  new MutationObserver(scan).observe(d, { subtree: true, childList: true, characterData: true });
  scan();
})
