// --pre-carregar: scrolls to screen number `screen` of the page (to its end
// as it stands now, at most); answers whether there was one to go to.
(function ({ screen }) {
  var d = document, b = d.body, e = d.documentElement;
  var end = Math.max(b ? b.scrollHeight : 0, e ? e.scrollHeight : 0) - innerHeight;
  if (screen * innerHeight > end + innerHeight) return false;
  scrollTo({ top: Math.min(screen * innerHeight, end), behavior: 'instant' });
  return true;
})
