// The PCX viewer's page (viewer.html). Choose a .pcx file or drop one
// anywhere on the page. The PCX codec decodes it from memory with its exact
// colours and the picture is shown stretched to fit the page; the bar shows
// its size and colours and names any damage (pixels or colours lost) and
// notes, or why it was refused.
//
// A multi-page (DCX) file opens at its first page; the bar then shows the
// page and the count, and the buttons, the arrow keys and Page Up and Page
// Down move between pages (Home and End to the first and the last).
//
// For tests: viewer.open(name, bytes) opens a Uint8Array and resolves, once
// the result is on the canvas, to {text, shown, damaged, page, pages} (page
// and pages 0 for a file of one picture); viewer.page(n) shows page n of
// the open multi-page file likewise. ?present=2d or ?present=webgl2
// chooses how pictures reach the canvas, as on the demo's page.

/* global standinPage, HEAPU8 */
/* exported viewer */

const viewer = { ready: false, frame: 0 };

(function () {
  'use strict';
  const bar = document.getElementById('bar');
  const status = document.getElementById('status');
  const nameField = document.getElementById('name');
  let waiting = null; // the open in progress: its report, then its picture on the canvas
  let page = 0; // the page shown of a multi-page file, from 1, and their count
  let pages = 0;
  function say(text, refused, damaged) {
    status.textContent = text;
    bar.className = refused ? 'refused' : damaged ? 'damaged' : '';
  }
  if (typeof WebAssembly !== 'object') return say('This browser cannot run WebAssembly, which the viewer needs.', true);
  const module = standinPage.runHere('pcx-viewer.js', {
    canvas: document.getElementById('canvas'),
    present: new URLSearchParams(location.search).get('present'),
    onMode: function (path, why) {
      document.getElementById('path').textContent = path === 'webgl2' ? 'WebGL2' : '2D canvas: ' + why;
    },
    onFrame: function (n) {
      viewer.frame = n;
      if (!viewer.ready) {
        viewer.ready = true;
        say('Choose a .pcx or .dcx file or drop one here.', false);
      }
      if (waiting && waiting.report) {
        const done = waiting;
        waiting = null;
        done.resolve(done.report);
      }
      return null;
    },
    onViewerReport: function (text, shown, damaged, shownPage, pageCount) {
      say(text, !shown, damaged);
      page = shownPage;
      pages = pageCount;
      document.getElementById('pager').hidden = pages === 0;
      document.getElementById('page').textContent = 'page ' + page + ' of ' + pages;
      document.getElementById('prev').disabled = page <= 1;
      document.getElementById('next').disabled = page >= pages;
      if (waiting) waiting.report = { text: text, shown: shown, damaged: damaged, page: page, pages: pages };
    },
    onAbort: function (what) { say('The viewer stopped: ' + what, true); },
  });
  viewer.open = function (name, bytes) {
    if (!viewer.ready) return Promise.reject(new Error('the viewer is still loading'));
    nameField.textContent = name;
    say('reading…', false);
    const block = module._malloc(Math.max(bytes.length, 1));
    if (!block) return Promise.reject(new Error('too large to hold (' + bytes.length + ' bytes)'));
    HEAPU8.set(bytes, block);
    return shown(function () { module._ViewerOpen(block, bytes.length); });
  };
  viewer.page = function (n) {
    if (n < 1 || n > pages) return Promise.reject(new Error('no page ' + n + ' (the file has ' + pages + ')'));
    return shown(function () { module._ViewerPage(n); });
  };
  // A promise of the report of what `ask` has the program show, resolved
  // once that is on the canvas.
  function shown(ask) {
    return new Promise(function (resolve) {
      waiting = { resolve: resolve, report: null };
      ask();
    });
  }
  function turnTo(n) {
    if (n >= 1 && n <= pages && n !== page) viewer.page(n);
  }
  document.getElementById('prev').addEventListener('click', function () { turnTo(page - 1); });
  document.getElementById('next').addEventListener('click', function () { turnTo(page + 1); });
  window.addEventListener('keydown', function (e) {
    if (e.ctrlKey || e.altKey || e.metaKey || pages === 0) return;
    const to = { ArrowLeft: page - 1, PageUp: page - 1, ArrowRight: page + 1, PageDown: page + 1, Home: 1, End: pages };
    if (!(e.key in to)) return;
    e.preventDefault();
    turnTo(to[e.key]);
  });
  function openFile(file) {
    if (!file) return;
    nameField.textContent = file.name;
    say('reading…', false);
    file
      .arrayBuffer()
      .then(function (buffer) { return viewer.open(file.name, new Uint8Array(buffer)); })
      .catch(function (error) { say('not read: ' + error.message, true); });
  }
  document.getElementById('file').addEventListener('change', function (e) { openFile(e.target.files[0]); });
  window.addEventListener('dragover', function (e) {
    e.preventDefault();
    document.body.className = 'over';
  });
  window.addEventListener('dragleave', function () { document.body.className = ''; });
  window.addEventListener('drop', function (e) {
    e.preventDefault();
    document.body.className = '';
    openFile(e.dataTransfer.files[0]);
  });
})();
