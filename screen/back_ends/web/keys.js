// lister's keys on the page: the presses of a keyboard, the text an
// on-screen keyboard puts into the field over the picture, and the key
// bar under it for keys a phone's keyboard lacks. Each becomes a key
// through lister_web_key_down, which also says what the page is to do
// with a press (WebKeyAction in web_keys.h).
'use strict';

const keyField = document.getElementById('keys');
const keyBar = document.getElementById('keyBar');

const keyPassOn = 0;
const keyToggleFullScreen = 2;
const shiftBit = 1, ctrlBit = 2, altBit = 4, altGraphBit = 8, repeatBit = 16;
// What the field is asked to do besides taking text, as the key it is.
const editingKeys = {
  deleteContentBackward: 'Backspace', deleteContentForward: 'Delete',
  insertLineBreak: 'Enter', insertParagraph: 'Enter',
};

let handOverPending = false;
const handOver = new MessageChannel();

function modifierBits(e) {
  return (e.shiftKey ? shiftBit : 0) | (e.ctrlKey ? ctrlBit : 0) | (e.altKey ? altBit : 0) |
    (e.getModifierState('AltGraph') ? altGraphBit : 0) | (e.repeat ? repeatBit : 0);
}

// A key by the name the browser gives it, or one character; what the page
// is to do with it.
function press(key, modifiers) {
  startAudio();
  followProgram();
  return pressKey(key, modifiers);
}

function pressKey(key, modifiers) {
  const action = Module.ccall('lister_web_key_down', 'number', ['string', 'number'], [key, modifiers || 0]);
  if (action === keyPassOn || action === keyToggleFullScreen) return action;
  if (key === 'Enter') answerGiven();
  scheduleHandOver();
  return action;
}

// A paste of any length: the page's own work once, not once a character.
function typeText(text) {
  startAudio();
  followProgram();
  for (const character of text) pressKey(character);
}

// Whether an answer is being typed: Tab is lister's then, and otherwise
// moves on to the page's link and buttons.
function answering() {
  return Module._lister_web_input_row() > 0;
}

// The keyboard is lister's while the field has it, or nothing else does;
// a focused button or link takes its own keys.
function keyDown(e) {
  if (!running || e.isComposing) return;
  if (e.target !== keyField && e.target !== document.body && e.target !== document.documentElement) return;
  if (e.key === 'Tab' && !answering()) return;
  const action = press(e.key, modifierBits(e));
  if (action === keyPassOn) return;
  e.preventDefault();
  if (action === keyToggleFullScreen) toggleFullScreen();
}

// Text typed on an on-screen keyboard arrives as the field's input, a
// character at a time or composed; the field is left empty again.
function fieldInput(e) {
  if (!running) return;
  const key = editingKeys[e.inputType];
  if (key) press(key);
  else if (e.inputType === 'insertText' && e.data) typeText(e.data);
  else return;  // composed text: taken once composed
  e.preventDefault();
}

function takeFieldText() {
  if (running && keyField.value) typeText(keyField.value);
  keyField.value = '';
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
  const done = document.fullscreenElement ? document.exitFullscreen() : picture.requestFullscreen();
  done.catch(() => {});
}

// The field takes the keys from the start; a click outside the page's
// controls gives them back to it (a tap does not: it would bring up the
// on-screen keyboard).
function takeKeys() {
  keyField.focus({ preventScroll: true });
  document.addEventListener('pointerdown', e => {
    if (running && e.pointerType === 'mouse' && !e.target.closest('button, a, pre, input')) {
      e.preventDefault();
      keyField.focus({ preventScroll: true });
    }
  });
}

window.addEventListener('keydown', keyDown);
keyField.addEventListener('beforeinput', fieldInput);
keyField.addEventListener('input', e => { if (!e.isComposing) takeFieldText(); });
keyField.addEventListener('compositionend', takeFieldText);
for (const button of keyBar.querySelectorAll('button')) {
  // Pressed without taking the focus from the field: the on-screen
  // keyboard stays up.
  button.addEventListener('pointerdown', e => e.preventDefault());
  button.addEventListener('mousedown', e => e.preventDefault());
  button.addEventListener('click', () => { if (running) press(button.dataset.key); });
}
