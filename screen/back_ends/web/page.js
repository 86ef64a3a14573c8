// The page around lister: it loads the program, paints its picture into
// the canvas at a size that fits the window, sounds its beeps, hands the
// file it writes to the user, tells when it has ended, and keeps itself
// for use offline. The program runs in workers of its own, and its file
// is written by the page's file worker (file_worker.js); everything here
// runs on the page's thread, reads what the program shares through the
// procedures it exports (screen/back_ends/web.cpp), and never waits. The
// keys are keys.js's, the texts for screen readers reader.js's.
'use strict';

const canvas = document.getElementById('screen');
const picture = document.getElementById('picture');
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

const minimumScale = 0.25;
const toneVolume = 0.2;
const toneFadeSeconds = 0.005;  // no click at either end of a tone
const isolatingKey = 'lister-isolating';
const serviceWorker = 'service_worker.js';

let running = false;
let painted = null;  // the canvas's pixels as last painted
let audio = null;    // made at the first key: browsers sound nothing before the user acts
let toneEnd = 0;
let screenLock = null;  // the wake lock that keeps the screen saver away
let fileLink = null;    // the object URL of the file offered
const fileWorker = new Worker('file_worker.js');

// emscripten's settings for lister.js, read when it loads.
var Module = {
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
  readTexts();
  if (running) requestAnimationFrame(paint);
}

function paintChangedLines(at) {
  const changed = Module._lister_web_take_changed_lines() >>> 0;
  if (changed === 0) return;
  const width = Module._lister_web_picture_width();
  const height = Module._lister_web_picture_height();
  if (!painted) {
    canvas.width = width;
    canvas.height = height;
    painted = new ImageData(width, height);
    statusLine.textContent = '';
    fitPicture();
  }
  const first = changed >>> 16;
  const end = Math.min(changed & 0xFFFF, height);
  const lineBytes = width * 4;
  // The shared memory cannot back an ImageData: its lines are copied out.
  painted.data.set(new Uint8Array(Module.wasmMemory.buffer, at + first * lineBytes, (end - first) * lineBytes),
    first * lineBytes);
  context.putImageData(painted, 0, 0, 0, first, width, end - first);
}

// As large as the window allows beside or above the key bar, pixel for
// pixel or a whole number of the screen's pixels for each of the
// picture's where it fits, smaller where it does not.
function fitPicture() {
  const ratio = window.devicePixelRatio || 1;
  const margin = parseFloat(getComputedStyle(document.querySelector('main')).paddingTop);
  const stage = getComputedStyle(document.getElementById('stage'));
  const gap = parseFloat(stage.rowGap) || 0;
  const keyBar = document.getElementById('keyBar');
  const beside = stage.flexDirection === 'row' && keyBar.offsetWidth ? keyBar.offsetWidth + gap : 0;
  const below = stage.flexDirection !== 'row' && keyBar.offsetHeight ? keyBar.offsetHeight + gap : 0;
  const width = document.documentElement.clientWidth - 2 * margin - beside;
  const height = window.innerHeight - 2 * margin - below;
  let scale = Math.max(Math.min(width / canvas.width, height / canvas.height), minimumScale);
  if (scale >= 1) scale = Math.max(Math.floor(scale * ratio), 1) / ratio;
  picture.style.width = canvas.width * scale + 'px';
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

// The file lister wrote, once it is closed: on disk, or handed over from
// the file worker's memory, never copied here. Offered as a download and
// linked below the canvas.
fileWorker.onmessage = event => {
  const { name, file } = event.data;
  forgetFile();
  fileLink = URL.createObjectURL(file);
  const link = document.createElement('a');
  link.href = fileLink;
  link.download = name;
  link.textContent = name;
  fileLine.replaceChildren(texts.file, link, ' (' + file.size.toLocaleString('es') + texts.bytes + ')');
  link.click();
};

function forgetFile() {
  if (fileLink) URL.revokeObjectURL(fileLink);
  fileLink = null;
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
  fileWorker.postMessage({ memory: Module.wasmMemory, channel: Module._lister_web_file_channel() });
  keepScreenOn();
  document.addEventListener('visibilitychange', keepScreenOn);
  takeKeys();
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

async function runAgain() {
  forgetFile();
  if (!(await takeNewBuild())) location.reload();
}

// ---- Loading and keeping -----------------------------------------------------

// The service worker keeps the page's files for use offline, and adds the
// two headers that make the page cross-origin isolated where the host
// does not send them.
function keepForOffline() {
  if (!('serviceWorker' in navigator)) return Promise.resolve(null);
  return navigator.serviceWorker.register(serviceWorker).catch(() => null);
}

// A build published since this page was loaded waits until no lister runs
// from the one before: it is taken here, before lister starts or once it
// has ended, and the page loads again.
async function takeNewBuild() {
  const registration = 'serviceWorker' in navigator && await navigator.serviceWorker.getRegistration();
  if (!registration || !registration.waiting || !navigator.serviceWorker.controller) return false;
  const changed = new Promise(resolve => navigator.serviceWorker.addEventListener('controllerchange', resolve));
  registration.waiting.postMessage('take');
  await changed;
  location.reload();
  return true;
}

// Without isolation there is no shared memory. The service worker adds
// the headers the host did not send; the page then loads again, once.
async function isolate() {
  if (!('serviceWorker' in navigator) || sessionStorage.getItem(isolatingKey)) return false;
  sessionStorage.setItem(isolatingKey, '1');
  try {
    await navigator.serviceWorker.ready;
  } catch (error) {
    return false;
  }
  location.reload();
  return true;
}

async function load() {
  const registered = keepForOffline();
  if (await takeNewBuild()) return;
  if (!window.crossOriginIsolated) {
    if (!(await registered) || !(await isolate())) statusLine.textContent = texts.notIsolated;
    return;
  }
  sessionStorage.removeItem(isolatingKey);
  const script = document.createElement('script');
  script.src = 'lister.js';
  script.onerror = () => { statusLine.textContent = texts.notLoaded; };
  document.body.append(script);
}

againButton.addEventListener('click', runAgain);
window.addEventListener('resize', () => { if (painted) fitPicture(); });
load();
