// The display as a page: the six meters on the display's scale, the link lamp, the silence alarm
// and the studio time, drawn on one canvas in the display's design size and scaled as a whole.
'use strict';

const Design = { width: 986, height: 580 };
// The meters where the display has them: [x, y, width, height].
const Meters = [
    [54, 73, 12, 415], [143, 73, 12, 415], [210, 73, 12, 415],
    [299, 73, 12, 415], [844, 199, 8, 291], [907, 199, 8, 291],
];
const Captions = [[44, 502, 121, 31], [194, 502, 131, 31], [830, 502, 101, 31]];
const SystemTime = [356, 502, 401, 31];
const LinkLamp = [876, 33, 15, 15];
const Clock = { x: 553, y: 290, radius: 195 };
const LampColours = { green: 'rgb(40,200,60)', amber: 'rgb(255,176,0)', red: 'rgb(230,30,30)', grey: 'rgb(128,128,128)' };

const state = {
    steps: 10000, scale: null, captions: ['Prog', 'Sub', 'CRM'],
    levels: [0, 0, 0, 0, 0, 0], link: 'grey', alarm: false, sync: 'grey',
    offsetMs: null, bestRoundTrip: Infinity, connected: false,
};

const canvas = document.getElementById('display');
const context = canvas.getContext('2d');
let placement = { scale: 1 };

function fit() {
    const ratio = window.devicePixelRatio || 1;
    const scale = Math.min(window.innerWidth / Design.width, window.innerHeight / Design.height);
    const width = Math.round(Design.width * scale);
    const height = Math.round(Design.height * scale);
    canvas.style.width = width + 'px';
    canvas.style.height = height + 'px';
    canvas.style.left = Math.round((window.innerWidth - width) / 2) + 'px';
    canvas.style.top = Math.round((window.innerHeight - height) / 2) + 'px';
    canvas.width = Math.round(width * ratio);
    canvas.height = Math.round(height * ratio);
    placement = { scale: scale * ratio };
}

// The meter's bar, as the display draws it: green up to the middle, then green to red at the top,
// on a dark track.
function drawMeter(index) {
    const [x, y, w, h] = Meters[index];
    const share = state.levels[index] / state.steps;
    context.fillStyle = 'rgb(0,64,0)';
    context.fillRect(x, y + h / 2, w, h / 2);
    context.fillStyle = 'rgb(64,0,0)';
    context.fillRect(x, y, w, h / 2);
    const bar = Math.round(share * h);
    if (bar <= 0)
        return;
    const gradient = context.createLinearGradient(0, y + h / 2, 0, y);
    gradient.addColorStop(0, 'rgb(0,255,0)');
    gradient.addColorStop(1, 'rgb(255,0,0)');
    const solid = Math.min(bar, h / 2);
    context.fillStyle = 'rgb(0,255,0)';
    context.fillRect(x, y + h - solid, w, solid);
    if (bar > h / 2) {
        context.fillStyle = gradient;
        context.fillRect(x, y + h - bar, w, bar - h / 2);
    }
}

// The scale's marks between the two meters of a pair: a tick from each meter, the number between.
function drawMarks(left, right) {
    const [lx, y, lw, h] = Meters[left];
    const [rx] = Meters[right];
    const middle = (lx + lw + rx) / 2;
    const scale = state.scale;
    if (!scale)
        return;
    context.font = `bold ${h > 300 ? 13 : 11}px sans-serif`;
    context.textAlign = 'center';
    context.textBaseline = 'middle';
    // The red zone, as a band beside each meter.
    const redTop = y;
    const redBottom = y + h - (scale.red / state.steps) * h;
    context.fillStyle = 'rgb(204,0,0)';
    context.fillRect(lx + lw + 2, redTop, 3, redBottom - redTop);
    context.fillRect(rx - 5, redTop, 3, redBottom - redTop);
    for (const [position, label] of scale.marks) {
        const my = y + h - (position / state.steps) * h;
        const tick = label ? 8 : 5;
        context.fillStyle = '#fff';
        context.fillRect(lx + lw + 2, my - 0.5, tick, 1);
        context.fillRect(rx - 2 - tick, my - 0.5, tick, 1);
        if (label)
            context.fillText(label, middle, my);
    }
}

function drawCaption(rect, text, band) {
    const [x, y, w, h] = rect;
    if (band) {
        context.fillStyle = band;
        context.fillRect(x, y, w, h);
    }
    context.fillStyle = '#fff';
    context.font = '18px sans-serif';
    context.textAlign = 'center';
    context.textBaseline = 'middle';
    context.fillText(text, x + w / 2, y + h / 2);
}

function drawLamp(rect, colour) {
    const [x, y, w] = rect;
    context.beginPath();
    context.arc(x + w / 2, y + w / 2, w / 2 - 1, 0, 2 * Math.PI);
    context.fillStyle = LampColours[colour] || LampColours.grey;
    context.fill();
    context.lineWidth = 1.5;
    context.strokeStyle = 'rgba(0,0,0,0.4)';
    context.stroke();
}

function studioTime() {
    return new Date(Date.now() + (state.offsetMs || 0));
}

// The studio clock: a ring of second dots lit up to the second, the hour marks, and the time and
// date in digits.
function drawClock() {
    const now = studioTime();
    const second = now.getSeconds();
    for (let i = 0; i < 60; ++i) {
        const angle = (i / 60) * 2 * Math.PI - Math.PI / 2;
        const r = Clock.radius - 12;
        context.beginPath();
        context.arc(Clock.x + r * Math.cos(angle), Clock.y + r * Math.sin(angle), 4, 0, 2 * Math.PI);
        context.fillStyle = i <= second ? 'rgb(255,40,40)' : 'rgb(70,20,20)';
        context.fill();
        if (i % 5 === 0) {
            const h = Clock.radius - 32;
            context.beginPath();
            context.arc(Clock.x + h * Math.cos(angle), Clock.y + h * Math.sin(angle), 5, 0, 2 * Math.PI);
            context.fillStyle = 'rgb(255,40,40)';
            context.fill();
        }
    }
    const pad = (n) => String(n).padStart(2, '0');
    context.fillStyle = 'rgb(255,40,40)';
    context.textAlign = 'center';
    context.textBaseline = 'middle';
    context.font = 'bold 64px sans-serif';
    context.fillText(`${pad(now.getHours())}:${pad(now.getMinutes())}:${pad(second)}`, Clock.x, Clock.y - 10);
    context.font = '20px sans-serif';
    context.fillText(now.toLocaleDateString(undefined, { weekday: 'long', year: 'numeric', month: 'long', day: 'numeric' }),
        Clock.x, Clock.y + 45);
}

function draw() {
    context.setTransform(placement.scale, 0, 0, placement.scale, 0, 0);
    const background = context.createLinearGradient(0, 0, 0, Design.height);
    background.addColorStop(0, 'rgb(120,120,120)');
    background.addColorStop(1, 'rgb(96,96,96)');
    context.fillStyle = background;
    context.fillRect(0, 0, Design.width, Design.height);
    context.fillStyle = 'rgb(24,24,24)';
    context.fillRect(20, 60, 310, 480);
    context.fillRect(810, 186, 140, 354);
    context.beginPath();
    context.arc(Clock.x, Clock.y, Clock.radius, 0, 2 * Math.PI);
    context.fill();
    for (let i = 0; i < Meters.length; ++i)
        drawMeter(i);
    drawMarks(0, 1);
    drawMarks(2, 3);
    drawMarks(4, 5);
    drawCaption(Captions[0], state.captions[0], state.alarm ? 'rgb(204,0,0)' : null);
    drawCaption(Captions[1], state.captions[1]);
    drawCaption(Captions[2], state.captions[2]);
    drawCaption(SystemTime, 'System Time');
    drawLamp(LinkLamp, state.link);
    drawClock();
    canvas.dataset.link = state.link;
    canvas.dataset.alarm = String(state.alarm);
    canvas.dataset.levels = state.levels.join(',');
    canvas.dataset.second = String(studioTime().getSeconds());
}

let drawPending = false;
function redraw() {
    if (drawPending)
        return;
    drawPending = true;
    window.requestAnimationFrame(() => {
        drawPending = false;
        draw();
    });
}

function ping(socket) {
    if (socket.readyState === WebSocket.OPEN)
        socket.send(JSON.stringify({ t: 'ping', c: Date.now() }));
}

// The offset of the studio's clock from the browser's: from the answer with the shortest round
// trip, assuming the way there took as long as the way back.
function onPong(message) {
    const now = Date.now();
    const roundTrip = now - message.c;
    if (roundTrip < 0 || roundTrip > state.bestRoundTrip * 2 + 50)
        return;
    state.bestRoundTrip = Math.min(state.bestRoundTrip, roundTrip);
    state.offsetMs = message.s - (message.c + roundTrip / 2);
}

function connect() {
    const socket = new WebSocket(`ws://${window.location.host}/feed`);
    let pinger = null;
    socket.onopen = () => {
        state.connected = true;
        state.bestRoundTrip = Infinity;
        document.getElementById('offline').classList.add('hidden');
        ping(socket);
        pinger = window.setInterval(() => ping(socket), 10000);
    };
    socket.onmessage = (event) => {
        const message = JSON.parse(event.data);
        switch (message.t) {
        case 'hello':
            state.steps = message.steps;
            state.scale = message.scale;
            state.captions = message.captions;
            break;
        case 'l':
            state.levels = message.v;
            break;
        case 's':
            state.link = message.link;
            state.alarm = message.alarm;
            state.sync = message.sync;
            break;
        case 'time':
            // Until a ping has come back, the one-way figure is better than none.
            if (state.offsetMs === null)
                state.offsetMs = message.ms - Date.now();
            break;
        case 'pong':
            onPong(message);
            break;
        }
        redraw();
    };
    socket.onclose = () => {
        state.connected = false;
        window.clearInterval(pinger);
        state.link = 'grey';
        state.levels = [0, 0, 0, 0, 0, 0];
        document.getElementById('offline').classList.remove('hidden');
        redraw();
        window.setTimeout(connect, 2000);
    };
}

window.addEventListener('resize', () => {
    fit();
    redraw();
});
fit();
redraw();
// The clock moves on its own between messages.
window.setInterval(redraw, 100);
connect();
