// Date and time fields written as iOS writes them, in the page's `language`:
// the formats of WebKit's iOS date cache (LocalizedDateCache.mm: a date in
// the medium style, "Dec 10, 2026" in en-US; a time in the short one; a
// date and time in both; a month as the template MMMMyyyy, "December
// 2026"), each field as wide as the widest month makes it. iOS knows no week
// fields: they show their value as text.
//
// Run in the recorder's own script world, at the start of every document,
// in every frame, for the controls sheet (controles.css), which shows
// --vuzizeri-valor in place of the engine's own fields when
// --vuzizeri-campos hides them. Those custom properties, in the field's
// style attribute, are all the page could see: its values and its fields
// stay as they are. A field is written again when it is typed into or
// changed, when the document changes, and on a short round for what the
// page sets by script (no event tells of that).
(function ({ language }) {
  var d = document, utc = { timeZone: 'UTC' };
  var format = function (options) {
    return new Intl.DateTimeFormat(language, Object.assign({}, utc, options)).format;
  };
  // Each type: how its value reads as a moment, and how iOS writes it.
  var kinds = {
    date: [function (v) { return v + 'T00:00Z'; }, format({ dateStyle: 'medium' })],
    'datetime-local': [function (v) { return v + 'Z'; },
                       format({ dateStyle: 'medium', timeStyle: 'short' })],
    month: [function (v) { return v + '-01T00:00Z'; }, format({ month: 'long', year: 'numeric' })],
    time: [function (v) { return '1970-01-01T' + v + 'Z'; }, format({ timeStyle: 'short' })],
    week: [null, function (v) { return v; }],
  };
  var fields = d.getElementsByTagName('input'), shown = new WeakMap(), widths = new Map();
  var measure = null;

  var text = function (kind, value) {
    if (!value || !kind[0]) return value;
    var moment = new Date(kind[0](value));
    return isNaN(moment) ? value : kind[1](moment);
  };
  // iOS sizes a field to its text on the 27th of each month at 22:45, 2007.
  var widest = function (type, kind, font) {
    var key = type + ' ' + font;
    if (!widths.has(key)) {
      measure = measure || d.createElement('canvas').getContext('2d');
      measure.font = font;
      var most = 0;
      for (var m = 1; m <= 12; ++m) {
        var day = '2007-' + (m < 10 ? '0' : '') + m + '-27';
        var sample = { date: day, 'datetime-local': day + 'T22:45', month: day.slice(0, 7),
                       time: '22:45' }[type];
        most = Math.max(most, measure.measureText(text(kind, sample)).width);
      }
      widths.set(key, Math.ceil(most));
    }
    return widths.get(key);
  };
  var quoted = function (s) {
    return '"' + s.replace(/[\\"]/g, '\\$&').replace(/\n/g, '\\a ') + '"';
  };
  var set = function (style, name, value) {
    if (style.getPropertyValue(name) !== value) style.setProperty(name, value);
  };

  var write = function (input) {
    var type = input.type, kind = kinds[type];
    if (!kind) return;
    var value = input.value, style = input.style;
    if (shown.get(input) === type + value && style.getPropertyValue('--vuzizeri-campos')) return;
    shown.set(input, type + value);
    set(style, '--vuzizeri-campos', 'none');
    set(style, '--vuzizeri-valor', quoted(text(kind, value)));
    if (type === 'week') return;
    var computed = getComputedStyle(input);
    var room = parseFloat(computed.paddingLeft) + parseFloat(computed.paddingRight) +
               parseFloat(computed.borderLeftWidth) + parseFloat(computed.borderRightWidth);
    set(style, '--vuzizeri-largura', widest(type, kind, computed.font) + room + 'px');
  };
  var writeAll = function () {
    for (var i = 0; i < fields.length; ++i) write(fields[i]);
  };

  var listen = function (name) {
    d.addEventListener(name, function (e) { if (e.target.tagName === 'INPUT') write(e.target); }, true);
  };
  listen('input');
  listen('change');
  new MutationObserver(writeAll).observe(d, { childList: true, subtree: true, attributes: true,
                                               attributeFilter: ['value', 'type', 'style'] });
  d.addEventListener('DOMContentLoaded', writeAll);
  setInterval(writeAll, 100);
})
