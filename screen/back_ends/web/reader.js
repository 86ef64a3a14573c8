// What a screen reader is told. The field over the picture, which takes
// the keys, is named after the question being asked and keeps that name
// while lister runs. A polite live region says what a sighted user reads,
// each line once and in the order the rows show them: each question, the
// answer once Enter gives it, the total and the file's name, the progress
// at most every ten seconds, and at the end the final count, the closing
// lines and the report or the error; never the grid of combinations.
// "Leer pantalla" shows every row as text. The texts are the grid's own,
// as lister_web_row_text gives them, without the ">" that starts a line.
'use strict';

const saidRegion = document.getElementById('said');
const rowsView = document.getElementById('rows');
const readButton = document.getElementById('read');

const totalRow = 6, countRow = 68, closingRow = 69, reportRow = 70;
const readRows = [totalRow, countRow, closingRow, reportRow];
const progressMilliseconds = 10000;
// The lines at the end are said once the program has drawn them all.
const settleMilliseconds = 100;
const keptSayings = 16;
const leadingMark = /^\s*>\s*/;
// A file run's closing lines stand where its final count was: it is said
// in the panel's words, the total or the count the interrupted report gives.
const countLabel = ' > GENERADAS: ', ofLabel = ' / ';
const reportedCount = /GENERADAS:\s+(\d+)/;
const firstNumber = /\d+/;

const decoder = new TextDecoder();
let textsSeen = -1;   // the version of the grid's texts last read
const lastSaid = {};  // row, or 'count': what was last said of it
// The question being answered: its row, where its answer starts, the
// answer as last seen, and the texts' version when Enter was last pressed.
let question = null;
let progressSaidAt = -Infinity;
let endingSince = null;  // when the report was last seen drawn, not yet said

// A row's text without its trailing blanks; null when it is changing.
function rowText(row) {
  const at = Module._lister_web_row_text(row);
  if (!at) return null;
  const memory = new Uint8Array(Module.wasmMemory.buffer);
  return decoder.decode(memory.slice(at, memory.indexOf(0, at))).trimEnd();
}

// The rows said, or null while one of them changes.
function readSaidRows() {
  const rows = {};
  for (const row of readRows) {
    if ((rows[row] = rowText(row)) === null) return null;
  }
  return rows;
}

// Called at each of the page's frames.
function readTexts() {
  const version = Module._lister_web_texts_version();
  if (version & 1) return;
  if (version === textsSeen) {
    if (endingSince !== null && performance.now() - endingSince >= settleMilliseconds) sayEnd();
    return;
  }
  const rows = readSaidRows();
  if (!rows) return;
  const markRow = Module._lister_web_input_row();
  const asked = markRow ? rowText(markRow) : '';
  if (asked === null) return;
  textsSeen = version;
  const sayings = [];
  followQuestion(markRow, asked, sayings);
  sayChanged(totalRow, rows[totalRow], sayings);
  if (rows[reportRow]) {
    endingSince = performance.now();
  } else {
    if (performance.now() - progressSaidAt >= progressMilliseconds && sayChanged(countRow, rows[countRow], sayings))
      progressSaidAt = performance.now();
    sayChanged(closingRow, rows[closingRow], sayings);
  }
  sayings.forEach(say);
}

// A new question is said, and names the field. Its answer is said when
// the program has taken the Enter: the question moves on, or is asked
// again.
function followQuestion(markRow, asked, sayings) {
  const column = markRow ? Module._lister_web_input_column() : 0;
  const again = question && markRow === question.row && question.answered < textsSeen && column === question.column;
  if (question && (markRow !== question.row || again)) {
    // As the row shows it, or as last seen where the row was cleared.
    const row = markRow === question.row ? asked : rowText(question.row) || '';
    const answer = row.slice(question.column - 1).trim() || question.echo;
    if (answer) sayings.push(answer);
    question = null;
  }
  if (!markRow) return;
  if (!question) {
    const prompt = asked.slice(0, column - 1).replace(leadingMark, '').trim();
    question = { row: markRow, column, echo: '', answered: Infinity };
    keyField.setAttribute('aria-label', prompt);
    sayings.push(prompt);
    return;
  }
  question.echo = asked.slice(question.column - 1).trim();
}

// An answer given: the question is said again if it is asked again.
function answerGiven() {
  if (question) question.answered = textsSeen;
}

// The final count, the closing lines and the report or the error, in the
// order of their rows.
function sayEnd() {
  const rows = readSaidRows();
  if (!rows) return;
  endingSince = null;
  const sayings = [];
  sayChanged('count', coveredCount(rows), sayings);
  for (const row of [countRow, closingRow, reportRow]) sayChanged(row, rows[row], sayings);
  sayings.forEach(say);
}

// lister has ended, maybe at once on a key typed ahead: its last lines
// are said now.
function sayLastLines() {
  if (endingSince !== null) sayEnd();
}

function coveredCount(rows) {
  if (!rows[countRow] || reportedCount.test(rows[countRow])) return null;  // none, or the panel's own
  const total = rows[totalRow].match(firstNumber);
  const stopped = rows[reportRow].match(reportedCount);
  return total && countLabel + ' ' + (stopped ? stopped[1] : total[0]) + ofLabel + ' ' + total[0];
}

// A line is said once: drawn again unchanged, or cleared for a moment and
// drawn again, it is not said again.
function sayChanged(key, text, sayings) {
  if (!text || text === lastSaid[key]) return false;
  lastSaid[key] = text;
  sayings.push(text);
  return true;
}

function say(text) {
  const line = document.createElement('p');
  line.textContent = text.replace(leadingMark, '');
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
