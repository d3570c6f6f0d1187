// At the start of every document: the platform, the touch points and the
// screen of a phone whose screen is `width` x `height` CSS px. It changes
// what navigator and screen answer, never the document or its layout.
(function ({ width, height, touchPoints }) {
  function fixed(object, name, value) {
    Object.defineProperty(object, name, {
      get: function () { return value; }, configurable: true, enumerable: true });
  }
  fixed(Navigator.prototype, 'platform', 'iPhone');
  fixed(Navigator.prototype, 'maxTouchPoints', touchPoints);
  fixed(Screen.prototype, 'width', width);
  fixed(Screen.prototype, 'height', height);
  fixed(Screen.prototype, 'availWidth', width);
  fixed(Screen.prototype, 'availHeight', height);
})
