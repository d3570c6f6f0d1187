// Those of `selectors` the engine cannot read, which would silently match
// nothing.
(function ({ selectors }) {
  return selectors.filter(function (s) {
    try { document.createDocumentFragment().querySelector(s); return false; }
    catch (e) { return true; }
  });
})
