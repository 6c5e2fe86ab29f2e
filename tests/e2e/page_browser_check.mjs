// Opens a run's page in a real headless browser (Debian's chromium, driven
// over --remote-debugging-pipe, so nothing but Node's own modules is needed)
// and checks it after layout: one timeline per core, the stall marked on its
// core at its time, the worst-events table led by that core, its causes (a
// column, a legend) or the line that says why it has none, no console
// error and no request beyond the file itself; at 1400 px and on a phone, no
// two mark labels overlap, no label of a chart reaches past its picture, no
// table cell's text is broken over two lines, and with wake-ups their
// histograms are drawn. Saves screenshots of the
// desktop, phone and printed (A4) layouts.
//
//   node page_browser_check.mjs PAGE CORES STALLED_CORE FROM_UTC_MS TO_UTC_MS [SHOT_DIR]
//   node page_browser_check.mjs PAGE compare RUNS [SHOT_DIR]
//
// The second form checks a comparison page: the element with id
// "comparison" laid out, RUNS runs named, and per core a table of one row
// per run, a verdict line and one histogram with a line per run.
//
// Exits 0 when every check holds, 1 with a message per failed check, 2 when
// the browser could not be driven at all.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync, mkdirSync, realpathSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname, basename } from 'node:path';
import { pathToFileURL } from 'node:url';

const browserPath = process.env.VANTREL_CHROMIUM || '/usr/bin/chromium';
// A request the browser leaves unanswered this long means it is stuck. A
// loaded machine makes every step slower (the whole check several times its
// usual 10 s), so the bound is on one step, not on the whole check; the test
// runner's own limit is on the whole.
const answerMostMs = 120000;
const shotWaitMostMs = 60000;
// Desktop, phone and A4 at 96 dpi (210 mm); screenshots are cut at this height.
const desktop = { width: 1200, height: 900, mobile: false };
const phone = { width: 390, height: 844, mobile: true };
const a4Width = 794;
// The width the labels and tables are checked at besides the phone's.
const wide = { width: 1400, height: 900, mobile: false };
const shotHeightMost = 4000;

const compareMode = process.argv[3] === 'compare';
const [pageArg, coresArg, coreArg, fromArg, toArg, shotArg] = compareMode
    ? [process.argv[2], '0', '0', '0', '0', process.argv[5]]
    : process.argv.slice(2);
const expectedRuns = compareMode ? Number(process.argv[4]) : 0;
if (toArg === undefined || (compareMode && !(expectedRuns > 0))) {
    console.error('usage: page_browser_check.mjs PAGE CORES STALLED_CORE FROM_UTC_MS TO_UTC_MS [SHOT_DIR]');
    process.exit(2);
}
const pagePath = realpathSync(pageArg);
const expectedCores = Number(coresArg);
const stalledCore = Number(coreArg);
const fromUtcMs = Number(fromArg);
const toUtcMs = Number(toArg);
const shotDir = shotArg || process.env.VANTREL_SCREENSHOT_DIR || dirname(pagePath);
const shotPrefix = join(shotDir, basename(pagePath).replace(/\.html?$/, ''));

const failures = [];
const fail = (message) => failures.push(message);

const profile = mkdtempSync(join(tmpdir(), 'vantrel-chromium-'));
const browser = spawn(browserPath, [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--disable-extensions', '--hide-scrollbars', `--user-data-dir=${profile}`,
    '--remote-debugging-pipe', 'about:blank',
], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
let browserLog = '';
browser.stderr.on('data', (data) => { browserLog += data; });

const guard = setInterval(() => {
    for (const { method, sentMs, optional } of waiting.values()) {
        if (!optional && Date.now() - sentMs > answerMostMs) finish(2, `the browser did not answer ${method} within ${answerMostMs / 1000} s`);
    }
}, 1000);

// The pipe protocol: JSON messages, each ended by a zero byte; fd 3 to the
// browser, fd 4 from it.
const toBrowser = browser.stdio[3];
const fromBrowser = browser.stdio[4];
let nextId = 1;
const waiting = new Map();
const listeners = [];
let pending = '';
fromBrowser.on('data', (data) => {
    pending += data.toString('utf8');
    let end;
    while ((end = pending.indexOf('\0')) >= 0) {
        const message = JSON.parse(pending.slice(0, end));
        pending = pending.slice(end + 1);
        if (message.id !== undefined && waiting.has(message.id)) {
            const { resolve, reject, method } = waiting.get(message.id);
            waiting.delete(message.id);
            if (message.error) reject(new Error(`${method}: ${message.error.message}`));
            else resolve(message.result);
        } else if (message.method) {
            for (const listener of listeners) listener(message);
        }
    }
});
browser.on('exit', () => {
    for (const { reject, method } of waiting.values()) reject(new Error(`${method}: the browser ended`));
    waiting.clear();
});

// `optional`: a request whose answer may never come (a screenshot), which
// the guard below leaves to its caller.
function send(method, params = {}, sessionId = undefined, optional = false) {
    const id = nextId++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    toBrowser.write(JSON.stringify(message) + '\0');
    return new Promise((resolve, reject) => waiting.set(id, { resolve, reject, method, sentMs: Date.now(), optional }));
}

let finished = false;
async function finish(code, message) {
    if (finished) return;
    finished = true;
    clearInterval(guard);
    if (message) console.error(`FAIL: ${message}`);
    try {
        await Promise.race([send('Browser.close'), new Promise((resolve) => setTimeout(resolve, 3000))]);
    } catch {
        // The browser is gone already.
    }
    if (browser.exitCode === null) browser.kill('SIGKILL');
    rmSync(profile, { recursive: true, force: true });
    if (code === 2 && browserLog) console.error(browserLog.split('\n').slice(-10).join('\n'));
    process.exit(code);
}

async function screenshot(session, name, viewport, media) {
    await send('Emulation.setEmulatedMedia', { media }, session);
    await send('Emulation.setDeviceMetricsOverride', {
        width: viewport.width, height: viewport.height, deviceScaleFactor: 1, mobile: viewport.mobile,
    }, session);
    const { cssContentSize } = await send('Page.getLayoutMetrics', {}, session);
    const height = Math.min(Math.ceil(cssContentSize.height), shotHeightMost);
    // A screenshot is an artefact, not a check: headless Chromium sometimes
    // never composites the frame it waits for, or sizes it at zero (seen on a
    // loaded machine with the 64-core page); the picture is then left out,
    // said so.
    const shot = send('Page.captureScreenshot', {
        format: 'png', captureBeyondViewport: true,
        clip: { x: 0, y: 0, width: viewport.width, height, scale: 1 },
    }, session, true);
    let taken;
    try {
        taken = await Promise.race([shot, new Promise((resolve) => setTimeout(resolve, shotWaitMostMs))]);
    } catch (error) {
        console.log(`-- screenshot ${name} left out: ${error.message}`);
        return;
    }
    if (!taken) {
        console.log(`-- screenshot ${name} left out: the browser made no frame within ${shotWaitMostMs / 1000} s`);
        return;
    }
    const { data } = taken;
    const path = `${shotPrefix}-${name}.png`;
    writeFileSync(path, Buffer.from(data, 'base64'));
    console.log(`-- screenshot: ${path} (${viewport.width} x ${height})`);
}

// Everything the checks need, read in the page after layout.
function readPage(stalled) {
    const timelines = [...document.querySelectorAll('svg[id^="timeline-core-"]')];
    const histograms = [...document.querySelectorAll('[id^="histogram-core-"]')];
    const rows = [...document.querySelectorAll('#worst-events tbody tr')];
    const stalledTimeline = document.getElementById(`timeline-core-${stalled}`);
    return {
        timelineIds: timelines.map((t) => t.id),
        timelinesLaidOut: timelines.every((t) => t.getBoundingClientRect().width > 100 && t.getBoundingClientRect().height > 20),
        histogramIds: histograms.map((h) => h.id),
        marks: stalledTimeline
            ? [...stalledTimeline.querySelectorAll('.worst-mark')].map((m) => ({
                core: Number(m.dataset.core), utc: Number(m.dataset.utc), lateUs: Number(m.dataset.lateUs),
                visible: m.getBoundingClientRect().width > 0,
            }))
            : null,
        firstRowCore: rows.length ? rows[0].cells[1].textContent.trim() : null,
        rowLates: rows.map((r) => Number(r.dataset.lateMs)),
        scripts: document.querySelectorAll('script').length,
        // With causes: the notes, a last column of the worst table, a legend key per shape.
        causes: document.getElementById('causes') !== null,
        noCauses: document.getElementById('no-causes')?.textContent ?? null,
        lastHead: [...document.querySelectorAll('#worst-events thead th')].pop()?.textContent ?? '',
        causeCellsShown: rows.every((r) => { const cause = r.cells[r.cells.length - 1]; return cause && cause.getBoundingClientRect().width > 0 && cause.textContent.trim() !== ''; }),
        causeKeysShown: [...document.querySelectorAll('.legend .cause-key svg path')].filter((p) => p.getBoundingClientRect().width > 0).length,
        marksWithoutCause: document.querySelectorAll('.worst-mark:not([data-cause]), .worst-wake-mark:not([data-cause])').length,
        pageWiderThanWindow: document.documentElement.scrollWidth > window.innerWidth + 1,
    };
}

// What must hold at any width: the labels of the marks apart, every text of
// a table on one line (a table too wide scrolls in its box instead), and the
// wake-ups' histograms drawn when the page has wake-ups.
function readLayout() {
    const boxes = [...document.querySelectorAll('.worst-mark text, .worst-wake-mark text')].map((t) => {
        const r = t.getBoundingClientRect();
        return { text: t.textContent, core: t.parentElement.dataset.core, l: r.left, t: r.top, r: r.right, b: r.bottom };
    });
    const overlaps = [];
    for (let a = 0; a < boxes.length; a++) {
        for (let b = a + 1; b < boxes.length; b++) {
            const x = Math.min(boxes[a].r, boxes[b].r) - Math.max(boxes[a].l, boxes[b].l);
            const y = Math.min(boxes[a].b, boxes[b].b) - Math.max(boxes[a].t, boxes[b].t);
            if (x > 0.5 && y > 0.5) overlaps.push(`${boxes[a].text} and ${boxes[b].text} of core ${boxes[a].core}`);
        }
    }
    // Each word of a table (a number, a time) on one line: a cell of words
    // may wrap between them, never inside one.
    const broken = [];
    for (const cell of document.querySelectorAll('table th, table td')) {
        const walker = document.createTreeWalker(cell, NodeFilter.SHOW_TEXT);
        for (let node = walker.nextNode(); node; node = walker.nextNode()) {
            const range = document.createRange();
            const lines = () => new Set([...range.getClientRects()].filter((r) => r.width > 0).map((r) => Math.round(r.top))).size;
            range.selectNodeContents(node);
            if (lines() <= 1) continue;  // on one line: nothing broken
            for (const word of node.textContent.matchAll(/\S+/g)) {
                range.setStart(node, word.index);
                range.setEnd(node, word.index + word[0].length);
                if (lines() > 1) broken.push(word[0]);
            }
        }
    }
    // Every text of a timeline or a histogram inside its picture: a label
    // that reaches past the edge is cut.
    const cut = [];
    for (const svg of document.querySelectorAll('svg[id^="timeline-core-"], svg[id^="histogram-core-"], svg[id^="wake-histogram-core-"]')) {
        const box = svg.getBoundingClientRect();
        for (const text of svg.querySelectorAll('text')) {
            const r = text.getBoundingClientRect();
            if (r.width > 0 && (r.left < box.left - 0.5 || r.right > box.right + 0.5)) cut.push(`'${text.textContent}' of ${svg.id}`);
        }
    }
    const wakeHistograms = [...document.querySelectorAll('svg[id^="wake-histogram-core-"]')];
    return {
        cut,
        labels: boxes.length,
        overlaps,
        broken,
        wakes: document.getElementById('wake-cores') !== null,
        wakeHistogramsDrawn: wakeHistograms.filter((h) => h.getBoundingClientRect().width > 100 && h.querySelectorAll('text').length > 10).length,
    };
}

async function checkLayout(session, name, viewport) {
    await send('Emulation.setDeviceMetricsOverride', {
        width: viewport.width, height: viewport.height, deviceScaleFactor: 1, mobile: viewport.mobile,
    }, session);
    const { result, exceptionDetails } = await send('Runtime.evaluate', {
        expression: `(${readLayout.toString()})()`, returnByValue: true,
    }, session);
    if (exceptionDetails) throw new Error(`reading the layout failed: ${exceptionDetails.text}`);
    const seen = result.value;
    if (seen.overlaps.length > 0) fail(`at ${name}, mark labels overlap: ${seen.overlaps.slice(0, 5).join('; ')}`);
    if (seen.cut.length > 0) fail(`at ${name}, labels are cut at the edge of their picture: ${seen.cut.slice(0, 5).join('; ')}`);
    if (seen.broken.length > 0) fail(`at ${name}, words of a table are broken over lines: ${seen.broken.slice(0, 5).join(' | ')}`);
    if (seen.wakes && seen.wakeHistogramsDrawn !== expectedCores) {
        fail(`at ${name}, ${seen.wakeHistogramsDrawn} wake-up histograms are drawn, not ${expectedCores}`);
    }
    console.log(`-- at ${name}: ${seen.labels} mark labels, ${seen.overlaps.length} overlapping; ${seen.cut.length} cut; ${seen.broken.length} table words broken${seen.wakes ? `; ${seen.wakeHistogramsDrawn} wake-up histograms` : ''}`);
}

// A comparison page after layout: its parts and their sizes.
function readComparison() {
    const section = document.getElementById('comparison');
    const tables = [...document.querySelectorAll('table[id^="compare-core-"]')];
    const charts = [...document.querySelectorAll('svg[id^="compare-histogram-core-"]')];
    return {
        shown: section !== null && section.getBoundingClientRect().height > 100,
        runs: [...document.querySelectorAll('#compared-runs > li')].map((li) => li.dataset.run),
        verdicts: [...document.querySelectorAll('#compare-verdicts > li')].map((li) => li.textContent),
        // Rows marked with a star, and their verdicts.
        marked: [...document.querySelectorAll('table[id^="compare-core-"] tbody tr')]
            .filter((tr) => tr.cells[0].textContent.startsWith('\u2605')).map((tr) => tr.dataset.verdict),
        verdictsInRows: [...document.querySelectorAll('table[id^="compare-core-"] tbody tr')].map((tr) => tr.dataset.verdict),
        rows: tables.map((t) => t.querySelectorAll('tbody tr').length),
        seriesDrawn: charts.map((c) => [...c.querySelectorAll('g[data-run] path')].filter((p) => p.getBoundingClientRect().width > 0).length),
        chartsLaidOut: charts.every((c) => c.getBoundingClientRect().width > 200),
        scripts: document.querySelectorAll('script').length,
        pageWiderThanWindow: document.documentElement.scrollWidth > window.innerWidth + 1,
    };
}

function checkComparison(seen) {
    if (!seen.shown) fail('no element with id "comparison" is laid out');
    if (seen.runs.length !== expectedRuns) fail(`expected ${expectedRuns} runs named, found ${seen.runs.length}: ${seen.runs.join(', ')}`);
    if (seen.rows.length === 0) fail('no table of a core');
    if (seen.verdicts.length !== seen.rows.length) fail(`${seen.verdicts.length} verdict lines for ${seen.rows.length} cores`);
    // Each run against the baseline, in the judge's words.
    const verdictLine = /^core \d+: (.+? against .+?: (better beyond noise|worse beyond noise|mixed: |no difference beyond noise|too few events to tell \(measure about \d+ minutes?)|one run, nothing to compare)/;
    if (!seen.verdicts.every((v) => verdictLine.test(v))) {
        fail(`a verdict line is not one: ${seen.verdicts.join(' | ')}`);
    }
    if (!seen.marked.every((v) => v === 'better')) fail(`a star marks a run that is not better beyond noise: ${seen.marked.join(', ')}`);
    const names = ['better', 'worse', 'mixed', 'no difference', 'too few events', 'baseline'];
    if (!seen.verdictsInRows.every((v) => names.includes(v))) fail(`a row's verdict is not one: ${seen.verdictsInRows.join(', ')}`);
    if (!seen.rows.every((n) => n === expectedRuns)) fail(`a core's table has not one row per run: ${seen.rows.join(', ')}`);
    if (!seen.seriesDrawn.every((n) => n === expectedRuns)) fail(`a core's histogram does not draw every run: ${seen.seriesDrawn.join(', ')}`);
    if (!seen.chartsLaidOut) fail('a histogram has no size after layout');
    if (seen.scripts !== 0) fail(`the page holds ${seen.scripts} script elements`);
    if (seen.pageWiderThanWindow) fail(`the page is wider than a ${desktop.width} px window`);
}

async function main() {
    const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
    const requests = [];
    const consoleErrors = [];
    listeners.push((message) => {
        if (message.sessionId !== sessionId) return;
        const p = message.params;
        if (message.method === 'Network.requestWillBeSent') requests.push(p.request.url);
        if (message.method === 'Runtime.consoleAPICalled' && (p.type === 'error' || p.type === 'assert')) {
            consoleErrors.push(p.args.map((a) => a.value ?? a.description).join(' '));
        }
        if (message.method === 'Runtime.exceptionThrown') consoleErrors.push(p.exceptionDetails.text);
        if (message.method === 'Log.entryAdded' && p.entry.level === 'error') consoleErrors.push(p.entry.text);
    });
    await send('Network.enable', {}, sessionId);
    await send('Runtime.enable', {}, sessionId);
    await send('Log.enable', {}, sessionId);
    await send('Page.enable', {}, sessionId);
    await send('Emulation.setDeviceMetricsOverride', {
        width: desktop.width, height: desktop.height, deviceScaleFactor: 1, mobile: false,
    }, sessionId);

    // The page's own load, told apart by its loader: a new target's
    // about:blank may fire a load event of its own after Page.enable, and a
    // check that takes that one for the page's talks to a document that the
    // navigation is about to replace ("Not attached to an active page").
    await send('Page.setLifecycleEventsEnabled', { enabled: true }, sessionId);
    const loads = [];
    let pageLoaded = null;
    listeners.push((message) => {
        if (message.sessionId !== sessionId || message.method !== 'Page.lifecycleEvent') return;
        if (message.params.name !== 'load') return;
        loads.push(message.params.loaderId);
        if (pageLoaded) pageLoaded();
    });
    const url = pathToFileURL(pagePath).href;
    const { loaderId, errorText } = await send('Page.navigate', { url }, sessionId);
    if (errorText) throw new Error(`the page could not be opened: ${errorText}`);
    if (!loads.includes(loaderId)) {
        await new Promise((resolve, reject) => {
            const late = setTimeout(() => reject(new Error(`the page did not load within ${answerMostMs / 1000} s`)), answerMostMs);
            pageLoaded = () => { if (loads.includes(loaderId)) { clearTimeout(late); resolve(); } };
        });
    }

    if (compareMode) {
        const { result, exceptionDetails } = await send('Runtime.evaluate', {
            expression: `(${readComparison.toString()})()`, returnByValue: true,
        }, sessionId);
        if (exceptionDetails) throw new Error(`reading the page failed: ${exceptionDetails.text}`);
        checkComparison(result.value);
        mkdirSync(shotDir, { recursive: true });
        await screenshot(sessionId, 'desktop', desktop, 'screen');
        await screenshot(sessionId, 'print', { width: a4Width, height: 1123, mobile: false }, 'print');
        const outside = requests.filter((r) => r !== url && !r.startsWith('data:'));
        if (outside.length > 0) fail(`the page asked for ${outside.length} more resources: ${outside.slice(0, 5).join(', ')}`);
        if (consoleErrors.length > 0) fail(`console errors: ${consoleErrors.slice(0, 5).join(' | ')}`);
        console.log(`-- ${pagePath}: ${result.value.runs.length} runs, ${result.value.rows.length} cores compared`);
        for (const message of failures) console.error(`FAIL: ${message}`);
        if (failures.length === 0) console.log(`ok: the comparison of ${expectedRuns} runs`);
        await finish(failures.length === 0 ? 0 : 1);
        return;
    }
    const { result, exceptionDetails } = await send('Runtime.evaluate', {
        expression: `(${readPage.toString()})(${stalledCore})`, returnByValue: true,
    }, sessionId);
    if (exceptionDetails) throw new Error(`reading the page failed: ${exceptionDetails.text}`);
    const seen = result.value;

    const wantedIds = Array.from({ length: expectedCores }, (_, c) => `timeline-core-${c}`);
    if (seen.timelineIds.join(',') !== wantedIds.join(',')) {
        fail(`expected timelines ${wantedIds[0]} .. timeline-core-${expectedCores - 1} (${expectedCores}), found ${seen.timelineIds.length}: ${seen.timelineIds.slice(0, 8).join(', ')}`);
    }
    if (!seen.timelinesLaidOut) fail('a timeline has no size after layout');
    if (seen.histogramIds.length !== expectedCores) fail(`expected ${expectedCores} histograms, found ${seen.histogramIds.length}`);
    if (seen.marks === null) {
        fail(`no timeline-core-${stalledCore}`);
    } else {
        const inWindow = seen.marks.filter((m) => m.core === stalledCore && m.utc >= fromUtcMs && m.utc <= toUtcMs);
        if (inWindow.length === 0) {
            fail(`no worst-event mark on core ${stalledCore} between ${fromUtcMs} and ${toUtcMs}; marks there: ${JSON.stringify(seen.marks)}`);
        } else if (!inWindow.every((m) => m.visible)) {
            fail(`the mark of the stall on core ${stalledCore} is not drawn`);
        }
    }
    if (seen.firstRowCore !== String(stalledCore)) {
        fail(`the worst-events table should name core ${stalledCore} first, names ${seen.firstRowCore}`);
    }
    if (seen.rowLates.some((late, k) => k > 0 && late > seen.rowLates[k - 1])) {
        fail(`the worst-events table is not largest late_ms first: ${seen.rowLates.join(', ')}`);
    }
    if (seen.causes) {
        if (!seen.lastHead.startsWith('cause')) fail(`the worst-events table has no cause column (last head '${seen.lastHead}')`);
        if (!seen.causeCellsShown) fail('a worst event\'s cause cell is empty or not drawn');
        if (seen.causeKeysShown !== 5) fail(`the legend should draw 5 cause shapes, draws ${seen.causeKeysShown}`);
        if (seen.marksWithoutCause !== 0) fail(`${seen.marksWithoutCause} worst marks carry no cause`);
    } else if (seen.noCauses === null) {
        fail('the page neither shows causes nor says why it has none');
    }
    if (seen.scripts !== 0) fail(`the page holds ${seen.scripts} script elements`);
    if (seen.pageWiderThanWindow) fail(`the page is wider than a ${desktop.width} px window`);

    await checkLayout(sessionId, `${wide.width} px`, wide);
    await checkLayout(sessionId, 'a phone', phone);

    mkdirSync(shotDir, { recursive: true });
    await screenshot(sessionId, 'desktop', desktop, 'screen');
    await screenshot(sessionId, 'phone', phone, 'screen');
    await screenshot(sessionId, 'print', { width: a4Width, height: 1123, mobile: false }, 'print');

    // Requests are checked last, after every layout was drawn.
    const outside = requests.filter((r) => r !== url && !r.startsWith('data:'));
    if (outside.length > 0) fail(`the page asked for ${outside.length} more resources: ${outside.slice(0, 5).join(', ')}`);
    if (consoleErrors.length > 0) fail(`console errors: ${consoleErrors.slice(0, 5).join(' | ')}`);

    console.log(`-- ${pagePath}: ${seen.timelineIds.length} timelines, ${seen.rowLates.length} worst events, ${seen.causes ? `causes (${seen.causeKeysShown} shapes)` : 'no causes'}, ${requests.length} request(s)`);
    for (const message of failures) console.error(`FAIL: ${message}`);
    if (failures.length === 0) console.log('ok: the page shows the stall on core ' + stalledCore);
    await finish(failures.length === 0 ? 0 : 1);
}

main().catch((error) => finish(2, error.message));
