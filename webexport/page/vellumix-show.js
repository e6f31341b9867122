// The page of a show exported by `vellumix-cli export --web`: it plays the package's
// movie, or its slideshow, with Ruffle, by the rules the Orrinet player follows.
//
// What it reads: the JSON block #vellumix-show that the export wrote (the title, the
// description's settings and, for each movie it starts, the facts of its header). What
// it shows for tests and scripts, on document.body.dataset:
//   state  "loading", "playing" or "ended"
//   slide  the 1-based number of the slide playing (1 for a single movie)
//   movie  the file name of the movie playing
//   frame  the last frame number seen (1-based), where it is known
//
// Frame numbers: the export adds, in front of each frame of an ActionScript 1/2 movie's
// main timeline, an fscommand("vellumix-frame", "<mark> <frame>") that this page takes
// in. ActionScript 3 movies ignore such actions: for them the frame is estimated from
// the frame count and rate of the header, as if the timeline played straight through
// and looped, and dataset.frame stays unset.
//
// In the one-file form (--single-file) every file the page, Ruffle or the movie asks
// for is embedded in the page (script blocks of type application/octet-stream), and
// fetch() answers from them: browsers refuse fetch() of file:// addresses.
(function () {
  "use strict";

  var kTickMs = 100; // the player's slideshow timer
  var kStallLimit = 50; // an advance once more than 50 ticks saw an unchanged frame
  var kFrameCommand = "vellumix-frame";

  var show = JSON.parse(document.getElementById("vellumix-show").textContent);
  var body = document.body;
  var stage = document.getElementById("stage");
  var embedded = collectEmbeddedFiles();

  var player = null; // the Ruffle element
  var api = null; // its player API
  var slide = 0; // index into show.slides (or 0 for the main movie)
  var movie = null; // the movie entry playing
  var generation = 0; // bumps at every load and at the end, to drop late callbacks
  var started = false; // the movie playing has started (its first frame, or its data)
  var startTime = 0; // when it started, for the estimate
  var reportedFrame = 0;
  var lastFrame = -1;
  var stillTicks = 0;
  var timer = 0;
  var background = null; // the colour the player has set, "#rrggbb"
  var wasFullScreen = false;

  document.title = show.title;

  function setData(key, value) {
    if (value === null || value === undefined) delete body.dataset[key];
    else body.dataset[key] = String(value);
  }

  function notice(title, text, button, action) {
    var box = document.getElementById("notice");
    document.getElementById("notice-title").textContent = title;
    var p = document.getElementById("notice-text");
    p.textContent = "";
    (Array.isArray(text) ? text : [text]).forEach(function (part) {
      if (typeof part === "string") p.appendChild(document.createTextNode(part));
      else {
        var code = document.createElement("code");
        code.textContent = part.code;
        p.appendChild(code);
      }
    });
    var b = document.getElementById("notice-button");
    b.hidden = !button;
    b.textContent = button || "";
    b.onclick = action || null;
    box.hidden = false;
    if (button) b.focus();
  }

  function hideNotice() {
    document.getElementById("notice").hidden = true;
  }

  // ---- the one-file form: embedded files answer fetch() --------------------------------

  function collectEmbeddedFiles() {
    var blocks = document.querySelectorAll("script[type='application/octet-stream'][data-name]");
    if (!blocks.length) return null;
    var files = {};
    for (var i = 0; i < blocks.length; ++i) {
      var b = blocks[i];
      var key = (b.dataset.folder || "") + "/" + b.dataset.name;
      files[key.toUpperCase()] = { block: b, type: b.dataset.type || "application/octet-stream", bytes: null };
    }
    return files;
  }

  function embeddedBytes(entry) {
    if (!entry.bytes) {
      var base64 = entry.block.textContent;
      if (Uint8Array.fromBase64) {
        entry.bytes = Uint8Array.fromBase64(base64); // three times as fast where it exists
      } else {
        var text = atob(base64);
        var bytes = new Uint8Array(text.length);
        for (var i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
        entry.bytes = bytes;
      }
      entry.block.textContent = ""; // the decoded copy is kept; the text is not needed again
    }
    return entry.bytes;
  }

  // The embedded file a URL names: a package file beside the page, or one of Ruffle's
  // files in "ruffle/" beside it. Letter case does not count, as on the player's disk.
  function embeddedFileFor(url) {
    var u;
    try {
      u = new URL(url, document.baseURI);
    } catch (e) {
      return null;
    }
    var here = new URL(".", document.baseURI);
    if (u.origin !== here.origin || u.pathname.indexOf(here.pathname) !== 0) return null;
    var rest = u.pathname.substring(here.pathname.length);
    try {
      rest = decodeURIComponent(rest);
    } catch (e) {
      return null;
    }
    var slash = rest.lastIndexOf("/");
    var key = (slash < 0 ? "/" + rest : (rest.substring(0, slash) === "ruffle" ? "ruffle" : "?") + rest.substring(slash));
    return embedded[key.toUpperCase()] || null;
  }

  if (embedded) {
    var realFetch = window.fetch.bind(window);
    window.fetch = function (resource, options) {
      var url = resource instanceof Request ? resource.url : String(resource);
      var entry = url ? embeddedFileFor(url) : null;
      if (!entry) return realFetch(resource, options);
      return Promise.resolve(new Response(embeddedBytes(entry), {
        status: 200,
        headers: { "Content-Type": entry.type },
      }));
    };
    window.RufflePlayer = window.RufflePlayer || {};
    window.RufflePlayer.config = Object.assign({}, window.RufflePlayer.config, {
      publicPath: new URL("ruffle/", document.baseURI).href,
    });
  }

  // ---- the stage: the movie's size, centred; or the whole window ----------------------

  // The player's placement: the movie's size centred, each half truncated toward zero
  // (a movie larger than the window starts off its top left corner).
  function placeStage() {
    if (show.fullScreen || !movie) {
      stage.style.left = "0px";
      stage.style.top = "0px";
      stage.style.width = "100%";
      stage.style.height = "100%";
      return;
    }
    var w = movie.width, h = movie.height;
    stage.style.width = w + "px";
    stage.style.height = h + "px";
    stage.style.left = Math.trunc((window.innerWidth - w) / 2) + "px";
    stage.style.top = Math.trunc((window.innerHeight - h) / 2) + "px";
  }

  function setBackground(colour) {
    background = colour;
    stage.style.background = colour || "";
  }

  // ---- playing --------------------------------------------------------------------------

  function loadOptions(entry) {
    var options = {
      allowScriptAccess: true, // FSCommand calls reach the page only with it
      autoplay: "on",
      splashScreen: false,
      letterbox: "off",
      backgroundColor: background,
      showSwfDownload: false,
    };
    if (embedded) {
      var file = embedded[("/" + entry.name).toUpperCase()];
      if (file) {
        options.data = embeddedBytes(file).slice(); // a copy: the player may keep or move what it gets
        options.swfFileName = entry.name;
        return options;
      }
    }
    options.url = entry.url;
    return options;
  }

  function onFSCommand(command, args) {
    if (command === kFrameCommand) {
      var parts = String(args).split(" ");
      if (movie && movie.mark !== null && Number(parts[0]) === movie.mark) {
        reportedFrame = Number(parts[1]) || 0;
        setData("frame", reportedFrame);
        movieStarted();
      }
      return true;
    }
    if (String(command).toLowerCase() === "quit") {
      // Ruffle ignores a pause or removal asked for inside its FSCommand callback.
      setTimeout(endShow, 0);
      return true;
    }
    // The player ignores every other command; it is logged for the movie's author.
    console.info("FSCommand", command, args);
    return true;
  }

  function makePlayer() {
    var ruffle = window.RufflePlayer && window.RufflePlayer.newest && window.RufflePlayer.newest();
    if (!ruffle) {
      notice("The Flash emulator did not load", "Ruffle's files (ruffle/ruffle.js) are missing beside this page.");
      return false;
    }
    player = ruffle.createPlayer();
    api = typeof player.ruffle === "function" ? player.ruffle() : player;
    stage.appendChild(player);
    if (api.addFSCommandHandler) api.addFSCommandHandler(onFSCommand);
    else player.onFSCommand = onFSCommand;
    var mine = player;
    player.addEventListener("loadeddata", function () {
      if (player === mine) movieStarted();
    });
    return true;
  }

  function movieStarted() {
    if (started) return;
    started = true;
    startTime = performance.now();
    setData("state", "playing");
    if (player && document.activeElement !== player) player.focus();
  }

  // Loads a movie entry into the player, as LoadMovie on layer 0 does.
  function loadMovie(entry) {
    generation += 1;
    var mine = generation;
    movie = entry;
    started = false;
    reportedFrame = 0;
    setData("movie", entry.name);
    setData("frame", null);
    var result;
    try {
      result = api.load(loadOptions(entry));
    } catch (e) {
      result = Promise.reject(e);
    }
    Promise.resolve(result).catch(function (e) {
      // A movie that cannot be loaded stands still: the stall rule moves on from it.
      console.warn("cannot load", entry.name, e);
      if (mine === generation) movieStarted();
    });
  }

  // The frame the slideshow's timer reads this tick.
  function currentFrame() {
    if (movie.mark !== null && !(api.metadata && api.metadata.isActionScript3)) return reportedFrame;
    var frames = movie.frameCount, rate = movie.frameRate;
    var meta = api.metadata;
    if (meta && (!frames || !rate)) {
      frames = meta.numFrames;
      rate = meta.frameRate;
    }
    if (!frames || !rate) return 1;
    return 1 + (Math.floor(((performance.now() - startTime) / 1000) * rate) % frames);
  }

  // The player's slideshow timer: a tick every 100 ms reads the frame; the show moves
  // on when the frame went back (the movie looped) or once more than 50 ticks since
  // the last advance saw it unchanged. Ticks before the movie has started are not
  // counted: the player's control has its movie at once, Ruffle needs a moment.
  function tick() {
    if (!started || !movie) return;
    var frame = currentFrame();
    if (!(lastFrame > frame) && stillTicks <= kStallLimit) {
      if (frame === lastFrame) stillTicks += 1;
      else lastFrame = frame;
      return;
    }
    try {
      advance();
    } catch (e) {
      console.warn("cannot advance", e);
    }
    lastFrame = -1;
    stillTicks = 0;
  }

  function advance() {
    var count = show.slides.length;
    if (count <= 0) return;
    slide += 1;
    if (slide >= count) slide = 0;
    var entry = show.movies[show.slides[slide]];
    setData("slide", slide + 1);
    // A movie without a background colour of its own leaves the one set before.
    if (entry.background) setBackground(entry.background);
    movie = entry;
    if (!show.fullScreen) placeStage();
    loadMovie(entry);
    if (count === 1) stopTimer();
  }

  function stopTimer() {
    if (timer) clearInterval(timer);
    timer = 0;
  }

  function start() {
    hideNotice();
    setData("state", "loading");
    slide = 0;
    lastFrame = -1;
    stillTicks = 0;
    var entry;
    if (show.slideshow) {
      if (!show.slides.length) {
        setData("state", "ended");
        notice(show.title, "This slideshow holds no SWF movie, so there is nothing to play.");
        return;
      }
      entry = show.movies[show.slides[0]];
    } else {
      entry = show.main === null ? null : show.movies[show.main];
      if (!entry) {
        setData("state", "ended");
        notice(show.title, 'The movie "' + show.mainMovie + '" cannot be opened, so there is nothing to play.');
        return;
      }
    }
    setData("slide", 1);
    movie = entry;
    placeStage();
    if (!makePlayer()) return;
    loadMovie(entry);
    if (show.slideshow) timer = setInterval(tick, kTickMs);
  }

  // Esc, the movie's "quit", or leaving full screen (which Esc does before the page
  // sees the key): the player would close; a page cannot, so it says the show ended.
  function endShow() {
    if (body.dataset.state === "ended") return;
    generation += 1;
    stopTimer();
    started = false;
    if (player) {
      try {
        if (api && api.suspend) api.suspend();
      } catch (e) {
        /* the player goes anyway */
      }
      player.remove();
    }
    player = null;
    api = null;
    movie = null;
    setData("frame", null);
    setData("state", "ended");
    if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(function () {});
    notice(show.title || "The show", "The show has ended.", "Play again", function () {
      setBackground(null);
      start();
    });
  }

  window.addEventListener(
    "keydown",
    function (e) {
      if (e.key === "Escape" || e.key === "Esc") {
        if (body.dataset.state !== "ended") {
          e.preventDefault();
          e.stopPropagation();
          endShow();
        }
        return;
      }
      enterFullScreen();
    },
    true
  );

  // Full-screen packages: browsers enter full screen only on a gesture, so the first
  // click or key asks for it.
  function enterFullScreen() {
    if (!show.fullScreen || body.dataset.state === "ended" || document.fullscreenElement) return;
    var root = document.documentElement;
    if (root.requestFullscreen) root.requestFullscreen().catch(function () {});
  }

  window.addEventListener("pointerdown", enterFullScreen, true);
  // Leaving full screen ends only a full-screen package's show: in a windowed one, full
  // screen is what the visitor chose from Ruffle's menu, and Esc only leaves it.
  document.addEventListener("fullscreenchange", function () {
    if (!show.fullScreen) return;
    if (document.fullscreenElement) {
      wasFullScreen = true;
    } else if (wasFullScreen) {
      wasFullScreen = false;
      endShow();
    }
  });
  window.addEventListener("resize", placeStage);

  // Opened from disk, the folder form cannot load Ruffle's WebAssembly: browsers
  // refuse fetch() of file:// addresses. Say so instead of showing a blank page.
  if (location.protocol === "file:" && !embedded) {
    setData("state", "ended");
    notice(show.title || "This show", [
      "This page must be served over HTTP: browsers do not let a page opened from disk load " +
        "the Flash emulator it plays with. Put this folder on any static web host, or run ",
      { code: "python3 -m http.server" },
      " in it and open ",
      { code: "http://127.0.0.1:8000/" },
      ". (The export's --single-file form plays from disk.)",
    ]);
    return;
  }
  // Ruffle's script follows this one; it has run once the page is parsed.
  if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", start);
  else start();
})();
