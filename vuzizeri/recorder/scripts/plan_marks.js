// Where the directed scroll's elements stand: [offset, end offset, [for each
// selector, the top of its first match in the page in CSS px, null when
// nothing matches, false when the match has no box]].
(function ({ selectors }) {
  var d = document, b = d.body, e = d.documentElement;
  return [pageYOffset,
          Math.max(b ? b.scrollHeight : 0, e ? e.scrollHeight : 0) - innerHeight,
          selectors.map(function (s) {
            var el = d.querySelector(s);
            if (!el) return null;
            if (!el.getClientRects().length) return false;
            return el.getBoundingClientRect().top + pageYOffset;
          })];
})
