// Stand-in for the Morvel engine page, for tests only. It honours the page contract (ready, start(opts),
// reading both scan files, stage messages, one result) and answers with the scan's bounding box as the cage.
// The option "standinMode" picks a hostile behaviour; a file "standin-mode.txt" in the engine folder picks a
// behaviour that acts before the start call, or, for a start behaviour the app's own options cannot ask for
// ("stallMidway": four stages, then nothing), one that acts on it. Its .3dm bytes and .vellacot text are
// labelled placeholders.
(function () {
    'use strict';

    var STAGES = ['loaded', 'prepare', 'topology', 'decimate', 'features', 'reflow', 'cage', 'refit', 'measure'];
    var startCalls = 0;
    // A hidden page runs its timers about once a second: the reply says how the page saw itself.
    var visibilityAtLoad = document.visibilityState;
    var visibilityAtStart = '';
    var timerProbeMs = null;
    var fileMode = '';

    function post(message) { window.webkit.messageHandlers.engine.postMessage(message); }

    function toBase64(buffer) {
        var bytes = new Uint8Array(buffer);
        var parts = [];
        for (var i = 0; i < bytes.length; i += 0x8000) {
            parts.push(String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000)));
        }
        return btoa(parts.join(''));
    }

    function fetchBytes(path) {
        return fetch(path).then(function (response) {
            if (!response.ok) { throw new Error('could not read ' + path); }
            return response.arrayBuffer();
        });
    }

    function boxOf(positions) {
        var min = [Infinity, Infinity, Infinity], max = [-Infinity, -Infinity, -Infinity];
        for (var i = 0; i + 2 < positions.length; i += 3) {
            for (var k = 0; k < 3; ++k) {
                min[k] = Math.min(min[k], positions[i + k]);
                max[k] = Math.max(max[k], positions[i + k]);
            }
        }
        return { min: min, max: max };
    }

    function boxCage(box) {
        var p = [];
        for (var c = 0; c < 8; ++c) {
            p.push(c & 1 ? box.max[0] : box.min[0], c & 2 ? box.max[1] : box.min[1], c & 4 ? box.max[2] : box.min[2]);
        }
        var edges = [0, 1, 2, 3, 4, 5, 6, 7, 0, 2, 1, 3, 4, 6, 5, 7, 0, 4, 1, 5, 2, 6, 3, 7];
        var weights = [0, 0, 0, 0, 1.5, 1.5, 1.5, 1.5, 4, 4, 4, 4];
        var triangles = [0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4, 2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5];
        return { positions: new Float32Array(p), edges: new Uint32Array(edges), weights: weights,
                 triangles: new Uint32Array(triangles) };
    }

    function deviation(positions, box) {
        var distances = [];
        for (var i = 0; i + 2 < positions.length; i += 3) {
            var d = Infinity;
            for (var k = 0; k < 3; ++k) {
                d = Math.min(d, positions[i + k] - box.min[k], box.max[k] - positions[i + k]);
            }
            distances.push(d);
        }
        distances.sort(function (a, b) { return a - b; });
        var sum = distances.reduce(function (a, b) { return a + b; }, 0);
        return { mean: distances.length ? sum / distances.length : 0,
                 p99: distances.length ? distances[Math.min(distances.length - 1, Math.floor(distances.length * 0.99))] : 0 };
    }

    function answer(opts, positions, triangles) {
        var mode = opts.standinMode || 'ok';
        var box = boxOf(positions);
        var cage = boxCage(box);
        var limitPositions = cage.positions, limitTriangles = cage.triangles;
        if (mode === 'echoScan') {
            limitPositions = positions;
            limitTriangles = triangles;
        }
        if (mode === 'badIndices') {
            limitTriangles = new Uint32Array([0, 1, 99]);
        }
        var placeholder = new TextEncoder().encode('STAND-IN PLACEHOLDER: not a real .3dm file\n');
        var reply = {
            ok: true,
            quads: 6,
            route: 'stand-in bounding box',
            deviation: { scanToLimit: deviation(positions, box) },
            host: { solveIn: 'page (stand-in)' },
            settings: opts,
            standin: { startCalls: startCalls, scanVertices: positions.length / 3, scanTriangles: triangles.length / 3,
                       visibilityAtLoad: visibilityAtLoad, visibilityAtStart: visibilityAtStart,
                       timerProbeMs: timerProbeMs },
            limit: { positions: toBase64(limitPositions.buffer), triangles: toBase64(limitTriangles.buffer) },
            cage: { positions: toBase64(cage.positions.buffer), edges: toBase64(cage.edges.buffer),
                    creaseWeights: cage.weights },
            files: { threeDm: toBase64(placeholder.buffer),
                     vellacot: 'STAND-IN PLACEHOLDER: not a real .vellacot file\ncage vertices 8, edges 12\n' }
        };
        if (mode === 'refuse') {
            reply = { ok: false, reason: 'stand-in refused this scan', settings: opts };
        }
        return JSON.stringify(reply);
    }

    // Ten chained zero-delay timers: a few milliseconds on a visible page, seconds on a throttled one.
    function timerProbe() {
        var began = performance.now();
        return new Promise(function (resolve) {
            var left = 10;
            (function next() {
                if (--left < 0) { resolve(performance.now() - began); return; }
                setTimeout(next, 0);
            })();
        });
    }

    function start(opts) {
        startCalls += 1;
        visibilityAtStart = document.visibilityState;
        var mode = (opts && opts.standinMode) || (fileMode === 'stallMidway' ? fileMode : 'ok');
        if (mode === 'probeTimers') {
            return timerProbe().then(function (ms) {
                timerProbeMs = ms;
                return fit(opts, 'ok');
            });
        }
        if (mode === 'throw') { throw new Error('stand-in start threw'); }
        if (mode === 'reject') { return Promise.reject('stand-in start rejected'); }
        if (mode === 'hang') { return new Promise(function () {}); }
        if (mode === 'crash') {
            // Nothing in a page can end its own renderer; the test ends it on this stage, as the system would.
            post({ type: 'stage', name: 'crash-me', ms: 0 });
            return new Promise(function () {});
        }
        return fit(opts, mode);
    }

    function fit(opts, mode) {
        var began = performance.now();
        return Promise.all([fetchBytes('/__data/scan_positions.f32'), fetchBytes('/__data/scan_triangles.u32')])
            .then(function (buffers) {
                var positions = new Float32Array(buffers[0]);
                var triangles = new Uint32Array(buffers[1]);
                post({ type: 'probe', works: false, why: 'stand-in runs on the page' });
                if (mode === 'oddStageName') { post({ type: 'stage', name: '50%1 done', ms: 7.9 }); }
                if (mode === 'stallMidway') {
                    STAGES.slice(0, 4).forEach(function (name) { post({ type: 'stage', name: name, ms: 1 }); });
                    return new Promise(function () {});
                }
                STAGES.forEach(function (name) { post({ type: 'stage', name: name, ms: performance.now() - began }); });
                if (mode === 'fail') { post({ type: 'failed', message: 'stand-in failed on purpose' }); return; }
                if (mode === 'nothing') { post({ type: 'result' }); return; }
                if (mode === 'pageErrorAfterReady') { post({ type: 'error', message: 'late page error' }); }
                var json = answer(opts, positions, triangles);
                if (mode === 'twice') {
                    post({ type: 'ready', engine: 'stand-in again' });
                    post({ type: 'result', json: json });
                    post({ type: 'result', json: '{"ok": false, "reason": "second answer"}' });
                    post({ type: 'failed', message: 'after the end' });
                    return;
                }
                post({ type: 'result', json: json });
            });
    }

    window.tovarineMorvel = { start: start };

    fetch('/standin-mode.txt')
        .then(function (response) { return response.ok ? response.text() : ''; }, function () { return ''; })
        .then(function (text) {
            var mode = text.trim();
            fileMode = mode;
            if (mode === 'errorBeforeReady') {
                post({ type: 'error', message: 'stand-in could not start' });
                return;
            }
            if (mode === 'silent') { return; }
            post({ type: 'ready', engine: 'morvel stand-in' });
            if (mode === 'readyTwice') { post({ type: 'ready', engine: 'morvel stand-in' }); }
        });
})();
