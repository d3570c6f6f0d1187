// Whether the page's web fonts are still loading: 'loading' or 'loaded'.
(function () {
  return document.fonts ? document.fonts.status : 'loaded';
})
