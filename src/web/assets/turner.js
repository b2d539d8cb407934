// The page-turner of a web book made by `pagewend export --html`. Plain script, no modules and no
// requests of its own, so that it runs from file:// under the page's Content-Security-Policy.
// Without it the book still reads: every page in a column, with its links and text.
(function () {
  'use strict';

  var data = JSON.parse(document.getElementById('book-data').textContent);
  var stage = document.getElementById('stage');
  var spread = document.getElementById('spread');
  var where = document.getElementById('where');
  var strip = document.getElementById('strip');
  var contents = document.getElementById('contents');
  var sections = Array.prototype.slice.call(spread.querySelectorAll('.page'));
  var thumbs = Array.prototype.slice.call(strip.querySelectorAll('a'));
  var count = sections.length;
  var aspect = data.width > 0 && data.height > 0 ? data.width / data.height : 595 / 842;
  var rtl = !!data.rightToLeft;
  var shown = null; // the spread on screen: {first, count}
  var zoomed = false;
  var MARGIN = 16;

  document.documentElement.classList.add('turner');
  if (count === 0) return;

  // The spreads of the desktop player: a view wider than high shows two pages, the cover alone,
  // then pairs (2-3, 4-5, ...), a last page without a partner alone.
  function twoUp() {
    return stage.clientWidth > stage.clientHeight;
  }
  function clamp(page) {
    return Math.max(0, Math.min(count - 1, page));
  }
  function spreadOf(page) {
    page = clamp(page);
    if (!twoUp() || page === 0) return { first: page, count: 1 };
    var first = page % 2 === 1 ? page : page - 1;
    return { first: first, count: Math.min(2, count - first) };
  }
  function neighbour(direction) {
    var s = shown || spreadOf(0);
    if (direction > 0) return s.first + s.count < count ? s.first + s.count : null;
    return s.first > 0 ? spreadOf(s.first - 1).first : null;
  }

  function pageFromHash() {
    var match = /^#page=(\d{1,9})$/.exec(window.location.hash);
    return match ? clamp(parseInt(match[1], 10) - 1) : null;
  }

  sections.forEach(function (section) {
    section.style.backgroundColor = section.getAttribute('data-bg');
    Array.prototype.forEach.call(section.querySelectorAll('.link'), function (link) {
      var box = link.getAttribute('data-box').split(' ');
      link.style.left = box[0] + '%';
      link.style.top = box[1] + '%';
      link.style.width = box[2] + '%';
      link.style.height = box[3] + '%';
    });
    // Find in page reaches the texts of pages not on screen and turns to the one it found.
    var text = section.querySelector('.page-text');
    if (text) {
      text.addEventListener('beforematch', function () {
        go(Number(section.getAttribute('data-page')) - 1);
      });
    }
  });

  function layout() {
    if (!shown) return;
    var slots = shown.count === 1 && twoUp() && !data.centreCovers ? 2 : shown.count;
    var width = Math.max(40, stage.clientWidth - 2 * MARGIN);
    var height = Math.max(40, stage.clientHeight - 2 * MARGIN);
    var pageWidth = Math.min(width / slots, height * aspect);
    if (zoomed) pageWidth *= 2;
    var pageHeight = pageWidth / aspect;
    spread.style.width = Math.round(pageWidth * shown.count) + 'px';
    spread.style.height = Math.round(pageHeight) + 'px';
    for (var i = shown.first; i < shown.first + shown.count; ++i) {
      sections[i].style.width = Math.round(pageWidth) + 'px';
      sections[i].style.height = Math.round(pageHeight) + 'px';
    }
  }

  function setImage(section, zoom) {
    var img = section.querySelector('img');
    var wanted = zoom ? img.getAttribute('data-zoom') : img.getAttribute('src').replace(/-zoom(\.\w+)$/, '$1');
    if (img.getAttribute('src') !== wanted) img.setAttribute('src', wanted);
  }

  function show(page, direction) {
    var next = spreadOf(page);
    if (shown && next.first === shown.first && next.count === shown.count) return;
    shown = next;
    sections.forEach(function (section, i) {
      var on = i >= next.first && i < next.first + next.count;
      section.classList.toggle('away', !on);
      section.classList.toggle('left', on && next.count === 2 && i === next.first);
      section.classList.toggle('right', on && next.count === 2 && i !== next.first);
      var text = section.querySelector('.page-text');
      if (text) {
        if (on) text.removeAttribute('hidden');
        else text.setAttribute('hidden', 'until-found');
      }
      setImage(section, on && zoomed);
    });
    thumbs.forEach(function (thumb, i) {
      if (i >= next.first && i < next.first + next.count) thumb.setAttribute('aria-current', 'page');
      else thumb.removeAttribute('aria-current');
    });
    var current = thumbs[next.first];
    if (current && !strip.hidden) current.scrollIntoView({ block: 'nearest', inline: 'nearest' });
    where.textContent =
      next.count === 2
        ? 'Pages ' + (next.first + 1) + '\u2013' + (next.first + 2) + ' of ' + count
        : 'Page ' + (next.first + 1) + ' of ' + count;
    document.title = data.title + ' \u2013 ' + where.textContent;
    layout();
    if (direction) {
      spread.classList.remove('turn-forward', 'turn-back');
      void spread.offsetWidth; // restarts the animation
      spread.classList.add(direction > 0 ? 'turn-forward' : 'turn-back');
    }
    stage.scrollTop = 0;
    stage.scrollLeft = 0;
    preload(neighbour(1));
  }

  // The next spread's images, so that turning shows them at once.
  function preload(first) {
    if (first === null) return;
    var s = spreadOf(first);
    for (var i = s.first; i < s.first + s.count; ++i) new Image().src = sections[i].querySelector('img').getAttribute('src');
  }

  // Every turn goes through the address, so that Back and Forward turn too.
  function go(page) {
    if (page === null) return;
    page = clamp(page);
    var target = '#page=' + (page + 1);
    if (window.location.hash === target) show(page, 0);
    else window.location.hash = target;
  }
  function turn(direction) {
    go(neighbour(direction));
  }

  window.addEventListener('hashchange', function () {
    var page = pageFromHash();
    if (page === null) return;
    var direction = shown ? (page < shown.first ? -1 : page >= shown.first + shown.count ? 1 : 0) : 0;
    show(page, direction);
    contents.hidden = true;
    document.getElementById('contents-button').setAttribute('aria-expanded', 'false');
  });

  window.addEventListener('resize', function () {
    var page = shown ? shown.first : 0;
    shown = null;
    show(page, 0);
  });

  document.addEventListener('keydown', function (event) {
    if (event.altKey || event.ctrlKey || event.metaKey) return;
    var forward = rtl ? 'ArrowLeft' : 'ArrowRight';
    var back = rtl ? 'ArrowRight' : 'ArrowLeft';
    if (event.key === forward || event.key === 'PageDown') turn(1);
    else if (event.key === back || event.key === 'PageUp') turn(-1);
    else if (event.key === 'Home') go(0);
    else if (event.key === 'End') go(count - 1);
    else if (event.key === 'Escape' && zoomed) setZoom(false);
    else return;
    event.preventDefault();
  });

  // One turn per wheel gesture: a flick sends many events.
  var wheelQuietUntil = 0;
  stage.addEventListener(
    'wheel',
    function (event) {
      if (zoomed || event.ctrlKey) return;
      event.preventDefault();
      var now = Date.now();
      var delta = Math.abs(event.deltaY) >= Math.abs(event.deltaX) ? event.deltaY : event.deltaX;
      if (now < wheelQuietUntil || Math.abs(delta) < 4) return;
      wheelQuietUntil = now + 350;
      turn(delta > 0 ? 1 : -1);
    },
    { passive: false }
  );

  var touch = null;
  stage.addEventListener(
    'touchstart',
    function (event) {
      touch = event.touches.length === 1 ? { x: event.touches[0].clientX, y: event.touches[0].clientY } : null;
    },
    { passive: true }
  );
  stage.addEventListener('touchend', function (event) {
    if (!touch || zoomed) return;
    var dx = event.changedTouches[0].clientX - touch.x;
    var dy = event.changedTouches[0].clientY - touch.y;
    touch = null;
    if (Math.abs(dx) < 50 || Math.abs(dx) < 1.5 * Math.abs(dy)) return;
    turn((dx < 0) !== rtl ? 1 : -1);
  });

  function setZoom(on) {
    zoomed = on;
    document.documentElement.classList.toggle('zoomed', on);
    document.getElementById('zoom').setAttribute('aria-pressed', on ? 'true' : 'false');
    for (var i = shown.first; i < shown.first + shown.count; ++i) setImage(sections[i], on);
    layout();
  }
  document.getElementById('zoom').addEventListener('click', function () {
    setZoom(!zoomed);
  });
  spread.addEventListener('dblclick', function (event) {
    if (event.target.closest('a')) return;
    setZoom(!zoomed);
  });

  document.getElementById('previous').addEventListener('click', function () {
    turn(rtl ? 1 : -1);
  });
  document.getElementById('next').addEventListener('click', function () {
    turn(rtl ? -1 : 1);
  });

  var fullScreen = document.getElementById('full-screen');
  if (!document.fullscreenEnabled) fullScreen.hidden = true;
  fullScreen.addEventListener('click', function () {
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen();
  });

  var contentsButton = document.getElementById('contents-button');
  contentsButton.addEventListener('click', function () {
    contents.hidden = !contents.hidden;
    contentsButton.setAttribute('aria-expanded', contents.hidden ? 'false' : 'true');
  });
  var stripButton = document.getElementById('strip-button');
  stripButton.addEventListener('click', function () {
    strip.hidden = !strip.hidden;
    stripButton.setAttribute('aria-expanded', strip.hidden ? 'false' : 'true');
    var page = shown ? shown.first : 0;
    shown = null;
    show(page, 0);
  });

  // A page link to the spread on screen still lands there when the address is already that page.
  document.addEventListener('click', function (event) {
    var link = event.target.closest('a[href^="#page="]');
    if (link && link.getAttribute('href') === window.location.hash) {
      event.preventDefault();
      go(pageFromHash());
    }
  });

  var start = pageFromHash();
  show(start === null ? 0 : start, 0);
})();
