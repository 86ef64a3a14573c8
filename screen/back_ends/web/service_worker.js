// The page's service worker. It keeps the page's files of one build, so
// that lister also runs offline, and serves them from there first. It adds
// the two headers that make the page cross-origin isolated to every answer
// of this site, which lets lister run on hosts that cannot send them:
// without them the browser gives lister no shared memory for its threads.
// A new build is kept as soon as it is published, and taken when the page
// asks (page.js: before lister starts or once it has ended), never while a
// lister of the build before runs from it.
'use strict';

// Filled in by the build (cmake/web_service_worker.cmake).
const build = '@LISTER_BUILD@';
const files = [@LISTER_FILES@];
const cachePrefix = 'lister-';
const cacheName = cachePrefix + build;
const start = new URL('./', self.registration.scope).href;
const startFile = 'index.html';

function isolated(response) {
  if (response.status === 0) return response;  // opaque: nothing to add to
  const headers = new Headers(response.headers);
  headers.set('Cross-Origin-Opener-Policy', 'same-origin');
  headers.set('Cross-Origin-Embedder-Policy', 'require-corp');
  return new Response(response.body, { status: response.status, statusText: response.statusText, headers });
}

async function keep() {
  const cache = await caches.open(cacheName);
  await Promise.all(files.map(async file => {
    const response = await fetch(file, { cache: 'no-cache' });
    if (!response.ok) throw new Error(file + ': ' + response.status);
    await cache.put(file, isolated(response));
  }));
  // The first build kept is taken at once: no page runs from another.
  if (!self.registration.active) await self.skipWaiting();
}

async function dropOlderBuilds() {
  const names = await caches.keys();
  await Promise.all(names.filter(name => name.startsWith(cachePrefix) && name !== cacheName)
    .map(name => caches.delete(name)));
  await self.clients.claim();
}

async function answer(request) {
  const cache = await caches.open(cacheName);
  const url = request.url.split(/[?#]/)[0];
  const kept = await cache.match(url === start ? startFile : request, { ignoreSearch: true });
  return kept || isolated(await fetch(request));
}

self.addEventListener('install', event => event.waitUntil(keep()));
self.addEventListener('activate', event => event.waitUntil(dropOlderBuilds()));
self.addEventListener('message', event => { if (event.data === 'take') self.skipWaiting(); });
self.addEventListener('fetch', event => {
  const request = event.request;
  if (request.method !== 'GET' || !request.url.startsWith(self.location.origin + '/')) return;
  if (request.cache === 'only-if-cached' && request.mode !== 'same-origin') return;
  event.respondWith(answer(request));
});
