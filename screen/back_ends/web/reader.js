// What a screen reader is told. The field over the picture, which takes
// the keys, is named after the question being asked; a polite live region
// says what a sighted user reads in the dialogue: each question and the
// answer's echo, the total and the file's name, the report or the error
// and the closing lines, and the progress at most every ten seconds, never
// the grid of combinations. "Leer pantalla" shows every row as text. The
// texts are the grid's own, as lister_web_row_text gives them.
'use strict';

const saidRegion = document.getElementById('said');
const rowsView = document.getElementById('rows');
const readButton = document.getElementById('read');

const totalRow = 6, countRow = 68, closingRow = 69, reportRow = 70;
const progressMilliseconds = 10000;
const keptSayings = 8;
const unnamedField = 'lister';

const decoder = new TextDecoder();
let textsSeen = -1;   // the version of the grid's texts last read
const lastSaid = {};  // row: what was last said of it
// The question being answered: where its answer starts, the answer as
// last said, and the texts' version when Enter was last pressed on it.
let question = null;
let progressSaidAt = -Infinity;

// A row's text without its trailing blanks; null when it is changing.
function rowText(row) {
  const at = Module._lister_web_row_text(row);
  if (!at) return null;
  const memory = new Uint8Array(Module.wasmMemory.buffer);
  return decoder.decode(memory.slice(at, memory.indexOf(0, at))).trimEnd();
}

// Called at each of the page's frames.
function readTexts() {
  const version = Module._lister_web_texts_version();
  if (version === textsSeen || (version & 1)) return;
  const rows = {};
  for (const row of [totalRow, countRow, closingRow, reportRow]) {
    if ((rows[row] = rowText(row)) === null) return;
  }
  const markRow = Module._lister_web_input_row();
  const asked = markRow ? rowText(markRow) : '';
  if (asked === null) return;
  textsSeen = version;
  const sayings = [];
  followQuestion(markRow, asked, sayings);
  sayChanged(totalRow, rows, sayings);
  const ending = rows[reportRow] !== '';
  if (sayChanged(reportRow, rows, sayings)) {
    // The closing lines stand above the report.
    for (const row of [countRow, closingRow]) if (rows[row]) sayings.push(lastSaid[row] = rows[row]);
  }
  if (ending || performance.now() - progressSaidAt >= progressMilliseconds) {
    if (sayChanged(countRow, rows, sayings) && !ending) progressSaidAt = performance.now();
  }
  sayChanged(closingRow, rows, sayings);
  for (const text of sayings) say(text);
}

// A new question is said, and names the field; then each change of the
// answer typed after it.
function followQuestion(markRow, asked, sayings) {
  if (!markRow) {
    if (question) keyField.setAttribute('aria-label', unnamedField);
    question = null;
    return;
  }
  const column = Module._lister_web_input_column();
  // Asked again: the answer was refused, and the mark stands at its start.
  const again = question && question.answered < textsSeen && column === question.column;
  if (!question || question.row !== markRow || again) {
    const prompt = asked.slice(0, column - 1).trim();
    question = { row: markRow, column, echo: asked.slice(column - 1).trim(), answered: Infinity };
    keyField.setAttribute('aria-label', prompt);
    sayings.push(prompt);
    return;
  }
  const echo = asked.slice(question.column - 1).trim();
  if (echo !== question.echo) {
    question.echo = echo;
    if (echo) sayings.push(echo);
  }
}

// An answer given: the question is said again if it is asked again.
function answerGiven() {
  if (question) question.answered = textsSeen;
}

function sayChanged(row, rows, sayings) {
  if (rows[row] === (lastSaid[row] || '')) return false;
  lastSaid[row] = rows[row];
  if (rows[row]) sayings.push(rows[row]);
  return rows[row] !== '';
}

function say(text) {
  const line = document.createElement('p');
  line.textContent = text;
  saidRegion.append(line);
  while (saidRegion.childElementCount > keptSayings) saidRegion.firstElementChild.remove();
}

// Every row as text, as the screen shows it now.
function showRows() {
  if (!Module._lister_web_grid_rows) return;
  const lines = [];
  for (let row = 1; row <= Module._lister_web_grid_rows(); ++row) {
    const text = rowText(row);
    if (text === null) return requestAnimationFrame(showRows);  // changing: read again
    lines.push(text);
  }
  rowsView.textContent = lines.join('\n');
  rowsView.hidden = false;
  rowsView.focus();
}

readButton.addEventListener('click', showRows);
