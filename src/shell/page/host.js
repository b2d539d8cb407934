// The page that plays the book's movie with Ruffle and passes the movie's calls to the player.
"use strict";

(function () {
  const SCHEME = "pagewend:";

  // Chromium refuses fetch() on a custom scheme in this Qt version, while XMLHttpRequest works:
  // Ruffle fetches its core and the movie, so those fetches go through XHR.
  const nativeFetch = window.fetch.bind(window);
  window.fetch = function (input, init) {
    const href = typeof input === "string" ? input : input instanceof URL ? input.href : input.url;
    const url = new URL(href, document.baseURI);
    if (url.protocol !== SCHEME) return nativeFetch(input, init);
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open((init && init.method) || "GET", url.href);
      xhr.responseType = "arraybuffer";
      xhr.onload = () => {
        const status = xhr.status >= 200 && xhr.status <= 599 ? xhr.status : 200;
        const type = xhr.getResponseHeader("Content-Type") || "application/octet-stream";
        const response = new Response(xhr.response, { status: status, headers: { "Content-Type": type } });
        Object.defineProperty(response, "url", { value: url.href });
        resolve(response);
      };
      xhr.onerror = () => reject(new TypeError("Failed to fetch " + url.href));
      xhr.send();
    });
  };

  // The player's side of the channel, and the calls made before it is ready.
  let host = null;
  const early = [];
  function deliver(request) {
    if (host) host.flashCall(request);
    else early.push(request);
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

  // An empty movie of one frame: loading it compiles Ruffle's core while the book unpacks.
  const blankMovie = new Uint8Array([0x46, 0x57, 0x53, 10, 17, 0, 0, 0, 0, 0, 12, 1, 0, 0x40, 0, 0, 0]);

  let player = null;
  let warm = Promise.resolve();
  let warmed = false;

  // Once Ruffle's core is compiled and the channel is up; whichever comes second reports it.
  function reportReady() {
    if (warmed && host) host.playerReady();
  }
  let current = "";

  function load(url) {
    if (!url || url === current) return;
    current = url;
    warm.finally(() => {
      player.ruffle().load(Object.assign({ url: url }, config));
    });
  }

  // A movie's link never opens a window of this engine: the player decides where it goes.
  window.open = function (url) {
    try {
      if (host) host.openLink(new URL(String(url), document.baseURI).href);
    } catch (e) {
      // an unreadable URL goes nowhere
    }
    return null;
  };

  window.pagewendHost = {
    start(stage) {
      window.RufflePlayer = window.RufflePlayer || {};
      window.RufflePlayer.config = config;
      player = window.RufflePlayer.newest().createPlayer();
      stage.appendChild(player);
      player.addEventListener("loadedmetadata", () => {
        if (host && current) host.movieStarted();
      });
      warm = player
        .ruffle()
        .load(Object.assign({ data: blankMovie }, config))
        .catch(() => {})
        .then(() => {
          warmed = true;
          reportReady();
        });
      new QWebChannel(qt.webChannelTransport, (channel) => {
        host = channel.objects.host;
        for (const request of early.splice(0)) host.flashCall(request);
        host.movieChanged.connect(load);
        load(host.movie);
        reportReady();
      });
    },
  };
  document.addEventListener("DOMContentLoaded", () => window.pagewendHost.start(document.getElementById("stage")));
})();
