// The page's half of the browser build's sound layer (platform/web/sound.cpp):
// soundtracks of the data package are decoded before main runs, played through
// one Web Audio context, and their position is read from its clock. Muted
// runs (and a page without Web Audio) take the clock from performance.now().
Module.kestrelSound = (function () {
  var S = {
    context: null, muted: 0, audioClock: false, names: [], buffers: [], analyser: null,
    playing: -1, source: null, startedAt: 0, heldAt: -1, levelData: null,
  };
  function audioContext() {
    if (!S.context && typeof AudioContext != "undefined") S.context = new AudioContext();
    return S.context;
  }
  // The audio clock once sound was started unmuted and the context runs.
  function now() {
    if (S.audioClock && S.context.state == "running") return S.context.currentTime;
    return performance.now() / 1000;
  }
  function lengthOf(id) { return S.buffers[id] ? S.buffers[id].duration : 0; }
  function positionOf(id) {
    if (id !== S.playing) return 0;
    var p = S.heldAt >= 0 ? S.heldAt : now() - S.startedAt;
    return Math.max(0, Math.min(p, lengthOf(id)));
  }
  function stopSource() {
    if (S.source) { try { S.source.stop(); } catch (e) {} S.source.disconnect(); S.source = null; }
  }
  function startSource(id, offset) {
    stopSource();
    S.startedAt = now() - offset;
    if (S.muted || !S.context || offset >= lengthOf(id)) return;
    var source = S.context.createBufferSource();
    source.buffer = S.buffers[id];
    if (!S.analyser) {
      S.analyser = S.context.createAnalyser();
      S.analyser.fftSize = 2048;
      S.analyser.connect(S.context.destination);
    }
    source.connect(S.analyser);
    source.start(0, offset);
    S.source = source;
  }
  return {
    // Decodes every .mp3 and .ogg under folder (the data package is in the
    // file system by then). Returns a promise that settles when all are done;
    // one that does not decode is reported and left out.
    decodeFolder: function (folder) {
      var ctx = audioContext();
      if (!ctx) return Promise.resolve();
      var names = FS.readdir(folder).filter(function (n) { return /\.(mp3|ogg)$/i.test(n); });
      return Promise.all(names.map(function (n) {
        var path = folder + "/" + n;
        var bytes = FS.readFile(path);
        return ctx.decodeAudioData(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength))
          .then(function (buffer) { S.names.push(path); S.buffers.push(buffer); },
                function (e) { err("sound: " + path + " did not decode: " + e); });
      }));
    },
    // The user's gesture lets the context play.
    resume: function () { var ctx = audioContext(); if (ctx && ctx.state != "running") return ctx.resume(); },
    start: function (muted) { S.muted = muted; S.audioClock = !muted && !!audioContext(); return 1; },
    find: function (path) {
      var i = S.names.indexOf(path.replace(/\/\/+/g, "/"));
      return i;
    },
    lengthMs: function (id) { return lengthOf(id) * 1000; },
    play: function (id, startMs) {
      if (!S.buffers[id]) return 0;
      S.playing = id;
      var offset = Math.min(startMs / 1000, lengthOf(id));
      if (S.heldAt >= 0) { S.heldAt = offset; return 1; }
      startSource(id, offset);
      return 1;
    },
    timeMs: function (id) { return positionOf(id) * 1000; },
    hold: function (held) {
      if (held && S.heldAt < 0) { S.heldAt = positionOf(S.playing); stopSource(); }
      else if (!held && S.heldAt >= 0) { var at = S.heldAt; S.heldAt = -1; if (S.playing >= 0) startSource(S.playing, at); }
    },
    stop: function (id) { if (id === S.playing) { stopSource(); S.playing = -1; } },
    latency: function () {
      var c = S.context;
      return c ? (c.baseLatency || 0) + (c.outputLatency || 0) : 0;
    },
    // Root mean square of the output just now (0 when nothing plays).
    level: function () {
      if (!S.analyser) return 0;
      if (!S.levelData) S.levelData = new Float32Array(S.analyser.fftSize);
      S.analyser.getFloatTimeDomainData(S.levelData);
      var sum = 0;
      for (var i = 0; i < S.levelData.length; i++) sum += S.levelData[i] * S.levelData[i];
      return Math.sqrt(sum / S.levelData.length);
    },
    clock: function () { return now(); },
    contextState: function () { return S.context ? S.context.state : "none"; },
  };
})();
