// --pre-carregar: [requests finished so far, images still loading]. A lazy
// image that is not laid out (hidden) never loads, and is not waited for.
(function () {
  return [performance.getEntriesByType('resource').length,
          Array.prototype.filter.call(document.images, function (i) {
            return i.getAttribute('src') && !i.complete &&
                   (i.loading != 'lazy' || i.getBoundingClientRect().width > 0);
          }).length];
})
