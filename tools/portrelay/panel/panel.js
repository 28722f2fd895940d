// The PortRelay panel: the live push drawn as bars and a 10-second chart, the
// operations, the tuning view and the ports. Talks only to the host that
// served it; every change is a POST the host checks for its token and origin.
'use strict';

const AXES = ['sway', 'surge', 'heave', 'yaw', 'roll', 'pitch'];
const SLOT_NAMES = ['sway', 'surge', 'heave', 'yaw', 'roll', 'pitch', 'roll tilt', 'pitch tilt', 'roll position',
  'pitch position', 'belt', 'belt surge', 'belt heave', 'belt roll', 'belt pitch', 'effect sway', 'effect surge',
  'effect heave', 'effect yaw', 'effect roll', 'effect pitch', 'fan', 'slot 22'];
const CHART_SECONDS = 10;
const $ = (id) => document.getElementById(id);

// What the page received and drew, for the owner (header) and for tests.
const stats = { received: 0, rendered: 0, receivedPerSecond: 0, renderedPerSecond: 0, last: null };
window.panelStats = stats;

async function post(path, body) {
  const response = await fetch(path, {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body || {}),
  });
  if (!response.ok) return { ok: false, message: (await response.text()).trim() };
  return response.json();
}

function say(answer) { $('notice').textContent = answer.message || ''; }

// ---- live ----
const bars = AXES.concat(['belt', 'fan']).map((name) => {
  const row = document.createElement('div');
  row.className = 'bar';
  row.innerHTML = `<span>${name}</span><div class="track"><div class="fill"></div><div class="mid"></div></div>` +
    '<span class="num"></span>';
  $('bars').appendChild(row);
  return { fill: row.querySelector('.fill'), num: row.querySelector('.num') };
});

const points = [];
const chart = new Dygraph($('chart'), [[0, 0, 0, 0, 0, 0, 0, 0, 0]], {
  labels: ['t'].concat(AXES, ['belt', 'fan']),
  series: { belt: { axis: 'y2' }, fan: { axis: 'y2' } },
  axes: { y2: { independentTicks: true } },
  ylabel: 'axes', y2label: 'belt, fan', xlabel: 's', legend: 'always', labelsSeparateLines: false,
  valueRange: [-1, 1], animatedZooms: false, interactionModel: {},
});
window.panelChart = chart;

let fresh = false;
const started = performance.now();
const source = new EventSource('/api/live');
source.onmessage = (event) => {
  const live = JSON.parse(event.data);
  stats.received += 1;
  stats.last = live;
  const t = (performance.now() - started) / 1000;
  points.push([t].concat(live.axes, [live.belt, live.fan]));
  while (points.length && points[0][0] < t - CHART_SECONDS) points.shift();
  fresh = true;
};

function bar(index, value, scale) {
  const v = Math.max(-1, Math.min(1, value / scale));
  const b = bars[index];
  b.fill.style.left = `${50 + Math.min(0, v) * 50}%`;
  b.fill.style.width = `${Math.abs(v) * 50}%`;
  b.num.textContent = value.toFixed(scale === 1 ? 4 : 0);
}

function render() {
  if (fresh && stats.last) {
    fresh = false;
    stats.rendered += 1;
    const live = stats.last;
    live.axes.forEach((value, i) => bar(i, value, 1));
    bar(6, live.belt, Math.max(1, live.belt));
    bar(7, live.fan, 255);
    chart.updateOptions({ file: points });
    $('game').textContent = live.gameId < 0 ? 'waiting for a game...' : `${live.game} (id ${live.gameId})`;
    $('link').textContent = live.link;
    $('fade').textContent = `${live.fade.toFixed(0)} %`;
    $('profile').textContent = `${live.profile === 1 ? 'GROUND' : 'AIR'}  (AIR ${live.air.toFixed(0)} % / ` +
      `GROUND ${live.ground.toFixed(0)} %)`;
    showStatus(live.status || {});
  }
  requestAnimationFrame(render);
}
requestAnimationFrame(render);

let lastCount = { at: performance.now(), received: 0, rendered: 0 };
setInterval(() => {
  const now = performance.now(), seconds = (now - lastCount.at) / 1000;
  stats.receivedPerSecond = (stats.received - lastCount.received) / seconds;
  stats.renderedPerSecond = (stats.rendered - lastCount.rendered) / seconds;
  lastCount = { at: now, received: stats.received, rendered: stats.rendered };
  $('rate').textContent = `${stats.receivedPerSecond.toFixed(0)} updates/s, ${stats.renderedPerSecond.toFixed(0)} drawn/s`;
}, 1000);

function showStatus(status) {
  $('operation').textContent = status.operation || '-';
  $('intensity').textContent = `${status.intensity ?? 100} %`;
  const park = ['', 'PARKING', 'PARKED'][status.park] || '';
  $('parkState').textContent = park;
  $('park').textContent = status.park ? 'RELEASE PARK' : 'PARK';
  (status.muted || []).forEach((muted, axis) => muteButtons[axis].classList.toggle('muted', muted));
  const warnings = [];
  (status.clipped || []).forEach((share, axis) => {
    if (share > 0) warnings.push(`${AXES[axis]} held at a rig limit in ${(share * 100).toFixed(0)} % of the last second`);
  });
  if (status.longestCycleMs > 10) {
    warnings.push(`engine stalls: ${status.longCycles} cycles over 10 ms, the longest of the last 10 s ` +
      `${status.longestCycleMs.toFixed(0)} ms`);
  }
  if (stats.last && stats.last.link !== 'connected') warnings.push(`rig link: ${stats.last.link}`);
  if (status.library) warnings.push(`library: ${status.library}`);
  const text = warnings.map((w) => `<div></div>`).join('');
  if ($('warnings').childElementCount !== warnings.length) $('warnings').innerHTML = text;
  warnings.forEach((w, i) => { $('warnings').children[i].textContent = w; });
  if (status.notice && !$('notice').dataset.local) $('notice').textContent = status.notice;
  $('recordState').textContent = status.recording ? `recording ${status.recording}: ${status.recordedRows} rows` : '';
}

$('park').onclick = async () => say(await post('/api/action', { action: 'park' }));
$('stop').onclick = async () => say(await post('/api/action', { action: 'stop' }));
$('intensityUp').onclick = async () => say(await post('/api/action', { action: 'intensity-up' }));
$('intensityDown').onclick = async () => say(await post('/api/action', { action: 'intensity-down' }));
$('reload').onclick = async () => { say(await post('/api/action', { action: 'reload' })); loadProfile(); };
const muteButtons = AXES.map((name, axis) => {
  const button = document.createElement('button');
  button.textContent = `mute ${name}`;
  button.onclick = async () => say(await post('/api/action', { action: 'mute', axis }));
  $('mutes').appendChild(button);
  return button;
});

// ---- tuning ----
let profile = null;
let editing = null;  // { profile, slot }

async function loadProfile() {
  profile = await (await fetch('/api/profile')).json();
  $('profileFile').textContent = profile.file ? `file: ${profile.file}` : 'the built-in profile (no file to save to)';
  $('save').disabled = !profile.file;
  drawSlots();
  const limits = [];
  for (const [slot, l] of Object.entries(profile.inputLimits)) limits.push(`input ${SLOT_NAMES[slot]} [${l[0]}, ${l[1]}]`);
  for (const [axis, l] of Object.entries(profile.rigLimits)) limits.push(`rig ${AXES[axis]} [${l[0]}, ${l[1]}]`);
  $('limits').textContent = `limits: ${limits.join('; ') || 'none set (the rig holds still)'}`;
}

function drawSlots() {
  const p = Number($('tuneProfile').value);
  const rows = profile.profiles[p].map((s, slot) =>
    `<tr data-slot="${slot}" class="${s.active ? '' : 'off'}"><td>${slot}</td><td>${SLOT_NAMES[slot]}</td>` +
    `<td>${s.active ? 'on' : 'off'}</td><td class="filter"></td></tr>`);
  $('slots').innerHTML = rows.join('');
  [...$('slots').rows].forEach((row, slot) => {
    row.cells[3].textContent = profile.profiles[p][slot].filter;
    row.onclick = () => edit(p, slot);
  });
}

function edit(p, slot) {
  editing = { profile: p, slot };
  const s = profile.profiles[p][slot];
  $('editor').hidden = false;
  $('editTitle').textContent = `${p ? 'GROUND' : 'AIR'} slot ${slot}: ${SLOT_NAMES[slot]}`;
  $('chain').value = s.filter;
  $('active').checked = s.active;
  check();
}

let stepChart = null, gainChart = null, checkTimer = null, checked = 0;
async function check() {
  const sent = ++checked;
  const filter = $('chain').value;
  const answer = await post('/api/check', { filter });
  answer.filter = filter;
  if (sent !== checked) return;  // an older answer after a newer keystroke
  const verdict = $('verdict');
  if (!answer.valid) {
    verdict.className = 'bad';
    verdict.textContent = `invalid at character ${answer.position}: ${answer.reason}`;
    return;
  }
  verdict.className = 'good';
  verdict.textContent = `valid: ${answer.chain.trim().split('\n').join('  ')}` + (answer.note ? ` (${answer.note})` : '');
  if (answer.step) {
    const data = answer.step.t.map((t, i) => [t, answer.step.y[i]]);
    if (!stepChart) {
      stepChart = new Dygraph($('stepChart'), data, { labels: ['s', 'step response'], xlabel: 's', legend: 'always' });
    } else {
      stepChart.updateOptions({ file: data });
    }
  }
  $('gainChart').hidden = !answer.frequency;
  if (answer.frequency) {
    const data = answer.frequency.f.map((f, i) => [f, answer.frequency.gain[i], answer.frequency.phase[i]]);
    // Frequency on a log axis; gain and phase (which is negative) on linear ones.
    const options = { labels: ['Hz', 'gain', 'phase (deg)'], xlabel: 'Hz', legend: 'always',
      series: { 'phase (deg)': { axis: 'y2' } }, axes: { x: { logscale: true }, y: { logscale: false } } };
    if (!gainChart) gainChart = new Dygraph($('gainChart'), data, options);
    else gainChart.updateOptions({ file: data });
  }
  window.panelLastCheck = answer;
}

$('chain').oninput = () => { clearTimeout(checkTimer); checkTimer = setTimeout(check, 120); };
$('tuneProfile').onchange = drawSlots;
$('apply').onclick = async () => {
  const answer = await post('/api/apply',
    { profile: editing.profile, slot: editing.slot, filter: $('chain').value, active: $('active').checked });
  say(answer);
  if (answer.ok) loadProfile();
};
$('save').onclick = async () => say(await post('/api/save'));

// ---- ports and recordings ----
async function loadPorts() {
  const ports = await (await fetch('/api/ports')).json();
  $('portList').innerHTML = '<tr><th>port</th><th>rig</th><th>name</th><th>hardware ids</th></tr>' +
    ports.map(() => '<tr><td></td><td></td><td></td><td></td></tr>').join('');
  ports.forEach((port, i) => {
    const cells = $('portList').rows[i + 1].cells;
    cells[0].textContent = port.port;
    cells[1].textContent = port.rig ? 'RIG' : '';
    cells[2].textContent = port.name;
    cells[3].textContent = port.ids;
  });
  if (!ports.length) $('portList').innerHTML = '<tr><td>no serial ports</td></tr>';
}

$('recordStart').onclick = async () => say(await post('/api/record/start'));
$('recordStop').onclick = async () => {
  const answer = await post('/api/record/stop');
  say(answer);
  if (answer.ok) {
    const item = document.createElement('li');
    const link = document.createElement('a');
    link.href = `/api/recordings/${encodeURIComponent(answer.file)}`;
    link.textContent = answer.file;
    item.appendChild(link);
    $('recordings').appendChild(item);
  }
};

loadProfile();
loadPorts();
