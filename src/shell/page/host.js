// The page that plays the book's movie with Ruffle and passes the movie's calls to the player.
"use strict";

(function () {
  const SCHEME = "pagewend:";
  // The player writes its token here as it serves this file; only requests that name it reach it.
  const BRIDGE = "pagewend://book/bridge/@BRIDGE_TOKEN@/";

  // Nothing of this page talks to peers: WebRTC would send packets no request rule sees.
  for (const name of ["RTCPeerConnection", "webkitRTCPeerConnection", "RTCDataChannel", "RTCIceCandidate",
                      "RTCSessionDescription", "RTCRtpSender", "RTCRtpReceiver", "RTCRtpTransceiver"]) {
    try {
      delete window[name];
    } catch (e) {
      // a name this engine lacks
    }
  }

  // Chromium refuses fetch() on a custom scheme in this Qt version, while XMLHttpRequest works:
  // Ruffle fetches its core and the movie, so those fetches go through XHR.
  function requestBytes(href, method) {
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open(method, href);
      xhr.responseType = "arraybuffer";
      xhr.onload = () =>
        resolve({
          bytes: xhr.response,
          status: xhr.status >= 200 && xhr.status <= 599 ? xhr.status : 200,
          type: xhr.getResponseHeader("Content-Type") || "application/octet-stream",
        });
      xhr.onerror = () => reject(new TypeError("Failed to fetch " + href));
      xhr.send();
    });
  }
  function toResponse(href, got, headers) {
    const response = new Response(got.bytes, {
      status: got.status,
      headers: Object.assign({ "Content-Type": got.type }, headers),
    });
    Object.defineProperty(response, "url", { value: href });
    return response;
  }

  // Ruffle's core is fetched and compiled from the moment this page starts, not once Ruffle's
  // own script has loaded and asked for it. The player writes its name here; none when it could
  // not tell which one Ruffle loads.
  const CORE = "@RUFFLE_CORE@";
  const CORE_HEADER = "X-Pagewend-Core";
  const coreUrl = CORE ? new URL("ruffle/" + CORE, document.baseURI).href : "";
  let coreBytes = coreUrl ? requestBytes(coreUrl, "GET") : null;
  const coreModule = coreBytes ? coreBytes.then((got) => WebAssembly.compile(got.bytes)) : null;
  if (coreModule) coreModule.catch(() => {});  // Ruffle then compiles it itself

  const nativeFetch = window.fetch.bind(window);
  window.fetch = function (input, init) {
    const href = typeof input === "string" ? input : input instanceof URL ? input.href : input.url;
    const url = new URL(href, document.baseURI);
    if (url.protocol !== SCHEME) return nativeFetch(input, init);
    const method = (init && init.method) || "GET";
    if (url.href === coreUrl && coreBytes && method === "GET") {
      // Handed over once, marked so that instantiating it takes the module compiled already.
      const fetched = coreBytes.then(
        (got) => toResponse(url.href, got, { [CORE_HEADER]: "1" }),
        () => requestBytes(url.href, method).then((got) => toResponse(url.href, got)),
      );
      coreBytes = null;
      return fetched;
    }
    return requestBytes(url.href, method).then((got) => toResponse(url.href, got));
  };
  const nativeInstantiateStreaming = WebAssembly.instantiateStreaming;
  WebAssembly.instantiateStreaming = async function (source, imports) {
    const response = await source;
    const module = response.headers.has(CORE_HEADER) ? await coreModule.catch(() => null) : null;
    if (!module) return nativeInstantiateStreaming.call(WebAssembly, response, imports);
    return { module: module, instance: await WebAssembly.instantiate(module, imports) };
  };

  // Messages to the player, one at a time so that they arrive in the order they were sent.
  const outbox = [];
  let sending = false;
  function send(kind, text, onReply) {
    outbox.push({ kind: kind, text: text || "", onReply: onReply });
    if (!sending) sendNext();
  }
  function sendNext() {
    const message = outbox.shift();
    if (!message) {
      sending = false;
      return;
    }
    sending = true;
    const xhr = new XMLHttpRequest();
    xhr.open("GET", BRIDGE + message.kind + "?" + encodeURIComponent(message.text));
    xhr.onload = () => {
      if (message.onReply) message.onReply(xhr.responseText);
    };
    xhr.onloadend = sendNext;
    xhr.send();
  }
  function deliver(request) {
    send("call", request);
  }

  function escapeXml(text) {
    return String(text).replace(/[&<>"']/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;", "'": "&apos;" })[c]);
  }

  // A value in the XML form Flash Player gave its container.
  function valueXml(value, depth) {
    if (value === null) return "<null/>";
    if (value === undefined) return "<undefined/>";
    if (value === true) return "<true/>";
    if (value === false) return "<false/>";
    if (typeof value === "number") return "<number>" + value + "</number>";
    if (typeof value === "string") return "<string>" + escapeXml(value) + "</string>";
    if (depth > 32 || typeof value !== "object") return "<undefined/>";
    const tag = Array.isArray(value) ? "array" : "object";
    const keys = Array.isArray(value) ? value.map((_, i) => i) : Object.keys(value);
    let out = "<" + tag + ">";
    for (const key of keys) out += '<property id="' + escapeXml(key) + '">' + valueXml(value[key], depth + 1) + "</property>";
    return out + "</" + tag + ">";
  }

  function requestXml(name, args) {
    let out = '<invoke name="' + escapeXml(name) + '" returntype="xml"><arguments>';
    for (const arg of args) out += valueXml(arg, 0);
    return out + "</arguments></invoke>";
  }

  // Ruffle runs ExternalInterface.call(name, ...) as new Function(`return (${name})(...arguments);`)
  // in this page, evaluating the movie's name as script. The constructor is replaced so that this
  // one template becomes a call to the player, whatever the name, and the name is never run.
  const NativeFunction = window.Function;
  const callTemplate = /^return \(([\s\S]*)\)\(\.\.\.arguments\);$/;
  function HostFunction(...args) {
    if (args.length === 1 && typeof args[0] === "string") {
      const match = callTemplate.exec(args[0]);
      if (match) {
        const name = match[1];
        return function () {
          deliver(requestXml(name, Array.from(arguments)));
          return undefined;
        };
      }
    }
    return NativeFunction(...args);
  }
  HostFunction.prototype = NativeFunction.prototype;
  window.Function = HostFunction;

  const config = {
    allowScriptAccess: true,
    autoplay: "on",
    unmuteOverlay: "hidden",
    splashScreen: false,
    contextMenu: "off",
    letterbox: "on",
    scale: "showAll",
    quality: "high",
    wmode: "window",
    allowFullscreen: false,
    // Links go to window.open or a navigation of this page; both end with the player, below.
    openUrlMode: "allow",
    warnOnUnsupportedContent: false,
    logLevel: "error",
  };

  // An empty movie of one frame: when the page starts before the book has named its movie,
  // playing it starts Ruffle's core while the book unpacks.
  const blankMovie = new Uint8Array([0x46, 0x57, 0x53, 10, 17, 0, 0, 0, 0, 0, 12, 1, 0, 0x40, 0, 0, 0]);

  let player = null;
  let warm = Promise.resolve();
  let ready = false;
  let current = "";  // the movie the player named
  let playing = "";  // the movie Ruffle was last given; none while it plays the blank one
  let blankStarted = null;

  // Books were made for a control that loaded the start movie from its file, so every name its
  // movies ask for (the viewer framework, documents, page images, sounds) is relative to the
  // movie's own folder; Ruffle would resolve them against this page.
  function movieBase(url) {
    return new URL(".", url).href;
  }

  // Resolves once Ruffle has taken the movie (the blank one: once it has also started, so that
  // its start is never taken for the book's).
  function play(url) {
    playing = url;
    const started = url ? null : new Promise((resolve) => (blankStarted = resolve));
    const loaded = player
      .ruffle()
      .load(Object.assign(url ? { url: url, base: movieBase(url) } : { data: blankMovie }, config))
      .catch((e) => {
        if (url) send("failed", String((e && e.message) || e));
        if (blankStarted) blankStarted();
      });
    return Promise.all([loaded, started]).then(() => {
      if (!ready) send("ready");
      ready = true;
    });
  }

  function load(url) {
    if (!url || url === current) return;
    current = url;
    if (!player) return;  // start plays it
    warm.finally(() => play(url));
  }

  // A movie's link never opens a window of this engine: the player decides where it goes.
  window.open = function (url) {
    try {
      send("link", new URL(String(url), document.baseURI).href);
    } catch (e) {
      // an unreadable URL goes nowhere
    }
    return null;
  };

  // Ruffle hands keys to the movie only once its element has taken the focus while the page had
  // it; the player gives the page the focus when it hears that the movie started, maybe later.
  function focusMovie() {
    if (!document.hasFocus()) {
      window.addEventListener("focus", focusMovie, { once: true });
      return;
    }
    player.blur();
    player.focus();
  }

  window.pagewendHost = {
    // The player's word that its movie is url.
    load: load,
    start(stage) {
      window.RufflePlayer = window.RufflePlayer || {};
      window.RufflePlayer.config = config;
      player = window.RufflePlayer.newest().createPlayer();
      stage.appendChild(player);
      // Ruffle shows a panel of its own when it cannot play a movie (a damaged file, a fault of
      // its core): the player hears of it at once, not after waiting for a first frame.
      let reported = false;
      new MutationObserver(() => {
        const panic = player.shadowRoot.getElementById("panic");
        if (reported || !playing || !panic) return;
        reported = true;
        const body = player.shadowRoot.getElementById("panic-body");
        const why = ((body && body.textContent) || "").trim().slice(0, 300);
        send("failed", "the emulator cannot play the movie" + (why ? ": " + why : ""));
      }).observe(player.shadowRoot, { childList: true, subtree: true });
      player.addEventListener("loadedmetadata", () => {
        if (!playing) {
          if (blankStarted) blankStarted();
          return;
        }
        send("started");
        // Later, not inside Ruffle's own event: its focus handler could not reach the movie then.
        setTimeout(focusMovie, 0);
      });
      // A movie named before the page started; one named later arrives through load. Ruffle's
      // core starts on the book's movie when it is known by now, and on the blank one otherwise.
      const named = current;
      current = "";
      load(named);
      send("movie", "", (url) => {
        load(url);
        if (!current) warm = play("");
      });
    },
  };
  document.addEventListener("DOMContentLoaded", () => window.pagewendHost.start(document.getElementById("stage")));
})();
