// The demo's page (index.html). The demo runs until the page is closed. The
// window's client area is the whole page, in device pixels; every frame is
// stretched onto all of it.
//
// The program runs in a worker that draws on the canvas itself (an
// OffscreenCanvas), so the page's main thread is left to the page: a frame
// costs it one message. A browser that cannot hand a canvas to a worker, or
// start the worker, runs the program here instead, as does ?thread=main.
//
// For tests and measurements the page keeps window.demo up to date: frame
// (pictures put on the canvas so far: the first is the window's first
// paint, before any frame, so picture n + 1 is frame n while the page keeps
// its size), width and height (the canvas's, at that picture), firstFrameMs
// (time from asking for the page to frame 1), busyMs (time the program has
// run so far), exitStatus (once the program has ended), path ('webgl2' or
// '2d', how frames reach the canvas, as the bar says), thread ('worker' or
// 'main'), readback() (a promise of the canvas's size and RGBA bytes) and
// loseContext() (loses the WebGL2 context, as a GPU reset would); with
// ?hold=N,M the program stops at picture N (and then at M) until
// demo.resume() is called. ?present=2d keeps to the 2D canvas where WebGL2
// would serve, and ?present=webgl2 takes WebGL2 even where it is drawn
// without a GPU (tests, comparisons).
//
// F or F11 puts the page in full screen and takes it out again; Esc leaves
// it too. The client area follows, in device pixels, as a maximised
// window's does.

/* global standinPage */
/* exported demo */

const demo = { frame: 0, width: 0, height: 0, firstFrameMs: null, busyMs: 0, held: null, exitStatus: null,
  path: null, thread: null, resume: function () {} };

(function () {
  'use strict';
  const note = document.getElementById('note');
  const bar = document.getElementById('bar');
  let canvas = document.getElementById('canvas');
  const query = new URLSearchParams(location.search);
  const holds = (query.get('hold') || '').split(',').filter(Boolean).map(Number);
  function say(text) {
    note.textContent = text;
    note.style.display = text ? '' : 'none';
  }
  function toggleFullScreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen();
    } else if (document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(function () {});
    }
  }
  document.getElementById('full').addEventListener('click', toggleFullScreen);
  window.addEventListener('keydown', function (e) {
    if (e.ctrlKey || e.altKey || e.metaKey) return;
    if (e.key === 'f' || e.key === 'F' || e.key === 'F11') {
      e.preventDefault();
      toggleFullScreen();
    } else if (e.key === 'Escape' && document.fullscreenElement) {
      document.exitFullscreen();
    }
  });
  setTimeout(function () { bar.className = 'quiet'; }, 5000);
  function mode(path, why) {
    demo.path = path;
    document.getElementById('path').textContent = (path === 'webgl2' ? 'WebGL2: ' : '2D canvas: ') + why;
    bar.className = '';
  }
  function shown(n, width, height, busyMs) {
    demo.frame = n;
    demo.width = width;
    demo.height = height;
    demo.busyMs = busyMs;
    if (n === 2) {
      demo.firstFrameMs = performance.now();
      say('');
    }
  }
  function stopped(what) { say('The demo stopped: ' + what); }
  function ended(status) { demo.exitStatus = status; }
  if (typeof WebAssembly !== 'object') return say('This browser cannot run WebAssembly, which the demo needs.');

  function inWorker() {
    let worker;
    try {
      worker = new Worker('demo-worker.js');
    } catch (error) { // a page opened from a file, say
      return here();
    }
    let asked = 0;
    let heard = false;
    const answers = {};
    demo.thread = 'worker';
    worker.onmessage = function (event) {
      const m = event.data;
      heard = true;
      if (m.kind === 'frame') {
        shown(m.n, m.width, m.height, m.busyMs);
        if (m.held) demo.held = m.n;
      } else if (m.kind === 'mode') {
        mode(m.path, m.why);
      } else if (m.kind === 'fresh-canvas') {
        canvas = standinPage.freshCanvas(canvas);
        const offscreen = canvas.transferControlToOffscreen();
        worker.postMessage({ kind: 'canvas', canvas: offscreen }, [offscreen]);
      } else if (m.kind === 'readback') {
        answers[m.id](m);
        delete answers[m.id];
      } else if (m.kind === 'abort') {
        stopped(m.what);
      } else if (m.kind === 'exit') {
        ended(m.status);
      }
    };
    worker.onerror = function (event) {
      if (heard) return stopped(event.message || 'its worker failed');
      // The worker never started (its script missing or refused): the
      // program runs here after all, on a fresh canvas, as the worker has
      // this one.
      event.preventDefault();
      worker.terminate();
      canvas = standinPage.freshCanvas(canvas);
      here();
    };
    demo.resume = function () {
      demo.held = null;
      worker.postMessage({ kind: 'resume' });
    };
    demo.readback = function () {
      const id = ++asked;
      worker.postMessage({ kind: 'readback', id: id });
      return new Promise(function (resolve) { answers[id] = resolve; });
    };
    demo.loseContext = function () { worker.postMessage({ kind: 'lose-context' }); };
    let resizeQueued = false;
    standinPage.watch(
      function () {
        // One message a frame at most, with the latest size.
        if (resizeQueued) return;
        resizeQueued = true;
        requestAnimationFrame(function () {
          resizeQueued = false;
          const s = standinPage.clientSize(canvas);
          worker.postMessage({ kind: 'resize', width: s[0], height: s[1] });
        });
      },
      function () { worker.postMessage({ kind: 'close' }); }
    );
    const s = standinPage.clientSize(canvas);
    const offscreen = canvas.transferControlToOffscreen();
    const start = { canvas: offscreen, width: s[0], height: s[1], present: query.get('present'), holds: holds };
    worker.postMessage(start, [offscreen]);
  }

  function here() {
    demo.thread = 'main';
    const module = standinPage.runHere('scaling-scrolling.js', {
      canvas: canvas,
      present: query.get('present'),
      onMode: mode,
      onFrame: function (n) {
        const c = module.standin.canvas;
        shown(n, c.width, c.height, module.standin.busyMs || 0);
        if (holds.indexOf(n) < 0) return null;
        demo.held = n;
        return new Promise(function (resolve) {
          demo.resume = function () {
            demo.held = null;
            resolve();
          };
        });
      },
      onAbort: stopped,
      onExit: ended,
    });
    demo.readback = function () {
      const c = module.standin.canvas;
      return Promise.resolve({ width: c.width, height: c.height, rgba: module.standin.readback() });
    };
    demo.loseContext = function () { module.standin.gl.getExtension('WEBGL_lose_context').loseContext(); };
  }

  const canHand = typeof Worker === 'function' && typeof OffscreenCanvas === 'function' &&
    typeof canvas.transferControlToOffscreen === 'function';
  if (query.get('thread') !== 'main' && canHand) {
    inWorker();
  } else {
    here();
  }
})();
