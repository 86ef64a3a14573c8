// The page's file worker: it writes the file lister writes, as lister asks
// through a record in its shared memory (platform/platform_web.cpp, which
// gives the record's map), and hands the page the closed file. The file
// goes into a folder of this page's own in the origin's private file
// system, through a synchronous access handle; where the browser offers no
// such thing (an old engine, some private windows) it is held in this
// worker's memory instead, reserved at its final length. Either way it
// never passes through the page's memory. The worker lives as long as the
// page, and so does the lock that keeps its folder from the clean-up of
// the pages after it.
'use strict';

const folderPrefix = 'lister-';
const initialMemoryFile = 1 << 16;

// lister's memory, the record as 32-bit words and as 64-bit numbers, and
// its map: where it is, its fields' byte offsets, the request numbers.
let memory, words, numbers, map;
let folder = null;  // this page's, made at the first file
// The open file: {name, handle, access, reserved} on disk, {name, data, end}
// in memory; where its good part ends, should a write have failed.
let output = null;
let position = 0;
// Where the browser takes no shared memory to write from, what is written
// is copied out of lister's memory first.
let copyFirst = false;
let scratch = null;

onmessage = async event => {
  memory = event.data.memory;
  map = JSON.parse(textAt(event.data.channel));
  words = new Int32Array(memory.buffer, map.at, map.size / 4);
  numbers = new Float64Array(memory.buffer, map.at, map.size / 8);
  const name = folderPrefix + crypto.randomUUID();
  const root = await privateFolder();
  if (root) await holdLock(name);
  folder = { root, name, handle: null };
  await removeLeftovers().catch(() => {});
  Atomics.store(words, map.serving / 4, 1);
  Atomics.notify(words, map.serving / 4);
  serve();
};

async function privateFolder() {
  try {
    return navigator.storage && navigator.storage.getDirectory ? await navigator.storage.getDirectory() : null;
  } catch (error) {
    return null;  // refused: a private window, say
  }
}

// Held until the page goes, with the worker.
function holdLock(name) {
  if (!navigator.locks) return Promise.resolve();
  return new Promise(granted => navigator.locks.request(name, () => {
    granted();
    return new Promise(() => {});
  }));
}

// The folders of pages that have gone, at the start and again before each
// file (a page loaded again may start before the one before has quite
// gone). A folder listed before the locks are looked at had its lock
// taken before it was made.
async function removeLeftovers() {
  if (!folder.root || !navigator.locks) return;
  const names = [];
  for await (const name of folder.root.keys()) {
    if (name.startsWith(folderPrefix) && name !== folder.name) names.push(name);
  }
  const held = new Set((await navigator.locks.query()).held.map(lock => lock.name));
  for (const name of names) {
    if (!held.has(name)) await folder.root.removeEntry(name, { recursive: true }).catch(() => {});
  }
}

// While a file is open each request is waited for without giving up the
// thread, which answers soonest: lister waits for the answer meanwhile.
// Otherwise the event loop stays free, and the page can go at any time.
async function serve() {
  const requests = map.requests / 4, answers = map.answers / 4;
  for (let answered = 0; ; ) {
    while (Atomics.load(words, requests) === answered) {
      if (output || !Atomics.waitAsync) Atomics.wait(words, requests, answered);
      else await Atomics.waitAsync(words, requests, answered).value;
    }
    answered = Atomics.load(words, requests);
    const asked = words[map.operation / 4];
    let done = 0;
    try {
      done = await perform(asked);
    } catch (error) {
      done = 0;  // the quota reached, the disk full: a write that failed
    }
    numbers[map.result / 8] = done;
    const closed = asked === map.closeFile ? output : null;
    if (closed) output = null;
    Atomics.store(words, answers, answered);
    Atomics.notify(words, answers);
    // The access handle lets the file go only after the answer (offer):
    // the browser takes its time over that (a tenth of a second for
    // n = 49), and it cannot fail. The file is offered before the next
    // wait, which holds the event loop up.
    if (closed) await offer(closed).catch(() => {});
  }
}

function perform(what) {
  switch (what) {
    case map.openFile: return open(textAt(map.at + map.name), numbers[map.length64 / 8]);
    case map.writeFile:
      return write(new Uint8Array(memory.buffer, words[map.bytes / 4] >>> 0, words[map.length / 4] >>> 0));
    case map.cutFile: return cut(numbers[map.length64 / 8]);
    case map.closeFile: return close();
  }
  return 0;
}

// The UTF-8 text that ends at the first 0 byte from `address` on.
function textAt(address) {
  const bytes = new Uint8Array(memory.buffer, address);
  return new TextDecoder().decode(bytes.slice(0, bytes.indexOf(0)));
}

// 1 when the file is open, 2 when it also has its whole length.
async function open(name, expected) {
  if (output && output.access) output.access.close();
  position = 0;
  await removeLeftovers().catch(() => {});
  output = await openOnDisk(name, expected) ||
    { name, data: new Uint8Array(expected || initialMemoryFile), end: 0, goodEnd: Infinity };
  return output.reserved || !output.access ? map.openedWithRoom : 1;
}

async function openOnDisk(name, expected) {
  if (!folder.root || !self.FileSystemFileHandle || !FileSystemFileHandle.prototype.createSyncAccessHandle) return null;
  let access;
  try {
    folder.handle = folder.handle || await folder.root.getDirectoryHandle(folder.name, { create: true });
    const handle = await folder.handle.getFileHandle(name, { create: true });
    access = await handle.createSyncAccessHandle();
    access.truncate(0);
    return { name, handle, access, reserved: reserve(access, expected), goodEnd: Infinity };
  } catch (error) {
    if (access) access.close();
    return null;
  }
}

// The file's whole length taken from the storage quota at once, when it
// can be: no write can then fail for want of room.
function reserve(access, expected) {
  try {
    if (expected) access.truncate(expected);
    return expected;
  } catch (error) {
    return 0;
  }
}

function write(piece) {
  if (!output) return 0;
  if (!output.access) {
    if (position + piece.length > output.data.length) grow(position + piece.length);
    output.data.set(piece, position);
    output.end = Math.max(output.end, position + piece.length);
    position += piece.length;
    return piece.length;
  }
  if (output.goodEnd !== Infinity) return 0;
  let written = 0;
  try {
    written = writeOnDisk(piece);
  } catch (error) {
    written = 0;  // the quota reached, or the disk full
  }
  // Within the room taken, a write that fails takes the file's end back to
  // where it began: lister had been told the pieces it gathers are in.
  if (written !== piece.length && position + piece.length <= output.reserved) {
    output.goodEnd = position;
    return 0;
  }
  position += written;
  return written;
}

// Straight from lister's memory, which lister leaves alone until the
// answer, where the browser takes shared memory to write from (an engine
// that does not refuses it with a TypeError).
function writeOnDisk(piece) {
  if (!copyFirst) {
    try {
      return output.access.write(piece, { at: position });
    } catch (error) {
      if (!(error instanceof TypeError)) throw error;
      copyFirst = true;
    }
  }
  if (!scratch || scratch.length < piece.length) scratch = new Uint8Array(piece.length);
  scratch.set(piece);
  return output.access.write(scratch.subarray(0, piece.length), { at: position });
}

// Only when the final length was not known, or was wrong.
function grow(needed) {
  const data = new Uint8Array(Math.max(needed, output.data.length * 2));
  data.set(output.data.subarray(0, output.end));
  output.data = data;
}

function cut(kept) {
  if (!output) return 0;
  if (output.access) output.access.truncate(Math.min(kept, output.goodEnd));
  else output.end = Math.min(output.end, kept);
  position = Math.min(position, kept, output.goodEnd);
  return 1;
}

// Fails when a write within the room taken failed. What was taken and not
// written goes.
function close() {
  if (!output) return 0;
  if (!output.access) return 1;
  if (output.reserved) output.access.truncate(Math.min(position, output.goodEnd));
  return output.goodEnd === Infinity ? 1 : 0;
}

// The closed file, to the page: one on disk once its access handle has
// let it go, read from disk only when the user saves it; one held in
// memory becomes the page's, and this worker lets it go.
async function offer(closed) {
  let file;
  if (closed.handle) {
    closed.access.close();
    file = await closed.handle.getFile();
  } else {
    file = new File([closed.data.subarray(0, closed.end)], closed.name);
    closed.data = null;
  }
  postMessage({ name: closed.name, file });
}
