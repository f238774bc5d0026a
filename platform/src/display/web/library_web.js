// The web display's JavaScript half (web.cpp is the other): the canvas and
// how pictures reach it, the events the page queues for the program, and
// the waits that hand control back to the browser. Linked into the
// program with emscripten's --js-library; each function below is one that
// web.cpp calls.
//
// The page talks to it through Module.standin, which the page's script
// makes (web/page.js): the page sets its options (present, clientSize) and
// its hooks (onMode, onFrame, askForCanvas), and this file adds what the
// page may call (resized, close, takeCanvas, readback) and what it may read
// (canvas, gl, mode, busyMs).
//
// Pictures go through WebGL2 where the browser offers it, else through the
// canvas's 2D context, chosen once when the display attaches and said to
// the page (onMode). A lost WebGL2 context turns the page to the 2D context
// for good. Through WebGL2 a whole-window frame of an 8-bit bitmap costs
// one upload of its indices and its 256 colours; the GPU stretches it, each
// canvas pixel taking its source pixel by the stand-in's own integer rule
// (below), so the canvas shows exactly what the CPU stretch would have
// drawn. Any other picture reaches the canvas as the window's framebuffer,
// uploaded as it is and copied one to one.
//
// The drawing buffer is not kept once the browser has shown it (keeping it
// would cost a copy of the canvas every frame), so readback() draws the
// last picture again from the textures it was drawn from and reads that.

// The helpers named $name below are emitted as globals of that name (less
// the $) into the program's script, as emscripten does for its own.
/* global mergeInto, LibraryManager, Module, HEAPU8, HEAP32, Asyncify */
/* global webShaders, webGlSetUp, webCanvasSetUp */

mergeInto(LibraryManager.library, {
  // The shaders: one triangle covering the canvas, and three ways to fill
  // it.
  $webShaders: function () {
    const vertex = [
      '#version 300 es',
      'void main() {',
      '  vec2 p = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1));',
      '  gl_Position = vec4(p, 0.0, 1.0);',
      '}',
    ];
    const head = [
      '#version 300 es',
      'precision highp float;',
      'precision highp int;',
      'precision highp usampler2D;',
      'precision highp isampler2D;',
    ];
    // The canvas pixel's column and row, rows counted from the top.
    const pixel = [
      'ivec2 canvasPixel(int height) {',
      '  return ivec2(int(gl_FragCoord.x), height - 1 - int(gl_FragCoord.y));',
      '}',
    ];
    // The stretch rule, as the stand-in's StretchDIBits walks it: along an
    // axis with S source and D destination pixels, destination pixel d
    // (from 0) shows source pixel (2 S d + bias) / (2 D), rounded down,
    // where the bias is S - 1 when the picture is enlarged (S < D: the
    // source pixel under the destination pixel's centre, the lower one
    // when the centre falls on a boundary), and when it is shrunk (or kept)
    // 2 S - D across the picture (the last source column of each run) and D
    // down it (the first source row of each run).
    const stretch = head.concat(pixel, [
      'uniform sampler2D frame;',
      'uniform ivec2 source;',
      'uniform ivec2 dest;',
      'out vec4 colour;',
      'int pick(int d, int s, int n, int bias) { return (2 * s * d + bias) / (2 * n); }',
      'void main() {',
      '  ivec2 p = canvasPixel(dest.y);',
      '  int s = source.x, n = dest.x;',
      '  int column = pick(p.x, s, n, s < n ? s - 1 : 2 * s - n);',
      '  s = source.y; n = dest.y;',
      '  int row = pick(p.y, s, n, s < n ? s - 1 : n);',
      '  colour = texelFetch(frame, ivec2(column, row), 0);',
      '}',
    ]);
    // Before that, the source rectangle's indices become colours, once per
    // frame at the frame's own size (texture row 0 its top row): a software
    // GL pays for every texture fetch per canvas pixel, and this leaves
    // one. The origin is the left column and the stored top row.
    const expand = head.concat([
      'uniform usampler2D indices;',
      'uniform sampler2D colours;',
      'uniform ivec2 origin;',
      'uniform int rowStep;',
      'out vec4 colour;',
      'void main() {',
      '  ivec2 p = ivec2(gl_FragCoord.xy);',
      '  uint index = texelFetch(indices, ivec2(origin.x + p.x, origin.y + rowStep * p.y), 0).r;',
      '  colour = vec4(texelFetch(colours, ivec2(int(index), 0), 0).rgb, 1.0);',
      '}',
    ]);
    // A framebuffer's words 0x00RRGGBB arrive as the bytes B, G, R, 0.
    const copy = head.concat(pixel, [
      'uniform sampler2D frame;',
      'uniform int height;',
      'out vec4 colour;',
      'void main() {',
      '  colour = vec4(texelFetch(frame, canvasPixel(height), 0).bgr, 1.0);',
      '}',
    ]);
    const text = (lines) => lines.join('\n') + '\n';
    return { vertex: text(vertex), stretch: text(stretch), expand: text(expand), copy: text(copy) };
  },

  // Programs, textures and the helpers that draw with them; throws when
  // WebGL2 refuses the shaders.
  $webGlSetUp__deps: ['$webShaders'],
  $webGlSetUp: function (web, gl) {
    const shaders = webShaders();
    function program(fragment) {
      const p = gl.createProgram();
      const parts = [gl.VERTEX_SHADER, shaders.vertex, gl.FRAGMENT_SHADER, fragment];
      for (let i = 0; i < parts.length; i += 2) {
        const s = gl.createShader(parts[i]);
        gl.shaderSource(s, parts[i + 1]);
        gl.compileShader(s);
        if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) {
          throw new Error(gl.getShaderInfoLog(s));
        }
        gl.attachShader(p, s);
      }
      gl.linkProgram(p);
      if (!gl.getProgramParameter(p, gl.LINK_STATUS)) {
        throw new Error(gl.getProgramInfoLog(p));
      }
      const where = {};
      const count = gl.getProgramParameter(p, gl.ACTIVE_UNIFORMS);
      for (let i = 0; i < count; ++i) {
        const name = gl.getActiveUniform(p, i).name;
        where[name] = gl.getUniformLocation(p, name);
      }
      return { program: p, where: where };
    }
    function bindNew(unit) {
      const t = gl.createTexture();
      gl.activeTexture(gl.TEXTURE0 + unit);
      gl.bindTexture(gl.TEXTURE_2D, t);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
      return t;
    }
    function texture(unit) {
      const t = bindNew(unit);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
      return { texture: t, unit: unit, width: 0, height: 0 };
    }
    web.glExpand = program(shaders.expand);
    web.glStretch = program(shaders.stretch);
    web.glCopy = program(shaders.copy);
    web.glIndices = texture(0);
    web.glColours = texture(1);
    web.glFrame = texture(2);
    web.glExpanded = texture(3);
    web.glTarget = gl.createFramebuffer();
    gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
    gl.bindVertexArray(gl.createVertexArray());
    gl.disable(gl.DITHER);
    gl.disable(gl.BLEND);
    web.glMaxTexture = gl.getParameter(gl.MAX_TEXTURE_SIZE);
    // A texture's storage is made anew when its size changes.
    web.glUpload = function (t, format, inner, type, width, height, pixels) {
      gl.activeTexture(gl.TEXTURE0 + t.unit);
      if (t.width !== width || t.height !== height) {
        gl.deleteTexture(t.texture);
        t.texture = bindNew(t.unit);
        gl.texStorage2D(gl.TEXTURE_2D, 1, inner, width, height);
        t.width = width;
        t.height = height;
      }
      if (pixels) {
        gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, width, height, format, type, pixels);
      }
    };
    // The canvas at the picture's size; false when WebGL2 cannot draw that
    // large, and the page has turned to the 2D context.
    web.glSize = function (width, height) {
      const c = web.canvas;
      if (c.width !== width || c.height !== height) {
        c.width = width;
        c.height = height;
      }
      if (gl.drawingBufferWidth !== width || gl.drawingBufferHeight !== height) {
        web.use2d('WebGL2 cannot draw ' + width + ' x ' + height + ' pixels');
        return false;
      }
      gl.viewport(0, 0, width, height);
      return true;
    };
  },

  // The canvas and its context, and the ways to turn to the 2D context.
  $webCanvasSetUp__deps: ['$webGlSetUp'],
  $webCanvasSetUp: function (web) {
    web.canvas = Module.canvas || document.getElementById('canvas');
    web.unshown = null;
    web.say = function (mode, why) {
      web.mode = mode;
      web.why = why;
      if (web.onMode) web.onMode(mode, why);
    };
    // In a worker the 2D context is asked to keep its pixels in memory: the
    // browser then puts each picture to the screen as it is, where a
    // context drawn with a software GL costs a worker far more than the
    // picture (on the page's own thread the browser chooses well itself).
    web.take2d = function (why) {
      const worker = typeof document === 'undefined';
      web.context = web.canvas.getContext('2d', { alpha: false, willReadFrequently: worker });
      web.say('2d', why);
      if (web.unshown) {
        web.context.putImageData(web.unshown, 0, 0);
        web.unshown = null;
      }
    };
    // A canvas that had a WebGL2 context never gives a 2D one: the page
    // puts a fresh canvas in its place (takeCanvas), and until it arrives
    // (from a worker's page, a message away) the pictures wait in unshown.
    web.use2d = function (why) {
      if (!web.gl) return web.take2d(why);
      web.gl = null;
      web.redraw = null;
      web.waiting2d = why;
      web.askForCanvas();
    };
    web.takeCanvas = function (canvas) {
      web.canvas = Module.canvas = canvas;
      if (web.unshown) {
        canvas.width = web.unshown.width;
        canvas.height = web.unshown.height;
      }
      web.take2d(web.waiting2d);
    };
    web.readback = function () {
      const w = web.canvas.width;
      const h = web.canvas.height;
      if (!web.gl && web.unshown) return web.unshown.data;
      if (!web.gl) return web.context.getImageData(0, 0, w, h).data;
      if (web.redraw) web.redraw();
      const gl = web.gl;
      const bottomUp = new Uint8Array(w * h * 4);
      const rows = new Uint8Array(w * h * 4);
      gl.readPixels(0, 0, w, h, gl.RGBA, gl.UNSIGNED_BYTE, bottomUp);
      for (let y = 0; y < h; ++y) {
        rows.set(bottomUp.subarray((h - 1 - y) * w * 4, (h - y) * w * 4), y * w * 4);
      }
      return rows;
    };
    if (web.present === '2d') return web.use2d('asked for by the page');
    const settings = { alpha: false, antialias: false, depth: false, stencil: false, premultipliedAlpha: false,
      preserveDrawingBuffer: false };
    const gl = typeof WebGL2RenderingContext === 'undefined' ? null : web.canvas.getContext('webgl2', settings);
    if (!gl) return web.use2d('this browser offers no WebGL2');
    web.gl = gl;
    // WebGL2 drawn in software (no GPU, or none the browser trusts) fills
    // the canvas far slower than the CPU stretch: the page keeps to the 2D
    // context there unless it asks for WebGL2 itself (tests, comparisons).
    const info = gl.getExtension('WEBGL_debug_renderer_info');
    const renderer = String(gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER));
    const software = /swiftshader|llvmpipe|softpipe|software/i.test(renderer);
    if (web.present !== 'webgl2' && software) {
      return web.use2d('WebGL2 here is drawn without a GPU (' + renderer + ')');
    }
    try {
      webGlSetUp(web, gl);
    } catch (error) {
      return web.use2d('WebGL2 refused the shaders (' + error.message + ')');
    }
    web.canvas.addEventListener('webglcontextlost', function (event) {
      event.preventDefault();
      web.use2d('the WebGL2 context was lost');
    });
    web.say('webgl2', 'frames stretched by the GPU');
  },

  // The events the page queues for the program (resize, close), and a way
  // for the close of the page to wake a program that is waiting for the
  // next animation frame, so that it can still hear WM_CLOSE and end before
  // the page goes. The page watches its size and its going and calls
  // resized() (with the size in clientSize) and close().
  web_attach__deps: ['$webCanvasSetUp'],
  web_attach: function () {
    const web = (Module.standin = Module.standin || {});
    web.events = [];
    web.wake = null;
    web.resized = function () {
      // Only the latest size matters to a program that has not yet seen
      // the one before.
      const last = web.events[web.events.length - 1];
      if (last && last[0] === 0) web.events.pop();
      web.events.push([0, web.clientSize[0], web.clientSize[1]]);
    };
    web.close = function () {
      web.events.push([1, 0, 0]);
      if (web.wake) web.wake();
    };
    webCanvasSetUp(web);
  },

  web_client_size: function (width, height) {
    const s = Module.standin.clientSize;
    HEAP32[width >> 2] = s[0];
    HEAP32[height >> 2] = s[1];
  },

  web_next_event: function (width, height) {
    const e = Module.standin.events.shift();
    if (!e) return -1;
    HEAP32[width >> 2] = e[1];
    HEAP32[height >> 2] = e[2];
    return e[0];
  },

  // Counts the pictures shown: onFrame, when the page sets it, hears each
  // count and may return a promise to hold the program at that picture
  // until it settles (tests).
  web_shown: function () {
    const web = Module.standin;
    web.shown = (web.shown || 0) + 1;
    web.hold = web.onFrame ? web.onFrame(web.shown) : null;
    return web.hold ? 1 : 0;
  },

  web_hold: function () {
    return Asyncify.handleAsync(async () => {
      const hold = Module.standin.hold;
      Module.standin.hold = null;
      await hold;
    });
  },

  // Returns at the browser's next animation frame, or at once when the page
  // is going away. busyMs adds up the time the program ran between waits.
  // A worker without animation frames of its own waits a sixtieth of a
  // second instead.
  web_wait_frame: function () {
    return Asyncify.handleAsync(async () => {
      const web = Module.standin;
      if (web.resumedAt !== undefined) {
        web.busyMs = (web.busyMs || 0) + performance.now() - web.resumedAt;
      }
      await new Promise(function (resolve) {
        const frames = typeof requestAnimationFrame === 'function';
        const woken = function () {
          web.wake = null;
          resolve();
        };
        const id = frames ? requestAnimationFrame(woken) : setTimeout(woken, 1000 / 60);
        web.wake = function () {
          if (frames) cancelAnimationFrame(id);
          else clearTimeout(id);
          woken();
        };
      });
      web.resumedAt = performance.now();
    });
  },

  web_gl_active: function () { return Module.standin.gl ? 1 : 0; },

  web_gl_max_texture: function () { return Module.standin.gl ? Module.standin.glMaxTexture : 0; },

  // The geometry is seven numbers: x_src, top_row, row_step, src_width,
  // src_height, dest_width, dest_height.
  web_gl_stretch: function (bits, bitmapWidth, bitmapHeight, stride, colours, geometry) {
    const web = Module.standin;
    const gl = web.gl;
    const g = HEAP32.slice(geometry >> 2, (geometry >> 2) + 7);
    gl.pixelStorei(gl.UNPACK_ROW_LENGTH, stride);
    const indices = HEAPU8.subarray(bits, bits + stride * bitmapHeight);
    web.glUpload(web.glIndices, gl.RED_INTEGER, gl.R8UI, gl.UNSIGNED_BYTE, bitmapWidth, bitmapHeight, indices);
    gl.pixelStorei(gl.UNPACK_ROW_LENGTH, 0);
    const table = HEAPU8.subarray(colours, colours + 1024);
    web.glUpload(web.glColours, gl.RGBA, gl.RGBA8, gl.UNSIGNED_BYTE, 256, 1, table);
    const e = web.glExpand;
    const t = web.glExpanded;
    web.glUpload(t, null, gl.RGBA8, null, g[3], g[4], null);
    gl.bindFramebuffer(gl.FRAMEBUFFER, web.glTarget);
    gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, t.texture, 0);
    gl.useProgram(e.program);
    gl.uniform1i(e.where.indices, web.glIndices.unit);
    gl.uniform1i(e.where.colours, web.glColours.unit);
    gl.uniform2i(e.where.origin, g[0], g[1]);
    gl.uniform1i(e.where.rowStep, g[2]);
    gl.viewport(0, 0, g[3], g[4]);
    gl.drawArrays(gl.TRIANGLES, 0, 3);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    if (!web.glSize(g[5], g[6])) return;
    const p = web.glStretch;
    web.redraw = function () {
      gl.useProgram(p.program);
      gl.uniform1i(p.where.frame, t.unit);
      gl.uniform2i(p.where.source, g[3], g[4]);
      gl.uniform2i(p.where.dest, g[5], g[6]);
      gl.drawArrays(gl.TRIANGLES, 0, 3);
    };
    web.redraw();
  },

  web_gl_copy: function (pixels, width, height) {
    const web = Module.standin;
    const gl = web.gl;
    if (!web.glSize(width, height)) return;
    const words = HEAPU8.subarray(pixels, pixels + width * height * 4);
    web.glUpload(web.glFrame, gl.RGBA, gl.RGBA8, gl.UNSIGNED_BYTE, width, height, words);
    const p = web.glCopy;
    web.redraw = function () {
      gl.useProgram(p.program);
      gl.uniform1i(p.where.frame, web.glFrame.unit);
      gl.uniform1i(p.where.height, height);
      gl.drawArrays(gl.TRIANGLES, 0, 3);
    };
    web.redraw();
  },

  // Resizing the canvas clears it, so nothing stale shows around a new size.
  web_2d_copy: function (rgba, width, height) {
    const web = Module.standin;
    if (web.canvas.width !== width || web.canvas.height !== height) {
      web.canvas.width = width;
      web.canvas.height = height;
    }
    const pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
    if (!web.context) {
      web.unshown = new ImageData(new Uint8ClampedArray(pixels), width, height);
      return;
    }
    web.context.putImageData(new ImageData(pixels, width, height), 0, 0);
  },
});
