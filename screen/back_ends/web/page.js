// The page around lister: it loads the program, paints its picture into
// the canvas, hands it the keys typed on the page, sounds its beeps, hands
// the file it writes to the user and tells when it has ended. The program
// runs in workers of its own; everything here runs on the page's thread,
// reads what the program shares through the procedures it exports
// (screen/back_ends/web.cpp), and never waits.
'use strict';

const canvas = document.getElementById('screen');
const statusLine = document.getElementById('status');
const fileLine = document.getElementById('file');
const againButton = document.getElementById('again');
const context = canvas.getContext('2d', { alpha: false });

const texts = {
  ended: 'lister ha terminado.',
  failed: 'lister se ha detenido por un error: ',
  notLoaded: 'No se ha podido cargar lister.',
  notIsolated: 'Esta página necesita aislamiento de origen cruzado: sírvala con las cabeceras ' +
    'Cross-Origin-Opener-Policy: same-origin y Cross-Origin-Embedder-Policy: require-corp.',
  file: 'Archivo generado: ',
  bytes: ' bytes',
};

// What lister_web_key_down answers (WebKeyAction in web_keys.h) and the
// modifier bits it takes.
const keyPassOn = 0;
const keyToggleFullScreen = 2;
const shiftBit = 1, ctrlBit = 2, altBit = 4, altGraphBit = 8, repeatBit = 16;

const writeAccess = 3;  // O_WRONLY | O_RDWR in a stream's flags
const toneVolume = 0.2;
const toneFadeSeconds = 0.005;  // no click at either end of a tone
const isolatingKey = 'lister-isolating';

let running = false;
let picture = null;  // the canvas's pixels as last painted
let audio = null;    // made at the first key: browsers sound nothing before the user acts
let toneEnd = 0;
let handOverPending = false;
let screenLock = null;  // the wake lock that keeps the screen saver away
const handOver = new MessageChannel();

// emscripten's settings for lister.js, read when it loads.
var Module = {
  preRun: [watchWrittenFiles],
  onRuntimeInitialized: started,
  onExit: ended,
  onAbort: failed,
  print: text => console.log(text),
  printErr: text => console.warn(text),
};

// ---- Picture ----------------------------------------------------------------

function paint() {
  const at = Module._lister_web_picture();
  if (at) paintChangedLines(at);
  soundBeeps();
  if (running) requestAnimationFrame(paint);
}

function paintChangedLines(at) {
  const changed = Module._lister_web_take_changed_lines() >>> 0;
  if (changed === 0) return;
  const width = Module._lister_web_picture_width();
  const height = Module._lister_web_picture_height();
  if (!picture) {
    canvas.width = width;
    canvas.height = height;
    picture = new ImageData(width, height);
    statusLine.textContent = '';
  }
  const first = changed >>> 16;
  const end = Math.min(changed & 0xFFFF, height);
  const lineBytes = width * 4;
  // The shared memory cannot back an ImageData: its lines are copied out.
  picture.data.set(new Uint8Array(Module.wasmMemory.buffer, at + first * lineBytes, (end - first) * lineBytes),
    first * lineBytes);
  context.putImageData(picture, 0, 0, 0, first, width, end - first);
}

// ---- Keys -------------------------------------------------------------------

function modifierBits(e) {
  return (e.shiftKey ? shiftBit : 0) | (e.ctrlKey ? ctrlBit : 0) | (e.altKey ? altBit : 0) |
    (e.getModifierState('AltGraph') ? altGraphBit : 0) | (e.repeat ? repeatBit : 0);
}

function keyDown(e) {
  if (!running || e.isComposing) return;
  startAudio();
  const action = Module.ccall('lister_web_key_down', 'number', ['string', 'number'], [e.key, modifierBits(e)]);
  if (action === keyPassOn) return;
  e.preventDefault();
  if (action === keyToggleFullScreen) toggleFullScreen();
  else scheduleHandOver();
}

// Keys whose events come in one burst are handed over together, after the
// last of them: the program then finds them all queued at once, as it
// would keys typed ahead on a keyboard of its own.
function scheduleHandOver() {
  if (handOverPending) return;
  handOverPending = true;
  handOver.port2.postMessage(null);
}

handOver.port1.onmessage = () => {
  handOverPending = false;
  Module._lister_web_hand_over_keys();
};

// A refused switch leaves the page as it was.
function toggleFullScreen() {
  const done = document.fullscreenElement ? document.exitFullscreen() : canvas.requestFullscreen();
  done.catch(() => {});
}

// ---- Beeps ------------------------------------------------------------------

function startAudio() {
  if (!audio && window.AudioContext) audio = new AudioContext();
  if (audio && audio.state === 'suspended') audio.resume();
}

// Beeps asked for while one sounds wait at most one tone behind it.
function soundBeeps() {
  let count = Module._lister_web_take_beeps();
  if (count === 0 || !audio) return;
  const hertz = Module._lister_web_beep_hertz();
  const seconds = Module._lister_web_beep_milliseconds() / 1000;
  const fade = Math.min(toneFadeSeconds, seconds / 2);
  for (; count > 0 && toneEnd - audio.currentTime < seconds + toneFadeSeconds; --count) {
    const start = Math.max(audio.currentTime, toneEnd);
    const tone = new OscillatorNode(audio, { frequency: hertz });
    const volume = new GainNode(audio, { gain: 0 });
    volume.gain.setValueAtTime(0, start);
    volume.gain.linearRampToValueAtTime(toneVolume, start + fade);
    volume.gain.setValueAtTime(toneVolume, start + seconds - fade);
    volume.gain.linearRampToValueAtTime(0, start + seconds);
    tone.connect(volume).connect(audio.destination);
    tone.start(start);
    tone.stop(start + seconds);
    toneEnd = start + seconds;
  }
}

// ---- Files ------------------------------------------------------------------

// Every file lister writes is handed to the user once it is closed: in
// file mode that is the listing's file, when the listing has ended.
function watchWrittenFiles() {
  const FS = Module.FS;
  const close = FS.close;
  FS.close = stream => {
    const written = (stream.flags & writeAccess) !== 0 && FS.isFile(stream.node.mode);
    close(stream);
    if (written) setTimeout(offerFile, 0, stream.path, stream.node);
  };
}

function offerFile(path, node) {
  const name = path.slice(path.lastIndexOf('/') + 1);
  const bytes = node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  link.download = name;
  link.textContent = name;
  fileLine.replaceChildren(texts.file, link, ' (' + bytes.length.toLocaleString('es') + texts.bytes + ')');
  link.click();
}

// ---- Start and end ----------------------------------------------------------

// The screen saver stays away while lister runs, as it does from its
// window. The browser lets the lock go whenever the page is hidden.
function keepScreenOn() {
  if (!running || !navigator.wakeLock || document.visibilityState !== 'visible') return;
  navigator.wakeLock.request('screen').then(lock => { screenLock = lock; }, () => {});
}

function started() {
  running = true;
  keepScreenOn();
  document.addEventListener('visibilitychange', keepScreenOn);
  canvas.addEventListener('blur', () => {
    if (running) setTimeout(() => canvas.focus(), 0);
  });
  canvas.focus();
  requestAnimationFrame(paint);
}

function stopped(text) {
  running = false;
  if (screenLock) screenLock.release().catch(() => {});
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  statusLine.textContent = text;
  againButton.hidden = false;
  againButton.focus();
}

function ended() {
  paint();  // the last lines, shown before the screen closed
  stopped(texts.ended);
}

function failed(what) {
  stopped(texts.failed + what);
}

// Without isolation there is no shared memory. A service worker can add
// the headers the host did not send; the page then loads again, once.
async function isolate() {
  if (!('serviceWorker' in navigator) || sessionStorage.getItem(isolatingKey)) return false;
  sessionStorage.setItem(isolatingKey, '1');
  try {
    await navigator.serviceWorker.register('isolation.js');
    await navigator.serviceWorker.ready;
  } catch (error) {
    return false;
  }
  location.reload();
  return true;
}

async function load() {
  if (!window.crossOriginIsolated) {
    if (!(await isolate())) statusLine.textContent = texts.notIsolated;
    return;
  }
  sessionStorage.removeItem(isolatingKey);
  const script = document.createElement('script');
  script.src = 'lister.js';
  script.onerror = () => { statusLine.textContent = texts.notLoaded; };
  document.body.append(script);
}

window.addEventListener('keydown', keyDown);
document.addEventListener('pointerdown', () => { if (running) canvas.focus(); });
againButton.addEventListener('click', () => location.reload());
load();
