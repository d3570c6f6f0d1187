// At the start of every document: the platform, the touch points and the
// screen of a phone whose screen is `width` x `height` CSS px, and its
// on-screen keyboard. It changes what navigator, screen and visualViewport
// answer, never the document or its layout.
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
  // The on-screen keyboard, as the recorder tells of it: the visual viewport
  // that much shorter, and its resize, as iOS Safari gives them; the layout
  // viewport (innerHeight) stays.
  var own = window.VisualViewport &&
            Object.getOwnPropertyDescriptor(VisualViewport.prototype, 'height');
  if (own && own.get && window.visualViewport) {
    var keyboard = 0;
    Object.defineProperty(VisualViewport.prototype, 'height', {
      get: function () { return Math.max(0, own.get.call(this) - keyboard); },
      configurable: true, enumerable: true });
    window.addEventListener('vuzizeri-teclado', function (event) {
      keyboard = Number(event.detail) || 0;
      window.visualViewport.dispatchEvent(new Event('resize'));
    });
  }
})
