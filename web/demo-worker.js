// The demo's program, run off the page's main thread.
//
// The page hands this worker its canvas (as an OffscreenCanvas), the client
// area's size in device pixels and its options; the program draws its
// frames straight onto that canvas, at the worker's animation frames, so the
// page's main thread spends nothing on them. The page tells the worker what
// only it can see (a new size, the page going away, a test's requests), and
// hears back what it shows or keeps for tests (which way frames go, each
// picture's number and size, the program's status).
'use strict';

self.onmessage = function start(event) {
  const options = event.data;  // {canvas, width, height, present, holds}
  let resume = null;
  self.onmessage = function heard(message) {
    const m = message.data, web = self.Module.standin;
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
      const c = web.canvas, bytes = new Uint8Array(web.readback());
      self.postMessage({kind: 'readback', id: m.id, width: c.width, height: c.height, rgba: bytes}, [bytes.buffer]);
    }
  };
  self.Module = {
    canvas: options.canvas,
    standin: {
      present: options.present,
      clientSize: [options.width, options.height],
      onMode: function(path, why) { self.postMessage({kind: 'mode', path: path, why: why}); },
      onFrame: function(n) {
        const web = self.Module.standin, held = options.holds.indexOf(n) >= 0;
        self.postMessage({kind: 'frame', n: n, held: held, width: web.canvas.width, height: web.canvas.height,
                          busyMs: web.busyMs || 0});
        return held ? new Promise(function(resolve) { resume = resolve; }) : null;
      },
      // A canvas that had a WebGL2 context never gives a 2D one, and only
      // the page can make a fresh one.
      askForCanvas: function() { self.postMessage({kind: 'fresh-canvas'}); }
    },
    print: function(text) { console.log(text); },
    printErr: function(text) { console.error(text); },
    onAbort: function(what) { self.postMessage({kind: 'abort', what: String(what)}); },
    onExit: function(status) { self.postMessage({kind: 'exit', status: status}); }
  };
  self.importScripts('scaling-scrolling.js');
};
