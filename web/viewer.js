// The PCX viewer's page (viewer.html). Choose a .pcx file or drop one
// anywhere on the page. The PCX codec decodes it from memory with its exact
// colours and the picture is shown stretched to fit the page; the bar shows
// its size and colours and names any damage (pixels or colours lost) and
// notes, or why it was refused.
//
// For tests: viewer.open(name, bytes) opens a Uint8Array and resolves, once
// the result is on the canvas, to {text, shown, damaged}. ?present=2d or
// ?present=webgl2 chooses how pictures reach the canvas, as on the demo's
// page.

/* global standinPage, HEAPU8 */
/* exported viewer */

const viewer = { ready: false, frame: 0 };

(function () {
  'use strict';
  const bar = document.getElementById('bar');
  const status = document.getElementById('status');
  const nameField = document.getElementById('name');
  let waiting = null; // the open in progress: its report, then its picture on the canvas
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
        say('Choose a .pcx file or drop one here.', false);
      }
      if (waiting && waiting.report) {
        const done = waiting;
        waiting = null;
        done.resolve(done.report);
      }
      return null;
    },
    onViewerReport: function (text, shown, damaged) {
      say(text, !shown, damaged);
      if (waiting) waiting.report = { text: text, shown: shown, damaged: damaged };
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
    return new Promise(function (resolve) {
      waiting = { resolve: resolve, report: null };
      module._ViewerOpen(block, bytes.length);
    });
  };
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
