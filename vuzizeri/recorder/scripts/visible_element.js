// Whether something matching `selector` is visible: a box of some size that
// is not hidden.
(function ({ selector }) {
  return Array.prototype.some.call(document.querySelectorAll(selector), function (e) {
    var r = e.getBoundingClientRect();
    return r.width > 0 && r.height > 0 && getComputedStyle(e).visibility != 'hidden';
  });
})
