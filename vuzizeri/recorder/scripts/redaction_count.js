// How much --redigir and --redigir-texto cover as the recording ends: the
// elements that match `selectors`, and the text ranges of the highlight
// redact_text.js keeps. Never what they say.
(function ({ selectors }) {
  var d = document, covered = new Set();
  selectors.forEach(function (s) {
    try {
      d.querySelectorAll(s).forEach(function (el) { covered.add(el); });
    } catch (e) {}
  });
  var ranges = typeof CSS != 'undefined' && CSS.highlights && CSS.highlights.get('vuzizeri-redigido');
  return [covered.size, ranges ? ranges.size : 0];
})
