// Puts the page at `offset` CSS px at once, and answers where it stands.
(function ({ offset }) {
  window.scrollTo({ top: offset, behavior: 'instant' });
  return pageYOffset;
})
