// What a terminal shows after the bytes of a pseudo-terminal's session: a
// small screen of COLUMNS x ROWS that follows text, line ends and the
// cursor and erase sequences a console program writes, then prints its lines.
// The yardstick of the live block: written in place, it must leave no trace.
//
//   node terminal_screen.mjs FILE COLUMNS ROWS
import { readFileSync } from 'node:fs';

const [file, columnsArg, rowsArg] = process.argv.slice(2);
const columns = Number(columnsArg);
const rows = Number(rowsArg);
const text = new TextDecoder('utf-8').decode(readFileSync(file));
const blank = () => Array(columns).fill(' ');
let screen = Array.from({ length: rows }, blank);
let x = 0;
let y = 0;
let saved = [0, 0];

const lineFeed = () => {
    if (y === rows - 1) screen = [...screen.slice(1), blank()];
    else y += 1;
};
for (let k = 0; k < text.length; k++) {
    const c = text[k];
    if (c === '\x1b') {
        const next = text[k + 1];
        if (next === '[') {
            const match = /^\[([?0-9;]*)([@-~])/.exec(text.slice(k + 1));
            if (!match) break;
            k += match[0].length;
            const n = (i, d) => Number(match[1].replace('?', '').split(';')[i] || d);
            switch (match[2]) {
                case 'A': y = Math.max(0, y - n(0, 1)); break;
                case 'B': y = Math.min(rows - 1, y + n(0, 1)); break;
                case 'C': x = Math.min(columns - 1, x + n(0, 1)); break;
                case 'D': x = Math.max(0, x - n(0, 1)); break;
                case 'G': x = n(0, 1) - 1; break;
                case 'H': case 'f': y = n(0, 1) - 1; x = n(1, 1) - 1; break;
                case 'K': for (let i = n(0, 0) === 0 ? x : 0; i < (n(0, 0) === 1 ? x + 1 : columns); i++) screen[y][i] = ' '; break;
                case 'J':
                    if (n(0, 0) === 0) { for (let i = x; i < columns; i++) screen[y][i] = ' '; for (let j = y + 1; j < rows; j++) screen[j] = blank(); }
                    if (n(0, 0) === 2) screen = Array.from({ length: rows }, blank);
                    break;
                case 'X': for (let i = x; i < Math.min(columns, x + n(0, 1)); i++) screen[y][i] = ' '; break;
                default: break;  // colours, the cursor shown or hidden
            }
        } else if (next === ']') {
            const end = text.indexOf('\x07', k);  // a window title, up to its bell
            k = end < 0 ? text.length : end;
        } else if (next === '7') { saved = [x, y]; k += 1; }
        else if (next === '8') { [x, y] = saved; k += 1; }
        else k += 1;
    } else if (c === '\r') x = 0;
    else if (c === '\n') lineFeed();
    else if (c === '\b') x = Math.max(0, x - 1);
    else if (c >= ' ') {
        if (x === columns) { x = 0; lineFeed(); }
        screen[y][x] = c;
        x += 1;
    }
}
console.log(screen.map((line) => line.join('').trimEnd()).join('\n'));
