// The page-turner of a web book made by `pagewend export --html`. Plain script, no modules, so that
// it runs from file:// under the page's Content-Security-Policy. Read in the head: it sets the
// turner's look before the pages are laid out, so that the browser fetches no page it does not show.
// Without it the book still reads: every page in a column, with its links and text.
(function () {
  'use strict';

  document.documentElement.classList.add('turner');
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();

  function start() {
    var data = JSON.parse(document.getElementById('book-data').textContent);
    var stage = document.getElementById('stage');
    var spread = document.getElementById('spread');
    var where = document.getElementById('where');
    var strip = document.getElementById('strip');
    var contents = document.getElementById('contents');
    var contentsButton = document.getElementById('contents-button');
    var searchPanel = document.getElementById('search');
    var searchButton = document.getElementById('search-button');
    var tools = document.getElementById('tools');
    var more = document.getElementById('more');
    var sections = Array.prototype.slice.call(spread.querySelectorAll('.page'));
    var thumbs = Array.prototype.slice.call(strip.querySelectorAll('a'));
    var count = sections.length;
    var aspect = data.width > 0 && data.height > 0 ? data.width / data.height : 595 / 842;
    var rtl = !!data.rightToLeft;
    var shown = null; // the spread on screen: {first, count}
    var zoomed = false;
    var MARGIN = 16;
    var MAX_RESULTS = 200;

    if (count === 0) return;
    // Thumbnails not yet fetched keep the page's shape in the strip.
    document.documentElement.style.setProperty('--page-aspect', String(aspect));

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

    // The page the address names; an address past the book is put right in place, without a
    // history entry of its own.
    function pageFromHash() {
      var match = /^#page=(\d{1,9})$/.exec(window.location.hash);
      if (!match) return null;
      var page = clamp(parseInt(match[1], 10) - 1);
      if (String(page + 1) !== match[1]) history.replaceState(history.state, '', '#page=' + (page + 1));
      return page;
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

    // Thumbnails are fetched as the strip comes near them.
    var thumbImages = thumbs.map(function (thumb) {
      return thumb.querySelector('img');
    });
    function fetchThumb(img) {
      if (!img.getAttribute('src')) img.setAttribute('src', img.getAttribute('data-src'));
    }
    if ('IntersectionObserver' in window) {
      var watch = new IntersectionObserver(
        function (entries) {
          entries.forEach(function (entry) {
            if (!entry.isIntersecting) return;
            fetchThumb(entry.target);
            watch.unobserve(entry.target);
          });
        },
        { root: strip, rootMargin: '0px 50%' }
      );
      thumbImages.forEach(function (img) {
        watch.observe(img);
      });
    } else {
      thumbImages.forEach(fetchThumb);
    }

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

    function screenImage(section) {
      return section.querySelector('img').getAttribute('src').replace(/-zoom(\.\w+)$/, '$1');
    }
    // The zoom image is fetched only when the page is zoomed.
    function setImage(section, zoom) {
      var img = section.querySelector('img');
      var wanted = zoom ? img.getAttribute('data-zoom') : screenImage(section);
      if (img.getAttribute('src') !== wanted) img.setAttribute('src', wanted);
    }

    function show(page, direction) {
      var next = spreadOf(page);
      if (shown && next.first === shown.first && next.count === shown.count) return;
      shown = next;
      // Only the pages shown are laid out (the style hides the others' images), so the browser
      // fetches no other page.
      sections.forEach(function (section, i) {
        var on = i >= next.first && i < next.first + next.count;
        section.classList.toggle('on', on);
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
      preload(neighbour(-1));
    }

    // The next and previous spreads' images, so that turning shows them at once.
    function preload(first) {
      if (first === null) return;
      var s = spreadOf(first);
      for (var i = s.first; i < s.first + s.count; ++i) new Image().src = screenImage(sections[i]);
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
    });

    window.addEventListener('resize', function () {
      var page = shown ? shown.first : 0;
      shown = null;
      show(page, 0);
    });

    // The panels over the stage: contents, search, and on a narrow screen the menu of tools.
    function openPanel(panel, button, open) {
      panel.hidden = !open;
      button.setAttribute('aria-expanded', open ? 'true' : 'false');
    }
    function openMenu(open) {
      tools.classList.toggle('open', open);
      more.setAttribute('aria-expanded', open ? 'true' : 'false');
    }
    function closePanels() {
      openPanel(contents, contentsButton, false);
      openPanel(searchPanel, searchButton, false);
      openMenu(false);
    }

    document.addEventListener('keydown', function (event) {
      if (event.altKey || event.ctrlKey || event.metaKey) return;
      var key = event.key;
      var target = event.target;
      if (key === 'Escape') {
        if (zoomed) setZoom(false);
        closePanels();
        return;
      }
      // Keys typed into a box are the box's; Space presses a focused button or link; a zoomed page
      // scrolls with Space, Up and Down.
      if (target.closest && target.closest('input, textarea, select, [contenteditable]')) return;
      if (key === ' ' && target.closest && target.closest('button, a')) return;
      if (zoomed && (key === ' ' || key === 'ArrowUp' || key === 'ArrowDown')) return;
      var forward = rtl ? 'ArrowLeft' : 'ArrowRight';
      var back = rtl ? 'ArrowRight' : 'ArrowLeft';
      if (key === forward || key === 'PageDown' || key === 'ArrowDown' || (key === ' ' && !event.shiftKey)) turn(1);
      else if (key === back || key === 'PageUp' || key === 'ArrowUp' || key === ' ') turn(-1);
      else if (key === 'Home') go(0);
      else if (key === 'End') go(count - 1);
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

    // A swipe turns; two fingers spread apart zoom in and pinched together zoom out. The style
    // leaves the stage's gestures to this script (and, zoomed, its panning to the browser).
    var touch = null;
    var pinch = null;
    function spanOf(touches) {
      return Math.hypot(touches[0].clientX - touches[1].clientX, touches[0].clientY - touches[1].clientY);
    }
    stage.addEventListener(
      'touchstart',
      function (event) {
        var t = event.touches;
        touch = t.length === 1 ? { x: t[0].clientX, y: t[0].clientY } : null;
        pinch = t.length === 2 ? { from: spanOf(t), ratio: 1 } : null;
      },
      { passive: true }
    );
    stage.addEventListener(
      'touchmove',
      function (event) {
        if (pinch && event.touches.length === 2) pinch.ratio = spanOf(event.touches) / Math.max(1, pinch.from);
      },
      { passive: true }
    );
    stage.addEventListener('touchend', function (event) {
      if (pinch) {
        if (pinch.ratio > 1.25 && !zoomed) setZoom(true);
        else if (pinch.ratio < 0.8 && zoomed) setZoom(false);
        if (event.touches.length === 0) pinch = null;
        return;
      }
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

    contentsButton.addEventListener('click', function () {
      var open = contents.hidden;
      closePanels();
      openPanel(contents, contentsButton, open);
    });
    // A tap on the page puts the panels away.
    stage.addEventListener('click', closePanels);
    more.addEventListener('click', function () {
      openMenu(!tools.classList.contains('open'));
    });
    // A tool chosen from the menu closes it; the page box keeps it open while it is typed into.
    tools.addEventListener('click', function (event) {
      if (event.target.closest('button')) openMenu(false);
    });
    var stripButton = document.getElementById('strip-button');
    stripButton.addEventListener('click', function () {
      strip.hidden = !strip.hidden;
      stripButton.setAttribute('aria-expanded', strip.hidden ? 'false' : 'true');
      var page = shown ? shown.first : 0;
      shown = null;
      show(page, 0);
    });

    var goTo = document.getElementById('go-to');
    goTo.addEventListener('change', function () {
      var number = parseInt(goTo.value, 10);
      goTo.value = '';
      if (!(number >= 1)) return;
      openMenu(false);
      goTo.blur();
      go(number - 1);
    });

    // Search: the pages' texts, fetched when the search first opens, matched without regard to case;
    // a page matches when it has every word asked for.
    var searchBox = document.getElementById('search-box');
    var searchStatus = document.getElementById('search-status');
    var results = document.getElementById('results');
    var texts = null;
    function loadTexts() {
      if (texts || document.getElementById('search-index')) return;
      var script = document.createElement('script');
      script.id = 'search-index';
      script.src = data.searchIndex;
      script.onload = function () {
        texts = (window.pagewendSearch || []).map(function (text) {
          return { text: String(text), lower: String(text).toLowerCase() };
        });
        find();
      };
      script.onerror = function () {
        searchStatus.textContent = 'The search could not read the book\u2019s texts.';
      };
      document.head.appendChild(script);
    }
    function result(page, text, at, length) {
      var link = document.createElement('a');
      link.href = '#page=' + (page + 1);
      var from = Math.max(0, at - 40);
      var mark = document.createElement('mark');
      mark.textContent = text.substr(at, length);
      link.append(
        'Page ' + (page + 1) + ': ' + (from > 0 ? '\u2026' : '') + text.substring(from, at),
        mark,
        text.substr(at + length, 60)
      );
      var item = document.createElement('li');
      item.appendChild(link);
      return item;
    }
    function find() {
      if (!texts) return;
      var words = searchBox.value.toLowerCase().split(/\s+/).filter(Boolean);
      results.textContent = '';
      searchStatus.textContent = '';
      if (words.length === 0) return;
      var found = 0;
      texts.forEach(function (page, i) {
        for (var w = 0; w < words.length; ++w) if (page.lower.indexOf(words[w]) < 0) return;
        if (++found <= MAX_RESULTS) results.appendChild(result(i, page.text, page.lower.indexOf(words[0]), words[0].length));
      });
      searchStatus.textContent =
        found === 0
          ? 'No page has \u201c' + searchBox.value.trim() + '\u201d.'
          : (found === 1 ? 'One page' : found + ' pages') + (found > MAX_RESULTS ? ', the first ' + MAX_RESULTS + ' listed' : '');
    }
    searchBox.addEventListener('input', find);
    searchBox.addEventListener('keydown', function (event) {
      var first = results.querySelector('a');
      if (event.key === 'Enter' && first) first.click();
    });
    searchButton.addEventListener('click', function () {
      var open = searchPanel.hidden;
      closePanels();
      openPanel(searchPanel, searchButton, open);
      if (!open) return;
      loadTexts();
      searchBox.focus();
    });

    // A page link turns through the address; one chosen from a panel closes the panels, and one to
    // the spread on screen still lands there when the address is already that page.
    document.addEventListener('click', function (event) {
      var link = event.target.closest('a[href^="#page="]');
      if (!link) return;
      if (link.closest('#contents, #search')) closePanels();
      if (link.getAttribute('href') === window.location.hash) {
        event.preventDefault();
        go(pageFromHash());
      }
    });

    var first = pageFromHash();
    show(first === null ? 0 : first, 0);
  }
})();
