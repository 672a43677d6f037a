// Drives veltmor-report's page in headless Chromium and holds every figure it shows against the
// generator's expected.json; also checks the program's standard error and its two CSV files.
//   node page_test.mjs --modules DIR --page HTML --expected JSON --stderr FILE --profile DIR
//                      [--bench] [--screenshot PNG]
import fs from 'node:fs';
import path from 'node:path';
import crypto from 'node:crypto';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';

const opt = {};
for (let i = 2; i < process.argv.length; i++) {
  const a = process.argv[i];
  if (a === '--bench') opt.bench = true;
  else if (a.startsWith('--')) opt[a.slice(2)] = process.argv[++i];
}
const puppeteer = createRequire(path.join(path.resolve(opt.modules), 'package.json'))('puppeteer-core');
const expected = JSON.parse(fs.readFileSync(opt.expected, 'utf8'));
const failures = [];
const fail = (msg) => failures.push(msg);
const show = (v) => { const s = String(JSON.stringify(v)); return s.length > 400 ? s.slice(0, 400) + '…' : s; };
function same(actual, want, what) {
  if (JSON.stringify(actual) === JSON.stringify(want)) return;
  if (Array.isArray(actual) && Array.isArray(want)) {  // name the first entry that differs
    const i = want.findIndex((w, k) => JSON.stringify(w) !== JSON.stringify(actual[k]));
    const at = i < 0 ? want.length : i;
    fail(`${what} (${want.length} expected, ${actual.length} shown): entry ${at} should be ${show(want[at])}\n    but is ${show(actual[at])}`);
  } else fail(`${what}: expected ${show(want)}\n    but got ${show(actual)}`);
}
const when = (t) => t.replace('T', ' ').replace('Z', ' UTC');
const vis = (t) => String(t).replaceAll('\u202e', '\\u202E');  // the one invisible character the fleet holds
const visRows = (rows) => rows.map((r) => r.map(vis));
const byKey = (a, b) => (a < b ? -1 : a > b ? 1 : 0);
const machines = expected.machines;

// ---- the program's own output ----------------------------------------------------------------
const outDir = path.dirname(opt.page);
function checkStderr() {
  const lines = fs.readFileSync(opt.stderr, 'utf8').split('\n').filter((l) => l !== '');
  const skipped = lines.filter((l) => l.startsWith('veltmor-report: skipped '));
  for (const p of expected.damaged) {
    const named = `veltmor-report: skipped ${p}: `;
    if (!skipped.some((l) => l.startsWith(named) && l.length > named.length)) fail(`standard error does not name the damaged file ${p} as skipped (with a reason)`);
  }
  if (skipped.length !== expected.damaged.length) fail(`standard error names ${skipped.length} skipped files, the fleet has ${expected.damaged.length} damaged ones:\n    ${skipped.join('\n    ')}`);
  same(lines[lines.length - 1], `veltmor-report: ${expected.files.read} files read, ${expected.files.skipped} skipped, ${machines.length} machines`, 'last line of standard error');
}

function parseCsv(text) {  // RFC 4180
  const rows = []; let row = []; let cell = ''; let quoted = false;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') { cell += '"'; i++; } else if (c === '"') quoted = false; else cell += c;
    } else if (c === '"') quoted = true;
    else if (c === ',') { row.push(cell); cell = ''; }
    else if (c === '\r' && text[i + 1] === '\n') { row.push(cell); rows.push(row); row = []; cell = ''; i++; }
    else cell += c;
  }
  if (cell !== '' || row.length) fail('a CSV file does not end with CRLF');
  return rows;
}
const guard = (v) => { v = String(v); return /^[=+\-@\t\r]/.test(v) ? "'" + v : v; };
const yn = (b) => (b ? 'yes' : 'no');
const machinesCsv = (list) => [['machine', 'user', 'last run', 'runs', 'broken', 'removable or network', 'unverified', 'not scanned', 'partial', 'stale', 'version', 'file', 'vanished'],
  ...list.map((m) => [m.name, m.user, m.time, m.runs, m.broken, m.unreachable, m.unverified ?? '', m.notScanned, yn(m.partial), yn(m.stale), m.version, m.file, m.vanished ?? ''].map(guard))];
function readCsv(file) {
  const bytes = fs.readFileSync(file);
  const name = path.basename(file);
  if (bytes[0] !== 0xef || bytes[1] !== 0xbb || bytes[2] !== 0xbf) fail(`${name} does not start with a UTF-8 BOM`);
  const text = bytes.toString('utf8').replace(/^\ufeff/, '');
  if (/[^\r]\n/.test(text)) fail(`${name} has a line ending that is not CRLF`);
  return parseCsv(text);
}
function checkCsv() {
  const read = (name) => readCsv(path.join(outDir, name));
  same(read('veltmor-machines.csv'), machinesCsv(machines), 'veltmor-machines.csv');
  const broken = [['machine', 'user', 'last run', 'location', 'profile', 'shortcut', 'target', 'reason', 'program folder', 'kind']];
  for (const m of machines) {
    m.brokenShortcuts.forEach(([shortcut, target, reason, location, profile, kind], k) =>
      broken.push([m.name, m.user, m.time, location, profile, shortcut, target, reason, m.brokenFolders[k], kind].map(guard)));
  }
  same(read('veltmor-broken.csv'), broken, 'veltmor-broken.csv');
  const targets = [['program folder', 'folder machines', 'target', 'machines', 'shortcuts']];
  for (const p of expected.programs) for (const t of p.targets) targets.push([p.folder, p.machines, t.target, t.machines, t.shortcuts].map(guard));
  same(read('veltmor-targets.csv'), targets, 'veltmor-targets.csv');
}

// The page's Content-Security-Policy names its script by hash; an edit without a new hash would leave the page dead.
function checkScriptHash() {
  const html = fs.readFileSync(opt.page, 'utf8');
  const script = /<script>([\s\S]*?)<\/script>/.exec(html);
  const csp = /script-src 'sha256-([^']+)'/.exec(html);
  const hash = script && crypto.createHash('sha256').update(script[1], 'utf8').digest('base64');
  if (!csp || hash !== csp[1]) fail(`the page's Content-Security-Policy script hash is not the script's: put 'sha256-${hash}' in report/page.html`);
}

// ---- the page -------------------------------------------------------------------------------
const pageUrl = pathToFileURL(path.resolve(opt.page)).href;
let sawOwnPage = false;
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, userDataDir: opt.profile,
  args: [...(process.getuid && process.getuid() === 0 ? ['--no-sandbox'] : []), '--lang=en-US', '--disable-gpu',
    '--disable-dev-shm-usage', '--no-first-run', '--disable-extensions', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--disable-default-apps'],
});
const page = await browser.newPage();
await page.setViewport({ width: 1280, height: 900 });
await page.setRequestInterception(true);
page.on('request', (r) => {
  if (r.url() === pageUrl) { sawOwnPage = true; r.continue(); } else if (r.url().startsWith('blob:')) r.continue();  // the export, made in the page
  else { fail(`the page asked for ${r.url()}`); r.abort(); }
});
page.on('console', (m) => { if (m.type() === 'error') fail(`console error: ${m.text()}`); });
page.on('pageerror', (e) => fail(`page error: ${e.message}`));

const q = (sel) => page.$$eval(sel, (els) => els.map((e) => e.textContent));
const digits = (s) => Number(String(s).replace(/[^0-9]/g, ''));
const cells = (sel) => page.$$eval(sel, (rows) => rows.map((r) => Array.from(r.querySelectorAll('th, td')).map((c) => c.textContent)));
const named = (rows) => rows.map((r) => [r[0], digits(r[1]), digits(r[2])]);  // a name and two counts
const names = (list) => list.map((m) => m.name);
const sortedNames = (list) => names(list).sort(byKey);
const ariaSort = (key) => page.$eval(`th[data-key=${key}]`, (th) => th.getAttribute('aria-sort'));
async function expand(what) { if (await page.$(`[data-testid=${what}-more]`)) await page.click(`[data-testid=${what}-more]`); }
async function expandAll(sel) { for (let n = 0; n < 1000 && await page.$(sel); n++) await page.click(sel); }
async function clickText(sel, text) {  // every element of sel showing exactly text
  for (const e of await page.$$(sel)) if (await e.evaluate((x) => x.textContent) === text) await e.click();
}

async function allTableRows() {  // every row of the machines table, page by page
  while (!(await page.$eval('[data-testid=pager-prev]', (b) => b.disabled))) await page.click('[data-testid=pager-prev]');
  const out = [];
  for (;;) {
    out.push(...await cells('[data-testid=machine-row]'));
    if (await page.$eval('[data-testid=pager-next]', (b) => b.disabled)) return out;
    await page.click('[data-testid=pager-next]');
  }
}
const COL = { name: 0, time: 2, broken: 4 };  // columns of the machines table

async function checkTotals() {
  for (const [k, v] of Object.entries(expected.totals)) {
    // Said in words elsewhere: the unverified card's label, the orphaned line, the lost shortcuts' summary.
    if (['unverifiedNotRecorded', 'machinesWithOrphaned', 'snapshotMachines'].includes(k)) continue;
    const text = await page.$eval(`[data-testid=total-${k}] .num`, (e) => e.textContent).catch(() => null);
    if (text === null || digits(text) !== v) fail(`total ${k}: expected ${v}, page shows ${text}`);
  }
  // Scans without --all list no unverified rows: the card says so rather than count them as none.
  const label = await page.$eval('[data-testid=total-unverified] .label', (e) => e.textContent);
  const notRecorded = expected.totals.unverifiedNotRecorded;
  if (!label.includes(`not recorded on ${notRecorded.toLocaleString('en-US')} machines`)) fail(`the unverified card does not say it was not recorded on ${notRecorded} machines: ${label}`);
  const meta = await page.$eval('[data-testid=meta]', (e) => e.textContent);
  if (!meta.includes(`${expected.files.read.toLocaleString('en-US')} scan files read, ${expected.files.skipped} skipped`)) fail(`header does not give the files read and skipped: ${meta}`);
}

async function checkCounts() {
  for (const [what, list] of [['by-reason', expected.byReason], ['by-location', expected.byLocation], ['by-kind', expected.byKind]]) {
    const rows = await page.$$eval(`[data-testid=${what}-row]`, (rs) => rs.map((r) => [r.querySelector('th').childNodes[0].textContent,
      ...Array.from(r.querySelectorAll('td.n')).map((c) => c.textContent)]));
    same(named(rows), list.map((e) => [e.name, e.shortcuts, e.machines]), what);
  }
}

// The machines that lost shortcuts since their previous snapshot, most first, with their counts; the
// orphaned installer shortcuts in a line of their own.
async function checkLost() {
  const t = expected.totals;
  // Folded when many machines lost shortcuts (a third of this fleet): opened to read it.
  if (!(await page.$eval('[data-testid=lost-box]', (d) => d.open))) await page.click('[data-testid=lost-box] summary');
  await expandAll('[data-testid=lost-more]');
  const lost = expected.lost.map((n) => machines.find((m) => m.name === n));
  same((await cells('[data-testid=lost] tbody tr')).map((r) => [r[0], digits(r[1]), r[2], r[3]]),
    lost.map((m) => [m.name, m.vanished, m.vanishedSince ? when(m.vanishedSince) : 'its first', m.vanishedRows[0][0]]), 'machines that lost shortcuts');
  if (lost.length * 3 < machines.length - 1 || lost.length * 3 > machines.length + 3) fail(`a third of the fleet should have lost shortcuts, not ${lost.length} of ${machines.length}`);
  const summary = await page.$eval('[data-testid=lost-summary]', (e) => e.textContent).catch(() => '');
  if (!summary.includes(`${t.vanished.toLocaleString('en-US')} shortcuts vanished`) || !summary.includes(`${lost.length} machines of the ${t.snapshotMachines.toLocaleString('en-US')} whose`)) fail(`lost shortcuts' summary: ${summary}`);
  const line = await page.$eval('[data-testid=orphaned-line]', (e) => e.textContent).catch(() => '');
  if (!line.startsWith(`${t.orphaned} orphaned installer shortcuts`) || !line.includes(`on ${t.machinesWithOrphaned} machines`)) fail(`orphaned line: ${line}`);
  // From the list into the machine's details: every vanished shortcut the file names, as text.
  const big = lost.find((m) => m.vanishedRows.length < m.vanished);
  if (!big) { fail('no machine lost more shortcuts than its file names'); return; }
  await clickText('[data-testid=lost-machine]', big.name);
  await page.waitForFunction((n) => Array.from(document.querySelectorAll('[data-testid=machine-detail]')).some((b) => b.getAttribute('data-machine') === n), { timeout: 5000 }, big.name);
  await expandAll('[data-testid=machine-detail] [data-testid=detail-vanished-more]');
  same(await cells('[data-testid=machine-detail] [data-testid=detail-vanished] tbody tr'),
    big.vanishedRows.map((r) => [r[0], r[1], when(r[2]), r[3], r[4]]), `vanished shortcuts of ${big.name}`);
  const head = await page.$eval('[data-testid=machine-detail] h3:has(+ div [data-testid=detail-vanished])', (e) => e.textContent).catch(() => '');
  if (!head.includes(`(the first ${big.vanishedRows.length.toLocaleString('en-US')} listed)`)) fail(`the vanished heading does not say the list is cut: ${head}`);
  await clickText('[data-testid=machine-open][aria-expanded=true]', big.name);  // closed again for the checks after
  await setText('');
}

async function checkPrograms() {
  await expand('programs');
  const want = expected.programs.slice(0, 100);
  same(named(await cells('[data-testid=program-row]')), want.map((p) => [p.folder, p.machines, p.shortcuts]), 'program folders in order');
  // Open the first program and one with several targets.
  const several = want.findIndex((p) => p.targets.length > 1);
  for (const i of new Set([0, several].filter((x) => x >= 0))) {
    const row = `[data-testid=program-row][data-index="${i}"]`;
    await page.click(`${row} [data-testid=program-toggle]`);
    same(named(await cells(`${row} + tr [data-testid=program-target]`)),
      want[i].targets.slice(0, 20).map((x) => [x.target, x.machines, x.shortcuts]), `targets of ${want[i].folder}`);
    await expandAll(`${row} + tr [data-testid=program-machines-more]`);
    same(await q(`${row} + tr [data-testid=program-machine]`), want[i].machineNames, `machines of ${want[i].folder}`);
  }
}

async function checkTrend() {
  same(named(await cells('[data-testid=trend-table] tbody tr')).reverse(), expected.trend.map((d) => [d.day, d.broken, d.machines]), 'trend per day');
  if (!(await page.$('[data-testid=trend-chart] path'))) fail('the trend chart has no line');
}

async function checkLists() {
  for (const flag of ['stale', 'partial']) {
    await expand(`${flag}-list`);
    same((await q(`[data-testid=${flag}-list-machine]`)).sort(byKey), sortedNames(machines.filter((m) => m[flag])), `${flag} machines`);
  }
  same(await cells('[data-testid=ahead-list] tbody tr'), expected.clockAhead.map((a) => [a.name, when(a.time), a.file]), 'runs dated ahead');
  same((await cells('[data-testid=never-list] tbody tr')).map((r) => r[0]), expected.neverReported, 'machines that never reported');
}

async function checkWeek() {
  for (const [id, key] of [['week-new', 'fresh'], ['week-fixed', 'fixed']]) {
    await page.$eval(`[data-testid=${id}-box] summary`, (e) => e.click()).catch(() => {});
    await expandAll(`[data-testid=${id}-more]`);
    same(await cells(`[data-testid=${id}] tbody tr`), visRows(expected.week[key].map((r) => r.slice(0, 4))), `the week's ${key} broken shortcuts`);
  }
  const summary = await page.$eval('[data-testid=week-summary]', (e) => e.textContent);
  const w = expected.week;
  if (!summary.includes(`${w.machines.toLocaleString('en-US')} machines that had reported by then: ${w.fresh.length} new broken shortcuts, ${w.fixed.length} fixed`)) fail(`week summary: ${summary}`);
}

async function checkSorting() {
  // Each column, in the direction its first click gives, then the other; what the column shows, ascending.
  const asc = (key) => machines.map((m) => m[key]).sort(byKey);
  const columns = [['broken', 'descending', (r) => digits(r[COL.broken]), asc('broken')], ['name', 'ascending', (r) => r[COL.name], names(machines)],
    ['time', 'ascending', (r) => r[COL.time], asc('time').map(when)]];
  for (const [key, first, pick, up] of columns) {
    for (const dir of first === 'ascending' ? ['ascending', 'descending'] : ['descending', 'ascending']) {
      let sort = await ariaSort(key);
      for (let n = 0; sort !== dir && n < 2; n++) {
        await page.click(`[data-testid=sort-${key}]`);
        sort = await ariaSort(key);
      }
      if (sort !== dir) { fail(`sorting by ${key}: aria-sort never became ${dir}`); continue; }
      same((await allTableRows()).map(pick), dir === 'ascending' ? up : [...up].reverse(), `machines sorted by ${key} ${dir}`);
    }
  }
  await page.click('[data-testid=sort-name]');  // back to machine order
  if (await ariaSort('name') !== 'ascending') await page.click('[data-testid=sort-name]');
}

async function setText(text) {
  await page.$eval('[data-testid=filter-text]', (e) => { e.value = ''; e.dispatchEvent(new Event('input', { bubbles: true })); });
  if (text) await page.type('[data-testid=filter-text]', text);
  // The table follows typing after a moment; wait until it shows this very text.
  await page.waitForFunction((t) => document.querySelector('[data-testid=table-count]').getAttribute('data-search') === t, { timeout: 5000 }, text);
}
async function waitMatches(n, what) {
  try { await page.waitForFunction((n) => document.querySelector('[data-testid=table-count]').getAttribute('data-matches') === String(n), { timeout: 5000 }, n); }
  catch { fail(`${what}: expected ${n} machines, the table says ${await page.$eval('[data-testid=table-count]', (e) => e.getAttribute('data-matches'))}`); }
}
async function tableShows(want, what) {  // once its count is right, the table lists exactly these machines
  await waitMatches(want.length, what);
  same((await allTableRows()).map((r) => r[COL.name]).sort(byKey), sortedNames(want), `machines with ${what}`);
}
async function checkFilters() {
  for (const text of ['бухгалтерия', '会議室', 'γραφειο', 'ελένη', 'ws-mixedcase']) {
    const want = machines.filter((m) => (m.name + '\n' + m.user).toLowerCase().includes(text.toLowerCase()));
    if (!want.length) { fail(`the fleet has no machine or user with ${text}`); continue; }
    await setText(text);
    await tableShows(want, `"${text}"`);
  }
  await setText('');
  await waitMatches(machines.length, 'empty filter');
  for (const [box, pick] of [['stale', (m) => m.stale], ['partial', (m) => m.partial], ['broken', (m) => m.broken > 0]]) {
    await page.click(`[data-testid=filter-${box}]`);
    await tableShows(machines.filter(pick), `"only ${box}"`);
    await page.click(`[data-testid=filter-${box}]`);
  }
  await waitMatches(machines.length, 'no filter');
  // By what the machines' rows hold; each alone, then two together, exported.
  const rowsOf = (m) => m.brokenShortcuts.concat(m.unreachableShortcuts);
  const top = expected.programs[0];
  const picks = [['program', '0', (m) => top.machineNames.includes(m.name)],
    ['reason', 'unreadable', (m) => rowsOf(m).some((r) => r[2] === 'unreadable')],
    ['reason', 'unreachable-drive', (m) => rowsOf(m).some((r) => r[2] === 'unreachable-drive')],
    ['location', 'quick-launch', (m) => rowsOf(m).some((r) => r[3] === 'quick-launch')],
    ['version', '1.1.0', (m) => m.version === '1.1.0']];
  for (const [what, value, pick] of picks) {
    await page.select(`[data-testid=filter-${what}]`, value);
    await tableShows(machines.filter(pick), `${what} ${value}`);
    await page.select(`[data-testid=filter-${what}]`, '');
  }
  await page.type('[data-testid=filter-user]', 'МАРИЯ');
  await tableShows(machines.filter((m) => [m.user, ...rowsOf(m).map((r) => r[4])].some((u) => u.toLowerCase().includes('мария'))), 'user мария');
  await page.$eval('[data-testid=filter-user]', (e) => { e.value = ''; e.dispatchEvent(new Event('input', { bubbles: true })); });
  await page.select('[data-testid=filter-reason]', 'missing');
  await page.select('[data-testid=filter-version]', '1.1.1');
  const both = machines.filter((m) => m.version === '1.1.1' && rowsOf(m).some((r) => r[2] === 'missing'));
  await tableShows(both, 'reason missing, version 1.1.1');
  const downloads = path.join(path.dirname(opt.profile), 'downloads');
  const session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, eventsEnabled: true });
  const saved = new Promise((resolve) => session.on('Browser.downloadProgress', (e) => { if (e.state !== 'inProgress') resolve(e.state); }));
  await page.click('[data-testid=export]');
  const file = path.join(downloads, 'veltmor-machines-filtered.csv');
  const state = await Promise.race([saved, new Promise((r) => setTimeout(() => r('timed out'), 10000))]);
  if (state !== 'completed' || !fs.existsSync(file)) fail(`the export of the filtered view saved no file (${state})`);
  else same(readCsv(file), machinesCsv(both), 'the export of the filtered view');
  for (const what of ['reason', 'version']) await page.select(`[data-testid=filter-${what}]`, '');
  await waitMatches(machines.length, 'no filter');
}

async function shownDetails(m, how) {  // the details of machine m, once opened, are what the fleet holds
  // A few hundred rows at a time, then all of them.
  const first = await page.$$eval(`[data-testid=machine-detail] [data-testid=detail-broken] tbody tr`, (r) => r.length);
  if (first > 200) fail(`opening ${m.name} put ${first} broken rows into the page at once`);
  await expandAll('[data-testid=machine-detail] [data-testid=detail-broken-more]');
  const got = await page.$$eval('[data-testid=machine-detail]', (boxes, name) => {
    const box = boxes.find((b) => b.getAttribute('data-machine') === name);
    const list = (id) => Array.from(box.querySelectorAll(`[data-testid=${id}] li`)).map((li) => li.textContent);
    const rows = (id) => Array.from(box.querySelectorAll(`[data-testid=${id}] tbody tr`)).map((r) => Array.from(r.cells).map((c) => c.textContent));
    return box && {
      broken: rows('detail-broken'), unreachable: rows('detail-unreachable'), fresh: rows('detail-new'), fixed: rows('detail-fixed'),
      notScanned: list('detail-notscanned'), notes: list('detail-notes'),
    };
  }, m.name);
  if (!got) fail(`opening ${m.name} ${how} shows no details`);
  else same(got, { broken: visRows(m.brokenShortcuts), unreachable: m.unreachableShortcuts, fresh: visRows(m.fresh || []),
    fixed: visRows(m.fixed || []), notScanned: m.notScannedPaths, notes: m.notes }, `details of ${m.name}`);
}
async function checkMachines() {
  // The machine with the most broken shortcuts, opened from the table.
  const most = machines.reduce((a, b) => (b.broken > a.broken ? b : a));
  await setText(most.name);
  await page.waitForFunction((n) => Array.from(document.querySelectorAll('[data-testid=machine-open]')).some((b) => b.textContent === n), { timeout: 5000 }, most.name);
  await clickText('[data-testid=machine-open]', most.name);
  await shownDetails(most, 'from the table');
  // The hostile machine, opened from the list of partial machines.
  const hostile = machines.find((m) => m.partial && m.notes.some((n) => expected.hostile.includes(n)));
  if (!hostile) { fail('the fleet has no partial machine with a hostile note'); return; }
  await clickText('[data-testid=partial-list-machine]', hostile.name);
  await shownDetails(hostile, 'from the partial list');
  // A scan with --all: its rows that are not broken are counted nowhere; a right-to-left override shown as such.
  for (const name of ['PC-ALL', 'PC-BIG', 'PC-RLO']) {
    const m = machines.find((x) => x.name === name);
    await setText(name);
    await page.waitForFunction((n) => Array.from(document.querySelectorAll('[data-testid=machine-open]')).some((b) => b.textContent === n), { timeout: 5000 }, name);
    await clickText('[data-testid=machine-open][aria-expanded=false]', name);
    await shownDetails(m, 'from the table');
  }
  const rlo = await page.evaluate(() => {
    const walk = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
    let text = '';
    for (let n = walk.nextNode(); n; n = walk.nextNode()) if (n.parentNode.nodeName !== 'SCRIPT') text += n.nodeValue;
    return { raw: text.includes('\u202e'), shown: text.includes('invoice\\u202Egnp.exe') };
  });
  if (rlo.raw || !rlo.shown) fail(`a right-to-left override is not shown as \\u202E: ${JSON.stringify(rlo)}`);
  await setText('');
}

// #machine=NAME (in any case) opens that machine, on loading the page and on following a link.
async function checkHash() {
  for (const [name, how] of [['пк-1', 'goto'], ['WS-MIXEDCASE', 'hash']]) {
    const m = machines.find((x) => x.key === name.toLowerCase());
    const hash = '#machine=' + encodeURIComponent(name);
    if (how === 'goto') await page.goto(pageUrl + hash, { waitUntil: 'load' });
    else await page.evaluate((h) => { location.hash = h; }, hash);
    await page.waitForSelector(`[data-testid=machine-detail]`, { timeout: 5000 }).catch(() => {});
    await shownDetails(m, `by ${hash}`);
  }
  await page.goto(pageUrl, { waitUntil: 'load' });
  await page.waitForSelector('[data-testid=machines-table][data-ready=true]');
}

// Printed: every machine, and the count; on screen again: one page of them.
async function checkPrint() {
  await page.emulateMediaType('print');
  const rows = () => page.$$eval('[data-testid=machine-row]', (r) => r.length);
  await page.waitForFunction((n) => document.querySelectorAll('[data-testid=machine-row]').length === n, { timeout: 5000 }, machines.length).catch(() => {});
  same(await rows(), machines.length, 'machine rows printed');
  const count = await page.$eval('[data-testid=table-count]', (e) => getComputedStyle(e).display !== 'none' && e.textContent);
  if (!count || !count.includes(`All ${machines.length.toLocaleString('en-US')} machines`)) fail(`the printed count: ${count}`);
  await page.emulateMediaType(null);
  await page.waitForFunction(() => document.querySelectorAll('[data-testid=machine-row]').length <= 100, { timeout: 5000 }).catch(() => {});
  if (await rows() > 100) fail('the screen kept every machine after printing');
}

// 800 pixels wide, a machine and a program open: nothing wider than its card or the window.
async function checkNarrow() {
  await page.setViewport({ width: 800, height: 900 });
  await page.click('[data-testid=program-row][data-index="0"] [data-testid=program-toggle]');
  const most = machines.reduce((a, b) => (b.broken > a.broken ? b : a));
  await setText(most.name);
  await clickText('[data-testid=machine-open]', most.name);
  const r = await page.evaluate(() => ({ page: document.documentElement.scrollWidth - document.documentElement.clientWidth,
    wide: Array.from(document.querySelectorAll('section, .card')).filter((e) => e.scrollWidth > e.clientWidth + 1)
      .map((e) => (e.querySelector('h2') || e).textContent.slice(0, 60)) }));
  if (r.page > 0 || r.wide.length) fail(`at 800 px the page scrolls sideways by ${r.page} px; too wide: ${JSON.stringify(r.wide)}`);
  await page.setViewport({ width: 1280, height: 900 });
  await setText('');
  const skip = await page.$eval('[data-testid=skip-link]', (a) => document.querySelector(a.getAttribute('href')) !== null && a.textContent);
  if (!skip) fail('no skip link to the machines table');
}

async function checkInert() {
  const r = await page.evaluate((hostile) => ({
    elements: document.querySelectorAll('b, img, iframe, object, embed').length + document.querySelectorAll('script').length - 2,
    pwned: window.__veltmorPwned !== undefined,
    shown: hostile.filter((h) => !document.body.textContent.includes(h)),
  }), expected.hostile);
  if (r.elements) fail(`data became markup: ${r.elements} element(s) the page never makes`);
  if (r.pwned) fail('a script from the data ran');
  if (r.shown.length) fail(`hostile text not shown as text: ${show(r.shown)}`);
}

async function bench() {
  const t = await page.evaluate(() => {
    const p = (n) => { const e = performance.getEntriesByName(n)[0]; return e ? e.startTime : NaN; };
    return { firstPaint: p('first-paint'), firstContentfulPaint: p('first-contentful-paint'), ready: p('veltmor-table-ready'),
      rows: document.querySelectorAll('#machines-body tr').length };
  });
  const usable = Math.max(t.ready, t.firstContentfulPaint);
  console.log(`bench: first paint ${t.firstPaint.toFixed(0)} ms, first contentful paint ${t.firstContentfulPaint.toFixed(0)} ms, table usable ${usable.toFixed(0)} ms (${t.rows} rows in the DOM)`);
  if (!(t.firstContentfulPaint < 2000)) fail(`first paint took ${t.firstContentfulPaint} ms (limit 2000)`);
  if (!(usable < 2000)) fail(`the table became usable after ${usable} ms (limit 2000)`);
  if (t.rows > 200) fail(`the table put ${t.rows} rows into the DOM at once`);
  // The table must answer a click at this size too.
  const t0 = Date.now();
  await page.click('[data-testid=sort-broken]');
  const sortMs = Date.now() - t0;
  console.log(`bench: sorting ${machines.length} machines by broken ${sortMs} ms`);
  same(digits((await cells('[data-testid=machine-row]'))[0][COL.broken]), Math.max(...machines.map((m) => m.broken)), 'largest broken count after sorting');
}

try {
  checkScriptHash();
  checkStderr();
  checkCsv();
  await page.goto(pageUrl, { waitUntil: 'load', timeout: 60000 });
  await page.waitForSelector('[data-testid=machines-table][data-ready=true]', { timeout: 30000 });
  if (!sawOwnPage) fail('request interception never saw the page itself, so it cannot vouch that nothing else was fetched');
  await checkTotals();
  for (const check of opt.bench ? [bench] : [checkCounts, checkLost, checkPrograms, checkTrend, checkLists, checkWeek, checkSorting, checkFilters, checkMachines, checkInert, checkPrint, checkNarrow, checkHash]) await check();
  if (opt.screenshot) {
    await setText('');
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.setViewport({ width: 1280, height: 1900 });
    await page.screenshot({ path: opt.screenshot });
    console.log(`screenshot: ${opt.screenshot}`);
  }
} catch (e) {
  fail(`test stopped: ${e.stack || e}`);
} finally {
  await browser.close();
}
if (failures.length) {
  console.error(`FAILED: ${failures.length} problem(s)\n  - ${failures.join('\n  - ')}`);
  process.exit(1);
}
console.log(`page test passed: ${machines.length} machines, ${expected.programs.length} program folders, ${expected.trend.length} days`);
