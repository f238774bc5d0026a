// The demo's program, run off the page's main thread.
//
// The page hands this worker its canvas (as an OffscreenCanvas), the client
// area's size in device pixels and its options; the program draws its
// frames straight onto that canvas, at the worker's animation frames, so the
// page's main thread spends nothing on them. The page tells the worker what
// only it can see (a new size, the page going away, a test's requests), and
// hears back what it shows or keeps for tests (which way frames go, each
// picture's number and size, the program's status).

/* global standinPage */

self.importScripts('page.js');

self.onmessage = function start(event) {
  'use strict';
  const options = event.data; // {canvas, width, height, present, holds}
  let resume = null;
  self.onmessage = function heard(message) {
    const m = message.data;
    const web = self.Module.standin;
    if (m.kind === 'resize') {
      web.clientSize = [m.width, m.height];
      if (web.resized) web.resized();
    } else if (m.kind === 'close') {
      if (web.close) web.close();
    } else if (m.kind === 'resume') {
      if (resume) resume();
      resume = null;
    } else if (m.kind === 'canvas') {
      web.takeCanvas(m.canvas);
    } else if (m.kind === 'lose-context') {
      if (web.gl) web.gl.getExtension('WEBGL_lose_context').loseContext();
    } else if (m.kind === 'readback') {
      const c = web.canvas;
      const bytes = new Uint8Array(web.readback());
      const answer = { kind: 'readback', id: m.id, width: c.width, height: c.height, rgba: bytes };
      self.postMessage(answer, [bytes.buffer]);
    }
  };
  self.Module = standinPage.makeModule({
    canvas: options.canvas,
    present: options.present,
    clientSize: [options.width, options.height],
    onMode: function (path, why) { self.postMessage({ kind: 'mode', path: path, why: why }); },
    onFrame: function (n) {
      const web = self.Module.standin;
      const held = options.holds.indexOf(n) >= 0;
      const c = web.canvas;
      self.postMessage({ kind: 'frame', n: n, held: held, width: c.width, height: c.height, busyMs: web.busyMs || 0 });
      if (!held) return null;
      return new Promise(function (resolve) { resume = resolve; });
    },
    // Only the page can make a fresh canvas.
    askForCanvas: function () { self.postMessage({ kind: 'fresh-canvas' }); },
    onAbort: function (what) { self.postMessage({ kind: 'abort', what: String(what) }); },
    onExit: function (status) { self.postMessage({ kind: 'exit', status: status }); },
  });
  self.importScripts('scaling-scrolling.js');
};
