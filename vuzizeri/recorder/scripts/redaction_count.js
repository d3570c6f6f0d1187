// How much --redigir and --redigir-texto cover as the recording ends, in
// the top document: the elements that match `selectors`, and the text ranges
// and elements redact_text.js covers. Never what they say.
(function ({ selectors }) {
  var d = document, covered = new Set();
  selectors.forEach(function (s) {
    try {
      d.querySelectorAll(s).forEach(function (el) { covered.add(el); });
    } catch (e) {}
  });
  var ranges = typeof CSS != 'undefined' && CSS.highlights && CSS.highlights.get('vuzizeri-redigido');
  // Form controls, generated content and SVG text are covered whole.
  var whole = d.querySelectorAll('[vuzizeri-redigido]').length;
  return [covered.size, (ranges ? ranges.size : 0) + whole];
})
