// The page around lister: it loads the program, paints its picture into
// the canvas at a size that fits the window (on a small screen, the part
// of the grid it has room for at the picture's own size), sounds its
// beeps, hands the
// file it writes to the user, tells when it has ended, and keeps itself
// for use offline. The program runs in workers of its own, and its file
// is written by the page's file worker (file_worker.js); everything here
// runs on the page's thread, reads what the program shares through the
// procedures it exports (screen/back_ends/web.cpp), and never waits. The
// keys are keys.js's, the texts for screen readers reader.js's.
'use strict';

const canvas = document.getElementById('screen');
const viewCanvas = document.getElementById('view');
const picture = document.getElementById('picture');
const statusLine = document.getElementById('status');
const fileLine = document.getElementById('file');
const againButton = document.getElementById('again');
const context = canvas.getContext('2d', { alpha: false });
const viewContext = viewCanvas.getContext('2d', { alpha: false });

const texts = {
  ended: 'lister ha terminado.',
  failed: 'lister se ha detenido por un error: ',
  notLoaded: 'No se ha podido cargar lister.',
  notIsolated: 'Esta página necesita aislamiento de origen cruzado: sírvala con las cabeceras ' +
    'Cross-Origin-Opener-Policy: same-origin y Cross-Origin-Embedder-Policy: require-corp.',
  file: 'Archivo generado: ',
  bytes: ' bytes',
  keysDropped: count => 'Se han descartado ' + count.toLocaleString('es') +
    ' teclas: lister guarda como mucho 65.536 teclas por leer.',
};

const cell = 8;  // the picture's pixels a cell takes each way
const foldColour = '#202020', foldMarkColour = '#a0a0a0';
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
let droppedKeys = 0;
// On a small screen, the cells there is room for, and the user's swipe
// away from what the view follows; null where the whole picture fits.
let folded = null;
let viewShown = '';  // the view last drawn, as text
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
  const changed = at && paintChangedLines(at);
  if (folded) drawView(changed);
  soundBeeps();
  readTexts();
  tellDroppedKeys();
  if (running) requestAnimationFrame(paint);
}

// Whether lines changed.
function paintChangedLines(at) {
  const changed = Module._lister_web_take_changed_lines() >>> 0;
  if (changed === 0) return false;
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
  return true;
}

// As large as the window allows beside or above the key bar, pixel for
// pixel or a whole number of the screen's pixels for each of the
// picture's where it fits. Where it does not, the picture keeps its own
// size, and the view shows the part of the grid there is room for.
function fitPicture() {
  const ratio = window.devicePixelRatio || 1;
  const whole = document.fullscreenElement !== null;
  const margin = whole ? 0 : parseFloat(getComputedStyle(document.querySelector('main')).paddingTop);
  const stage = getComputedStyle(document.getElementById('stage'));
  const gap = parseFloat(stage.rowGap) || 0;
  const keyBar = document.getElementById('keyBar');
  const beside = !whole && stage.flexDirection === 'row' && keyBar.offsetWidth ? keyBar.offsetWidth + gap : 0;
  const below = !whole && stage.flexDirection !== 'row' && keyBar.offsetHeight ? keyBar.offsetHeight + gap : 0;
  const width = document.documentElement.clientWidth - 2 * margin - beside;
  const height = window.innerHeight - 2 * margin - below;
  let scale = Math.min(width / canvas.width, height / canvas.height);
  const fits = scale >= 1;
  picture.classList.toggle('folded', !fits);
  if (!fits) {
    folded = { columns: Math.floor(width / cell), rows: Math.floor(height / cell), userRows: 0, userColumns: 0 };
    viewShown = '';
    drawView(true);
    return;
  }
  folded = null;
  picture.style.height = '';
  scale = Math.max(Math.floor(scale * ratio), 1) / ratio;
  picture.style.width = canvas.width * scale + 'px';
}

// The part of the grid the view has room for, as the program lays it out:
// the rows it keeps in view, the rest following what it draws, a dotted
// row where rows are folded away and a dotted column where columns are.
function drawView(linesChanged) {
  const at = Module._lister_web_view(folded.columns, folded.rows, folded.userRows, folded.userColumns);
  const [first, columns, left, right, count] = new Int32Array(Module.wasmMemory.buffer, at, 5);
  const rows = new Int32Array(Module.wasmMemory.buffer, at + 20, count);
  const shown = [first, columns, left, right, ...rows].join();
  if (!linesChanged && shown === viewShown) return;
  viewShown = shown;
  const width = (left + columns + right) * cell;
  if (viewCanvas.width !== width || viewCanvas.height !== count * cell) {
    viewCanvas.width = width;
    viewCanvas.height = count * cell;
    picture.style.width = width + 'px';
    picture.style.height = count * cell + 'px';
  }
  viewContext.fillStyle = foldColour;
  viewContext.fillRect(0, 0, width, count * cell);
  viewContext.fillStyle = foldMarkColour;
  rows.forEach((row, i) => {
    if (row) {
      viewContext.drawImage(canvas, (first - 1) * cell, (row - 1) * cell, columns * cell, cell,
        left * cell, i * cell, columns * cell, cell);
    } else {
      for (let x = 0; x < width; x += cell) viewContext.fillRect(x + 2, i * cell + 3, 4, 2);
    }
  });
  for (const x of [left ? 0 : -1, right ? width - cell : -1]) {
    for (let y = 0; x >= 0 && y < count * cell; y += cell) viewContext.fillRect(x + 3, y + 2, 2, 4);
  }
}

// A swipe over the view moves it a cell at a time; the next key brings it
// back to what the program does.
let swipe = null;

function startSwipe(e) {
  if (folded && e.isPrimary) swipe = { x: e.clientX, y: e.clientY, rows: folded.userRows, columns: folded.userColumns };
}

function moveSwipe(e) {
  if (!swipe || !folded || !e.isPrimary) return;
  const limit = (value, most) => Math.max(-most, Math.min(most, value));
  folded.userRows = limit(swipe.rows - Math.round((e.clientY - swipe.y) / cell), canvas.height / cell);
  folded.userColumns = limit(swipe.columns - Math.round((e.clientX - swipe.x) / cell), canvas.width / cell);
}

function followProgram() {
  if (folded) folded.userRows = folded.userColumns = 0;
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

// Keys past what lister holds are not lost without a word.
function tellDroppedKeys() {
  const dropped = Module._lister_web_take_dropped_keys();
  if (dropped === 0) return;
  droppedKeys += dropped;
  statusLine.textContent = texts.keysDropped(droppedKeys);
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
  keyField.setAttribute('aria-label', text);  // no question is asked any more
  againButton.hidden = false;
  againButton.focus();
}

function ended() {
  paint();  // the last lines, shown before the screen closed
  sayLastLines();
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
picture.addEventListener('pointerdown', startSwipe);
picture.addEventListener('pointermove', moveSwipe);
for (const end of ['pointerup', 'pointercancel']) window.addEventListener(end, () => { swipe = null; });
load();
