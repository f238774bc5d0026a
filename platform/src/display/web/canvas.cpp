// The page's canvas: WebGL2 where the browser has it, else the 2D context.
//
// Through WebGL2 a whole-window frame of an 8-bit bitmap costs the main
// thread one upload of its indices and its 256 colours; the GPU stretches
// it, each canvas pixel taking its source pixel by the stand-in's own
// integer rule (below), so the canvas shows exactly what the CPU stretch
// would have drawn. Any other picture reaches the canvas as the window's
// framebuffer, uploaded as it is and copied one to one.
//
// The drawing buffer is not kept once the browser has shown it (keeping it
// would cost a copy of the canvas every frame), so Module.standin.readback()
// draws the last picture again from the textures it was drawn from and reads
// that (tests).
#include "display/web/canvas.h"

#include <emscripten.h>

// The JavaScript is kept as written (clang-format does not know it).
// clang-format off

EM_JS(void, js_canvas_attach, (), {
    const web = Module.standin = Module.standin || {};
    web.canvas = Module.canvas || document.getElementById('canvas');
    web.unshown = null;
    web.say = function(mode, why) {
        web.mode = mode;
        web.why = why;
        if (web.onMode) web.onMode(mode, why);
    };
    // In a worker the 2D context is asked to keep its pixels in memory: the
    // browser then puts each picture to the screen as it is, where a
    // context drawn with a software GL costs a worker far more than the
    // picture (on the page's own thread the browser chooses well itself).
    web.take2d = function(why) {
        const worker = typeof document === 'undefined';
        web.context = web.canvas.getContext('2d', {alpha: false, willReadFrequently: worker});
        web.say('2d', why);
        if (web.unshown) {
            web.context.putImageData(web.unshown, 0, 0);
            web.unshown = null;
        }
    };
    // A canvas that had a WebGL2 context never gives a 2D one: a fresh
    // canvas takes its place. In a worker only the page can make one, and
    // until it arrives (takeCanvas) the pictures wait in web.unshown.
    web.use2d = function(why) {
        if (web.gl) {
            web.gl = null;
            web.redraw = null;
            if (typeof document === 'undefined') {
                web.waiting2d = why;
                web.askForCanvas();
                return;
            }
            const fresh = web.canvas.cloneNode(false);
            web.canvas.replaceWith(fresh);
            web.canvas = Module.canvas = fresh;
        }
        web.take2d(why);
    };
    web.takeCanvas = function(canvas) {
        web.canvas = Module.canvas = canvas;
        if (web.unshown) {
            canvas.width = web.unshown.width;
            canvas.height = web.unshown.height;
        }
        web.take2d(web.waiting2d);
    };
    web.readback = function() {
        const w = web.canvas.width, h = web.canvas.height;
        if (!web.gl && web.unshown) return web.unshown.data;
        if (!web.gl) return web.context.getImageData(0, 0, w, h).data;
        if (web.redraw) web.redraw();
        const gl = web.gl, bottomUp = new Uint8Array(w * h * 4), rows = new Uint8Array(w * h * 4);
        gl.readPixels(0, 0, w, h, gl.RGBA, gl.UNSIGNED_BYTE, bottomUp);
        for (let y = 0; y < h; ++y) rows.set(bottomUp.subarray((h - 1 - y) * w * 4, (h - y) * w * 4), y * w * 4);
        return rows;
    };
    if (web.present === '2d') return web.use2d('asked for by the page');
    const gl = typeof WebGL2RenderingContext === 'undefined' ? null :
        web.canvas.getContext('webgl2', {alpha: false, antialias: false, depth: false, stencil: false,
                                         premultipliedAlpha: false, preserveDrawingBuffer: false});
    if (!gl) return web.use2d('this browser offers no WebGL2');
    web.gl = gl;
    // WebGL2 drawn in software (no GPU, or none the browser trusts) fills
    // the canvas far slower than the CPU stretch: the page keeps to the 2D
    // context there unless it asks for WebGL2 itself (tests, comparisons).
    const info = gl.getExtension('WEBGL_debug_renderer_info');
    const renderer = String(gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER));
    if (web.present !== 'webgl2' && /swiftshader|llvmpipe|softpipe|software/i.test(renderer)) {
        return web.use2d('WebGL2 here is drawn without a GPU (' + renderer + ')');
    }
    try {
        web.glSetUp(gl);
    } catch (error) {
        return web.use2d('WebGL2 refused the shaders (' + error.message + ')');
    }
    web.canvas.addEventListener('webglcontextlost', function(event) {
        event.preventDefault();
        web.use2d('the WebGL2 context was lost');
    });
    web.say('webgl2', 'frames stretched by the GPU');
});

// Shaders and textures, made by js_canvas_attach.
EM_JS(void, js_gl_define, (), {
    const web = Module.standin = Module.standin || {};
    web.glSetUp = function(gl) {
        // One triangle covering the canvas; no vertex data.
        const vertex = '#version 300 es\n' +
            'void main() {\n' +
            '  vec2 p = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1));\n' +
            '  gl_Position = vec4(p, 0.0, 1.0);\n' +
            '}\n';
        const head = '#version 300 es\n' +
            'precision highp float;\nprecision highp int;\n' +
            'precision highp usampler2D;\nprecision highp isampler2D;\n';
        // The canvas pixel's column and row, rows counted from the top.
        const pixel = 'ivec2 canvasPixel(int height) {\n' +
            '  return ivec2(int(gl_FragCoord.x), height - 1 - int(gl_FragCoord.y));\n' +
            '}\n';
        // The stretch rule, as the stand-in's StretchDIBits walks it: along
        // an axis with S source and D destination pixels, destination pixel
        // d (from 0) shows source pixel (2 S d + bias) / (2 D), rounded down,
        // where the bias is S - 1 when the picture is enlarged (S < D: the
        // source pixel under the destination pixel's centre, the lower one
        // when the centre falls on a boundary), and when it is shrunk (or
        // kept) 2 S - D across the picture (the last source column of each
        // run) and D down it (the first source row of each run).
        const stretch = head + pixel +
            'uniform sampler2D frame;\nuniform ivec2 source;\nuniform ivec2 dest;\n' +
            'out vec4 colour;\n' +
            'int pick(int d, int s, int n, int bias) { return (2 * s * d + bias) / (2 * n); }\n' +
            'void main() {\n' +
            '  ivec2 p = canvasPixel(dest.y);\n' +
            '  int s = source.x, n = dest.x;\n' +
            '  int column = pick(p.x, s, n, s < n ? s - 1 : 2 * s - n);\n' +
            '  s = source.y; n = dest.y;\n' +
            '  int row = pick(p.y, s, n, s < n ? s - 1 : n);\n' +
            '  colour = texelFetch(frame, ivec2(column, row), 0);\n' +
            '}\n';
        // Before that, the source rectangle's indices become colours, once
        // per frame at the frame's own size (texture row 0 its top row): a
        // software GL pays for every texture fetch per canvas pixel, and
        // this leaves one.
        const expand = head +
            'uniform usampler2D indices;\nuniform sampler2D colours;\n' +
            'uniform ivec2 origin;\nuniform int rowStep;\n' +  // left column and stored top row
            'out vec4 colour;\n' +
            'void main() {\n' +
            '  ivec2 p = ivec2(gl_FragCoord.xy);\n' +
            '  uint index = texelFetch(indices, ivec2(origin.x + p.x, origin.y + rowStep * p.y), 0).r;\n' +
            '  colour = vec4(texelFetch(colours, ivec2(int(index), 0), 0).rgb, 1.0);\n' +
            '}\n';
        // A framebuffer's words 0x00RRGGBB arrive as the bytes B, G, R, 0.
        const copy = head + pixel +
            'uniform sampler2D frame;\nuniform int height;\n' +
            'out vec4 colour;\n' +
            'void main() {\n' +
            '  colour = vec4(texelFetch(frame, canvasPixel(height), 0).bgr, 1.0);\n' +
            '}\n';
        function program(fragment) {
            const p = gl.createProgram();
            const parts = [gl.VERTEX_SHADER, vertex, gl.FRAGMENT_SHADER, fragment];
            for (let i = 0; i < 4; i += 2) {
                const s = gl.createShader(parts[i]);
                gl.shaderSource(s, parts[i + 1]);
                gl.compileShader(s);
                if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
                gl.attachShader(p, s);
            }
            gl.linkProgram(p);
            if (!gl.getProgramParameter(p, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(p));
            const where = {};
            const count = gl.getProgramParameter(p, gl.ACTIVE_UNIFORMS);
            for (let i = 0; i < count; ++i) {
                const name = gl.getActiveUniform(p, i).name;
                where[name] = gl.getUniformLocation(p, name);
            }
            return {program: p, where: where};
        }
        function texture(unit) {
            const t = gl.createTexture();
            gl.activeTexture(gl.TEXTURE0 + unit);
            gl.bindTexture(gl.TEXTURE_2D, t);
            gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
            gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
            gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
            gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
            return {texture: t, unit: unit, width: 0, height: 0};
        }
        web.glExpand = program(expand);
        web.glStretch = program(stretch);
        web.glCopy = program(copy);
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
        web.glUpload = function(t, format, inner, type, width, height, pixels) {
            gl.activeTexture(gl.TEXTURE0 + t.unit);
            if (t.width !== width || t.height !== height) {
                gl.deleteTexture(t.texture);
                t.texture = gl.createTexture();
                gl.bindTexture(gl.TEXTURE_2D, t.texture);
                gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
                gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
                gl.texStorage2D(gl.TEXTURE_2D, 1, inner, width, height);
                t.width = width;
                t.height = height;
            }
            if (pixels) gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, width, height, format, type, pixels);
        };
        // The canvas at the picture's size; false when WebGL2 cannot draw
        // that large, and the page has turned to the 2D context.
        web.glSize = function(width, height) {
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
    };
});

EM_JS(int, web_gl_active, (), { return Module.standin.gl ? 1 : 0; });

EM_JS(int, web_gl_max_texture, (), { return Module.standin.gl ? Module.standin.glMaxTexture : 0; });

EM_JS(void, web_gl_stretch, (const uint8_t* bits, int bitmap_width, int bitmap_height, int stride,
                             const uint8_t* colours, const standin::GpuStretch* geometry), {
    const web = Module.standin, gl = web.gl;
    // x_src, top_row, row_step, src_width, src_height, dest_width, dest_height
    const g = HEAP32.slice(geometry >> 2, (geometry >> 2) + 7);
    gl.pixelStorei(gl.UNPACK_ROW_LENGTH, stride);
    web.glUpload(web.glIndices, gl.RED_INTEGER, gl.R8UI, gl.UNSIGNED_BYTE, bitmap_width, bitmap_height,
                 HEAPU8.subarray(bits, bits + stride * bitmap_height));
    gl.pixelStorei(gl.UNPACK_ROW_LENGTH, 0);
    web.glUpload(web.glColours, gl.RGBA, gl.RGBA8, gl.UNSIGNED_BYTE, 256, 1, HEAPU8.subarray(colours, colours + 1024));
    const e = web.glExpand, t = web.glExpanded;
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
    web.redraw = function() {
        gl.useProgram(p.program);
        gl.uniform1i(p.where.frame, t.unit);
        gl.uniform2i(p.where.source, g[3], g[4]);
        gl.uniform2i(p.where.dest, g[5], g[6]);
        gl.drawArrays(gl.TRIANGLES, 0, 3);
    };
    web.redraw();
});

EM_JS(void, web_gl_copy, (const uint32_t* pixels, int width, int height), {
    const web = Module.standin, gl = web.gl;
    if (!web.glSize(width, height)) return;
    web.glUpload(web.glFrame, gl.RGBA, gl.RGBA8, gl.UNSIGNED_BYTE, width, height,
                 HEAPU8.subarray(pixels, pixels + width * height * 4));
    const p = web.glCopy;
    web.redraw = function() {
        gl.useProgram(p.program);
        gl.uniform1i(p.where.frame, web.glFrame.unit);
        gl.uniform1i(p.where.height, height);
        gl.drawArrays(gl.TRIANGLES, 0, 3);
    };
    web.redraw();
});

// Resizing the canvas clears it, so nothing stale shows around a new size.
EM_JS(void, web_2d_copy, (const uint8_t* rgba, int width, int height), {
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
});
// clang-format on

void web_canvas_attach() {
    js_gl_define();
    js_canvas_attach();
}
