// In real time, where the page moves itself: every rendering of the page
// checks the fixed elements kept out of the picture (out_of_view.js), and
// the page's fixed elements are looked for again at most twice a second
// while its document changes.
(function () {
  var w = window, d = document;
  if (w.keepingOutOfView) return 0;
  w.keepingOutOfView = true;
  var fixed = [], lookedAt = -1e9, changed = true;
  new MutationObserver(function () { changed = true; })
      .observe(d.documentElement, { subtree: true, childList: true, attributes: true });
  (function check(t) {
    if (changed && t - lookedAt > 500) {
      changed = false;
      lookedAt = t;
      fixed = [];
      var all = d.getElementsByTagName('*');
      for (var i = 0; i < all.length; ++i)
        if (getComputedStyle(all[i]).position == 'fixed') fixed.push(all[i]);
    }
    w.keepOutOfView(fixed);
    requestAnimationFrame(check);
  })(performance.now());
  return 0;
})
