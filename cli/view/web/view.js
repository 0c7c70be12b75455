// The live preview page: asks the server for frames (raw RGBA, lossless) and
// the effect's state, and sends the user's changes. Every effect call happens
// on the server's effect thread; this page only asks.
'use strict';

const $ = (id) => document.getElementById(id);

const view = {
  layer: null,
  segmentLength: 1,
  frames: 1,
  wanted: 0,                 // the frame the user asked for
  shown: -1,                 // the frame on the canvas
  pictures: {},              // view name -> {frame, version, image}
  outputVersion: 0,          // grows with every change of a control
  mode: 'on',
  zoom: 1,
  gain: 4,
  wipe: 0.5,
  stored: new Map(),         // frame -> [type, size text, bytes]
  generation: 0,
  encoding: false,
  inFlight: 0,
  newestStarted: -1,
  playing: false,
  direction: 1,              // the way the user last stepped
  ahead: new Map(),          // "view/frame" -> {frame, version, image}, read ahead
  aheadBusy: false,
  aheadFetching: null,       // the "view/frame" read ahead right now
  controlsBuilt: false,
  errorsSeen: 0,
};

// ------------------------------------------------------------ server

async function errorOf(response) {
  try {
    return (await response.json()).error || response.statusText;
  } catch {
    return response.statusText;
  }
}

// The server sends RGB for an opaque picture (a quarter less to move) and
// RGBA otherwise; the canvas takes RGBA.
function toImageData(buffer, width, height, channels) {
  if (channels === 4) {
    return new ImageData(new Uint8ClampedArray(buffer), width, height);
  }
  const rgb = new Uint8Array(buffer);
  const image = new ImageData(width, height);
  const rgba = new Uint32Array(image.data.buffer);
  for (let i = 0, j = 0; i < rgba.length; i += 1, j += 3) {
    rgba[i] = 0xff000000 | (rgb[j + 2] << 16) | (rgb[j + 1] << 8) | rgb[j];
  }
  return image;
}

async function fetchPicture(frame, which, ahead = false) {
  const response =
    await fetch(`/api/frame?n=${frame}&view=${which}&pixels=rgb${ahead ? '&ahead=1' : ''}`);
  if (!response.ok) {
    const error = new Error(await errorOf(response));
    error.status = response.status;
    throw error;
  }
  const width = Number(response.headers.get('X-Frame-Width'));
  const height = Number(response.headers.get('X-Frame-Height'));
  const channels = Number(response.headers.get('X-Frame-Channels'));
  return toImageData(await response.arrayBuffer(), width, height, channels);
}

async function fetchArea(name) {
  const response = await fetch(`/api/area?name=${name}`);
  if (!response.ok) {
    throw new Error(await errorOf(response));
  }
  const width = Number(response.headers.get('X-Frame-Width'));
  const height = Number(response.headers.get('X-Frame-Height'));
  return new ImageData(new Uint8ClampedArray(await response.arrayBuffer()), width, height);
}

async function post(path, body) {
  const response = await fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body),
  });
  if (!response.ok) {
    throw new Error(await errorOf(response));
  }
  return response.json();
}

// ------------------------------------------------------------ frames

function viewsNeeded() {
  switch (view.mode) {
    case 'on': return ['output'];
    case 'off': return ['input'];
    default: return ['output', 'input'];
  }
}

function isCurrent(which, frame) {
  const picture = view.pictures[which];
  return picture && picture.frame === frame &&
    (which === 'input' || picture.version === view.outputVersion);
}

function goTo(frame) {
  view.failed = null;
  view.wanted = Math.max(0, Math.min(view.frames - 1, frame));
  showFrameLine();
  drawStrip();
  pump();
}

// Starts the request for the wanted frame: at once when nothing is under
// way, or while a segment encodes (the server then aborts that encode when
// the new frame lies in another segment); otherwise after the request under
// way, so stored frames come in order.
function pump() {
  const frame = view.wanted;
  for (const which of viewsNeeded()) {
    const kept = view.ahead.get(`${which}/${frame}`);
    if (kept && !isCurrent(which, frame) &&
        (which === 'input' || kept.version === view.outputVersion)) {
      view.pictures[which] = kept;
    }
  }
  const missing = viewsNeeded().filter((which) => !isCurrent(which, frame));
  if (missing.length === 1 && view.aheadFetching === `${missing[0]}/${frame}`) {
    // On its way already: readAhead comes back here when it lands.
    return;
  }
  if (missing.length === 0) {
    if (view.shown !== frame) {
      // Read ahead: on the canvas at once; the server follows to the frame
      // so that the Information panel does.
      shown(frame, view.pictures.output ? view.pictures.output.version : view.outputVersion);
      post(`/api/current?n=${frame}`, {}).then(refreshInformationArea).catch(() => {});
      readAhead();
    }
    return;
  }
  if (view.newestStarted === frame && view.inFlight > 0) {
    return;
  }
  // A frame that failed is asked for again only when the user asks.
  if (view.failed && view.failed.frame === frame && view.failed.version === view.outputVersion) {
    return;
  }
  if (view.inFlight > 0 && !view.encoding) {
    return;
  }
  load(frame, missing);
}

async function load(frame, missing) {
  view.inFlight += 1;
  view.newestStarted = frame;
  const version = view.outputVersion;
  try {
    const images = await Promise.all(missing.map((which) => fetchPicture(frame, which)));
    missing.forEach((which, i) => {
      view.pictures[which] = { frame, version, image: images[i] };
    });
    if (frame === view.wanted) {
      shown(frame, version);
      refreshInformationArea();
    }
  } catch (error) {
    if (frame === view.wanted) {
      view.failed = { frame, version };
    }
    if (error.status === 409) {
      if (frame === view.wanted) {
        notice(error.message);
      }
    } else {
      notice('');
      showError(error.message);
    }
  } finally {
    view.inFlight -= 1;
    if (view.newestStarted === frame) {
      view.newestStarted = -1;
    }
    pump();
    readAhead();
  }
}

function shown(frame, version) {
  view.shown = frame;
  draw();
  if (view.keyTime) {
    // From the key press to the frame on the canvas, for measurements.
    document.body.dataset.keyToFrameMs = (performance.now() - view.keyTime).toFixed(1);
    view.keyTime = 0;
  }
  document.body.dataset.shownFrame = String(frame);
  document.body.dataset.shownVersion = String(version);
}

// While nothing else is asked, fetches the next stored frames in the way the
// user is stepping, so that the next key press finds them here. Only stored
// frames are read ahead: the server never encodes for them.
const AheadFrames = 2;
const AheadKept = 8;

async function readAhead() {
  if (view.aheadBusy) {
    return;
  }
  view.aheadBusy = true;
  try {
    for (let k = 1; k <= AheadFrames; k += 1) {
      const frame = view.shown + k * view.direction;
      if (view.inFlight > 0 || view.encoding || frame < 0 || frame >= view.frames ||
          !view.stored.has(frame)) {
        return;
      }
      for (const which of viewsNeeded()) {
        const key = `${which}/${frame}`;
        const kept = view.ahead.get(key);
        if (kept && (which === 'input' || kept.version === view.outputVersion)) {
          continue;
        }
        const version = view.outputVersion;
        view.aheadFetching = key;
        let image;
        try {
          image = await fetchPicture(frame, which, true);
        } finally {
          view.aheadFetching = null;
        }
        view.ahead.delete(key);
        view.ahead.set(key, { frame, version, image });
        while (view.ahead.size > AheadKept) {
          view.ahead.delete(view.ahead.keys().next().value);
        }
        if (frame === view.wanted) {
          pump();
        }
      }
    }
  } catch (error) {
    // A frame read ahead that the server declined is simply asked for when
    // the user gets there.
  } finally {
    view.aheadBusy = false;
  }
  pump();
}

// ------------------------------------------------------------ picture

function draw() {
  const canvas = $('picture');
  const output = view.pictures.output;
  const input = view.pictures.input;
  const ready = viewsNeeded().every(
    (which) => view.pictures[which] && view.pictures[which].frame === view.shown);
  if (!ready) {
    return;
  }
  const any = view.mode === 'off' ? input : output;
  const { width, height } = any.image;
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
  }
  canvas.style.width = `${width * view.zoom}px`;
  canvas.style.height = `${height * view.zoom}px`;
  const context = canvas.getContext('2d');
  $('divider').hidden = view.mode !== 'wipe';
  if (view.mode === 'on' || view.mode === 'off') {
    context.putImageData((view.mode === 'on' ? output : input).image, 0, 0);
  } else if (view.mode === 'wipe') {
    // Input left of the divider, the preview right of it.
    const split = Math.round(view.wipe * width);
    context.putImageData(output.image, 0, 0);
    context.putImageData(input.image, 0, 0, 0, 0, split, height);
    $('divider').style.left = `${split * view.zoom}px`;
  } else {
    const difference = new ImageData(width, height);
    const a = output.image.data;
    const b = input.image.data;
    const d = difference.data;
    const gain = view.gain;
    for (let i = 0; i < d.length; i += 4) {
      d[i] = Math.abs(a[i] - b[i]) * gain;
      d[i + 1] = Math.abs(a[i + 1] - b[i + 1]) * gain;
      d[i + 2] = Math.abs(a[i + 2] - b[i + 2]) * gain;
      d[i + 3] = 255;
    }
    context.putImageData(difference, 0, 0);
  }
  document.body.dataset.drawnMode = view.mode;
  showFrameLine();
  drawStrip();
}

function setZoom(zoom) {
  const viewport = $('viewport');
  const centreX = (viewport.scrollLeft + viewport.clientWidth / 2) / view.zoom;
  const centreY = (viewport.scrollTop + viewport.clientHeight / 2) / view.zoom;
  view.zoom = zoom;
  draw();
  viewport.scrollLeft = centreX * zoom - viewport.clientWidth / 2;
  viewport.scrollTop = centreY * zoom - viewport.clientHeight / 2;
}

function setUpPanAndWipe() {
  const viewport = $('viewport');
  let drag = null;
  viewport.addEventListener('pointerdown', (event) => {
    const onDivider = event.target === $('divider');
    drag = onDivider ? { kind: 'wipe' }
      : { kind: 'pan', x: event.clientX, y: event.clientY,
          left: viewport.scrollLeft, top: viewport.scrollTop };
    viewport.setPointerCapture(event.pointerId);
    viewport.classList.toggle('panning', !onDivider);
    event.preventDefault();
  });
  viewport.addEventListener('pointermove', (event) => {
    if (!drag) {
      return;
    }
    if (drag.kind === 'wipe') {
      const box = $('picture').getBoundingClientRect();
      view.wipe = Math.max(0, Math.min(1, (event.clientX - box.left) / box.width));
      draw();
    } else {
      viewport.scrollLeft = drag.left - (event.clientX - drag.x);
      viewport.scrollTop = drag.top - (event.clientY - drag.y);
    }
  });
  const end = () => {
    drag = null;
    viewport.classList.remove('panning');
  };
  viewport.addEventListener('pointerup', end);
  viewport.addEventListener('pointercancel', end);
}

// ------------------------------------------------------------ timeline

const TypeColours = {
  IDR: '#e05050', I: '#e08050', Key: '#e0a050', P: '#4f8fe0', BRef: '#50c0a0', B: '#60c060',
};

function drawStrip() {
  const canvas = $('strip');
  const width = canvas.clientWidth || 600;
  if (canvas.width !== width) {
    canvas.width = width;
  }
  const height = canvas.height;
  const context = canvas.getContext('2d');
  context.clearRect(0, 0, width, height);
  const step = width / view.frames;
  let largest = 1;
  for (const [, , bytes] of view.stored.values()) {
    largest = Math.max(largest, bytes);
  }
  const barTop = 4;
  const barHeight = height - 14;
  for (const [frame, [type, , bytes]] of view.stored) {
    const bar = Math.max(2, Math.sqrt(bytes / largest) * barHeight);
    context.fillStyle = TypeColours[type] || '#999';
    context.fillRect(frame * step, barTop + barHeight - bar, Math.max(1, step - 1), bar);
    // The stored mark under the bars.
    context.fillStyle = '#ddd';
    context.fillRect(frame * step, height - 6, Math.max(1, step - 1), 3);
  }
  context.fillStyle = '#777';
  for (let start = view.segmentLength; start < view.frames; start += view.segmentLength) {
    context.fillRect(Math.round(start * step), 0, 1, height);
  }
  context.fillStyle = '#f0c040';
  context.fillRect(Math.floor(view.wanted * step), 0, Math.max(2, step), height);
  canvas.setAttribute('aria-valuemin', '0');
  canvas.setAttribute('aria-valuemax', String(view.frames - 1));
  canvas.setAttribute('aria-valuenow', String(view.wanted));
}

function setUpStrip() {
  const canvas = $('strip');
  let dragging = false;
  const seek = (event) => {
    const box = canvas.getBoundingClientRect();
    goTo(Math.floor(((event.clientX - box.left) / box.width) * view.frames));
  };
  canvas.addEventListener('pointerdown', (event) => {
    dragging = true;
    canvas.setPointerCapture(event.pointerId);
    seek(event);
  });
  canvas.addEventListener('pointermove', (event) => dragging && seek(event));
  canvas.addEventListener('pointerup', () => { dragging = false; });
  window.addEventListener('resize', drawStrip);
}

function showFrameLine() {
  const frame = view.wanted;
  const segment = Math.floor(frame / view.segmentLength);
  $('frame-label').textContent = `Frame ${frame} / ${view.frames - 1} · segment ${segment}`;
  const record = view.stored.get(frame);
  $('frame-state').textContent = record ? `stored: ${record[0]}, ${record[1]}` : 'not stored';
}

// ------------------------------------------------------------ playing

function play() {
  view.playing = !view.playing;
  view.direction = 1;
  notice(view.playing ? 'Playing the stored frames' : '');
  if (!view.playing) {
    return;
  }
  const interval = 1000 * view.layer.timeStep / view.layer.timeScale;
  let next = performance.now();
  const tick = () => {
    if (!view.playing) {
      return;
    }
    if (view.shown === view.wanted) {
      const frame = view.wanted + 1;
      if (frame >= view.frames || !view.stored.has(frame)) {
        view.playing = false;
        notice(frame >= view.frames ? '' : `Stopped: frame ${frame} is not stored`);
        return;
      }
      goTo(frame);
    }
    next += interval;
    setTimeout(tick, Math.max(0, next - performance.now()));
  };
  tick();
}

function onKey(event) {
  const target = event.target;
  if (target.matches('input[type=number], input[type=text], select, textarea')) {
    return;
  }
  const segment = view.segmentLength;
  let frame = null;
  switch (event.key) {
    case 'ArrowLeft':
      frame = event.shiftKey ? (Math.ceil(view.wanted / segment) - 1) * segment : view.wanted - 1;
      view.direction = -1;
      break;
    case 'ArrowRight':
      frame = event.shiftKey ? (Math.floor(view.wanted / segment) + 1) * segment : view.wanted + 1;
      view.direction = 1;
      break;
    case 'Home':
      frame = 0;
      view.direction = 1;
      break;
    case 'End':
      frame = view.frames - 1;
      view.direction = -1;
      break;
    case ' ':
      event.preventDefault();
      play();
      return;
    default:
      return;
  }
  event.preventDefault();
  view.playing = false;
  view.keyTime = performance.now();
  goTo(frame);
}

// ------------------------------------------------------------ controls

function controlId(control) {
  return `control-${control.position}`;
}

async function change(body) {
  try {
    await post('/api/control', body);
    view.outputVersion += 1;
    notice('');
    pump();
  } catch (error) {
    showError(error.message);
    // Back to the values the effect holds.
    view.controlsStale = true;
    const response = await fetch('/api/state');
    if (response.ok) {
      applyState(await response.json());
    }
  }
  refreshInformationArea();
}

function buildControls(controls) {
  const form = $('controls');
  form.replaceChildren();
  for (const control of controls) {
    if (control.kind === 'area' || control.kind === 'other') {
      continue;
    }
    const row = document.createElement('div');
    row.className = 'control';
    row.dataset.position = control.position;
    const label = document.createElement('label');
    label.htmlFor = controlId(control);
    label.textContent = control.name;
    let field;
    if (control.kind === 'number') {
      field = document.createElement('input');
      field.type = 'number';
      field.min = control.min;
      field.max = control.max;
      field.step = control.precision > 0 ? 10 ** -control.precision : 1;
      field.addEventListener('change', () => {
        change({ position: control.position, value: Number(field.value) });
      });
    } else if (control.kind === 'popup') {
      field = document.createElement('select');
      control.items.forEach((item) => {
        const option = document.createElement('option');
        option.value = item;
        option.textContent = item;
        field.append(option);
      });
      field.addEventListener('change', () => {
        change({ position: control.position, item: field.value });
      });
    } else if (control.kind === 'checkbox') {
      field = document.createElement('input');
      field.type = 'checkbox';
      field.addEventListener('change', () => {
        change({ position: control.position, value: field.checked ? 1 : 0 });
      });
    } else {
      field = document.createElement('button');
      field.type = 'button';
      field.textContent = control.name;
      field.addEventListener('click', () => change({ position: control.position, press: true }));
    }
    field.id = controlId(control);
    row.append(label, field);
    form.append(row);
  }
  form.addEventListener('submit', (event) => event.preventDefault());
}

function updateControls(controls) {
  for (const control of controls) {
    const field = $(controlId(control));
    if (!field) {
      continue;
    }
    field.disabled = !control.enabled;
    field.closest('.control').classList.toggle('disabled', !control.enabled);
    field.closest('.control').hidden = control.hidden;
    if (field === document.activeElement && !view.controlsStale) {
      continue;
    }
    if (control.kind === 'number') {
      field.value = control.value;
    } else if (control.kind === 'popup') {
      field.value = control.items[control.value - 1];
    } else if (control.kind === 'checkbox') {
      field.checked = control.value;
    }
  }
  view.controlsStale = false;
}

// ------------------------------------------------------------ panel areas

async function drawArea(name, canvasId) {
  try {
    const image = await fetchArea(name);
    const canvas = $(canvasId);
    canvas.width = image.width;
    canvas.height = image.height;
    canvas.getContext('2d').putImageData(image, 0, 0);
  } catch (error) {
    showError(error.message);
  }
}

function refreshInformationArea() {
  drawArea('information', 'information-area');
}

// ------------------------------------------------------------ state

function notice(text) {
  $('notice').textContent = text;
}

function showError(text) {
  const item = document.createElement('li');
  item.textContent = text;
  $('errors').append(item);
  while ($('errors').children.length > 5) {
    $('errors').firstElementChild.remove();
  }
}

function applyState(state) {
  view.generation = state.generation;
  view.layer = state.layer;
  view.frames = state.layer.frames;
  view.segmentLength = Math.max(1, state.segmentLength);
  view.stored = new Map(state.stored.map(([frame, ...record]) => [frame, record]));
  view.encoding = state.progress.busy && state.progress.encoding;
  $('layer-description').textContent = state.layer.description;
  $('information-text').textContent = state.information;
  if (!view.controlsBuilt) {
    buildControls(state.controls);
    view.controlsBuilt = true;
  }
  updateControls(state.controls);

  const progress = state.progress;
  $('progress-line').hidden = !view.encoding;
  if (view.encoding) {
    $('progress').value = progress.total > 0 ? progress.done / progress.total : 0;
    $('progress-text').textContent =
      `Encoding segment ${progress.segment}: ${progress.done} of ${progress.total} frames`;
  }
  // New errors from the effect since the last look.
  if (state.errors.length < view.errorsSeen) {
    view.errorsSeen = 0;
  }
  state.errors.slice(view.errorsSeen).forEach(showError);
  view.errorsSeen = state.errors.length;
  showFrameLine();
  drawStrip();
  if (view.encoding || view.inFlight === 0) {
    pump();
  }
}

async function watch() {
  for (;;) {
    try {
      const response = await fetch(`/api/state?after=${view.generation}`);
      if (!response.ok) {
        throw new Error(await errorOf(response));
      }
      const state = await response.json();
      applyState(state);
      if (state.stopping) {
        notice('The server has stopped.');
        return;
      }
    } catch (error) {
      notice(`Lost the server: ${error.message}`);
      await new Promise((resolve) => setTimeout(resolve, 2000));
    }
  }
}

async function start() {
  // The token now lives in the cookie; keep it out of the address bar.
  if (location.search) {
    history.replaceState(null, '', '/');
  }
  document.querySelectorAll('input[name=mode]').forEach((radio) => {
    radio.addEventListener('change', () => {
      view.mode = radio.value;
      draw();
      pump();
    });
  });
  document.querySelectorAll('input[name=zoom]').forEach((radio) => {
    radio.addEventListener('change', () => setZoom(Number(radio.value)));
  });
  $('gain').addEventListener('change', () => {
    view.gain = Number($('gain').value);
    draw();
  });
  $('cancel').addEventListener('click', () => post('/api/cancel', {}).catch((e) => showError(e.message)));
  document.addEventListener('keydown', onKey, true);
  setUpPanAndWipe();
  setUpStrip();

  const response = await fetch('/api/state');
  if (!response.ok) {
    notice(await errorOf(response));
    return;
  }
  const state = await response.json();
  applyState(state);
  drawArea('about', 'about-area');
  goTo(state.frame);
  watch();
}

start();
