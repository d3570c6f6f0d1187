// Whether something matching `selector` is visible: a box of some size that
// is not hidden, anywhere on the page or, with `inView`, in the view; or
// 'invalid' when the selector is not one.
(function ({ selector, inView }) {
  var all;
  try { all = document.querySelectorAll(selector); } catch (e) { return 'invalid'; }
  return Array.prototype.some.call(all, function (e) {
    var r = e.getBoundingClientRect();
    var shows = !inView || (r.bottom > 0 && r.top < innerHeight && r.right > 0 && r.left < innerWidth);
    return r.width > 0 && r.height > 0 && shows && getComputedStyle(e).visibility != 'hidden';
  });
})
