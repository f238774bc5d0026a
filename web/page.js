// What the web pages share: the demo's (index.html), the viewer's
// (viewer.html) and the demo's worker (demo-worker.js), which loads it with
// importScripts. It knows how a page senses its size and its going, how it
// puts a fresh canvas in place of one that had a WebGL2 context, and how a
// program is set up (its Module); each page adds what only it shows.
//
// The program's display (platform/src/display/web) reads its options from
// Module.standin and calls its hooks there: present ('2d' or 'webgl2' to
// choose how pictures reach the canvas), clientSize (the window's size in
// device pixels), onMode(path, why), onFrame(n) (may return a promise that
// holds the program at picture n) and askForCanvas().

/* exported standinPage */

const standinPage = (function () {
  'use strict';

  // The client area in device pixels, as the program's window has it.
  function clientSize(canvas) {
    const ratio = window.devicePixelRatio || 1;
    const box = canvas.getBoundingClientRect();
    return [Math.max(1, Math.round(box.width * ratio)), Math.max(1, Math.round(box.height * ratio))];
  }

  // Calls resized() when the page's size in device pixels may have changed
  // and gone() when the page goes for good.
  function watch(resized, gone) {
    window.addEventListener('resize', resized);
    // A page moved to a screen of another density keeps its CSS size but
    // not its size in device pixels.
    (function watchRatio() {
      if (!window.matchMedia) return;
      const ratio = window.matchMedia('(resolution: ' + (window.devicePixelRatio || 1) + 'dppx)');
      ratio.addEventListener('change', function again() {
        ratio.removeEventListener('change', again);
        resized();
        watchRatio();
      });
    })();
    window.addEventListener('pagehide', function (event) {
      // A page kept for the back button (persisted) may come back, and its
      // program with it: only a page that goes for good closes.
      if (!event.persisted) gone();
    });
  }

  // A canvas that had a WebGL2 context (or was handed to a worker) never
  // gives a 2D one: a copy takes its place on the page.
  function freshCanvas(canvas) {
    const fresh = canvas.cloneNode(false);
    canvas.replaceWith(fresh);
    return fresh;
  }

  // The program's Module: `options` has the canvas, present, clientSize,
  // onMode, onFrame and askForCanvas for the display, and onAbort, onExit
  // and any other Module fields as they are.
  function makeModule(options) {
    const module = {
      standin: {
        present: options.present,
        clientSize: options.clientSize,
        onMode: options.onMode,
        onFrame: options.onFrame,
        askForCanvas: options.askForCanvas,
      },
      print: function (text) { console.log(text); },
      printErr: function (text) { console.error(text); },
    };
    const display = ['present', 'clientSize', 'onMode', 'onFrame', 'askForCanvas'];
    for (const key of Object.keys(options)) {
      if (display.indexOf(key) < 0) module[key] = options[key];
    }
    return module;
  }

  // Runs the program `script` on the page's own thread, drawing on
  // options.canvas: the page's size and going reach its display directly,
  // and a fresh canvas is made here when it asks.
  function runHere(script, options) {
    const module = makeModule(
      Object.assign({}, options, {
        clientSize: clientSize(options.canvas),
        askForCanvas: function () { module.standin.takeCanvas(freshCanvas(module.standin.canvas)); },
      })
    );
    window.Module = module;
    watch(
      function () {
        if (!module.standin.resized) return;
        module.standin.clientSize = clientSize(module.standin.canvas);
        module.standin.resized();
      },
      function () { if (module.standin.close) module.standin.close(); }
    );
    const tag = document.createElement('script');
    tag.src = script;
    tag.async = true;
    document.body.appendChild(tag);
    return module;
  }

  return { clientSize: clientSize, watch: watch, freshCanvas: freshCanvas, makeModule: makeModule, runHere: runHere };
})();
