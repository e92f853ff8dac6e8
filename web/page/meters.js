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
const TimeSyncLamp = [632, 511, 15, 15];
const Clock = { x: 553, y: 290, radius: 205 };
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

// The meter as the display draws it: a dark track, green below the middle turning to red at the top,
// and the bar in the same colours at full strength.
function drawMeter(index) {
    const [x, y, w, h] = Meters[index];
    const half = Math.round(h / 2);
    const track = context.createLinearGradient(0, y + half, 0, y);
    track.addColorStop(0, 'rgb(0,64,0)');
    track.addColorStop(1, 'rgb(64,0,0)');
    context.fillStyle = 'rgb(0,64,0)';
    context.fillRect(x, y + half, w, h - half);
    context.fillStyle = track;
    context.fillRect(x, y, w, half);
    const bar = Math.round((state.levels[index] / state.steps) * h);
    if (bar <= 0)
        return;
    const solid = Math.min(bar, half + 2);
    context.fillStyle = 'rgb(0,255,0)';
    context.fillRect(x, y + h - solid, w, solid);
    if (bar > half) {
        const upper = context.createLinearGradient(0, y + half, 0, y);
        upper.addColorStop(0, 'rgb(0,255,0)');
        upper.addColorStop(1, 'rgb(255,0,0)');
        context.fillStyle = upper;
        context.fillRect(x, y + h - bar, w, bar - half);
    }
}

// The scale between the two meters of a pair: ticks from each meter, the numbers between them, and
// the red zone as a line inside the ticks.
function drawMarks(left, right) {
    const scale = state.scale;
    if (!scale)
        return;
    const [lx, y, lw, h] = Meters[left];
    const [rx] = Meters[right];
    const from = lx + lw;
    const gap = rx - from;
    const middle = from + gap / 2;
    const long = Math.round(gap * 0.26);
    const short = Math.round(gap * 0.12);
    const red = Math.round(gap * 0.29);
    const redBottom = y + h - (scale.red / state.steps) * h;
    context.fillStyle = 'rgb(220,30,30)';
    context.fillRect(from + red, y, 2, redBottom - y);
    context.fillRect(rx - red - 2, y, 2, redBottom - y);
    context.font = `bold ${h > 300 ? 13 : 10}px "DejaVu Sans", sans-serif`;
    context.textAlign = 'center';
    context.textBaseline = 'middle';
    context.fillStyle = '#fff';
    for (const [position, label] of scale.marks) {
        const my = Math.round(y + h - (position / state.steps) * h);
        const length = label ? long : short;
        context.fillRect(from + 2, my - 1, length, 2);
        context.fillRect(rx - 2 - length, my - 1, length, 2);
        if (label)
            context.fillText(label, middle, my);
    }
}

function band(x, y, w, h, stops) {
    const gradient = context.createLinearGradient(x, 0, x + w, 0);
    stops.forEach(([at, colour]) => gradient.addColorStop(at, colour));
    context.fillStyle = gradient;
    context.fillRect(x, y, w, h);
}

function drawCaption(rect, text, alarm) {
    const [x, y, w, h] = rect;
    if (alarm) {
        context.fillStyle = 'rgb(204,0,0)';
        context.fillRect(x, y, w, h);
    }
    context.fillStyle = '#fff';
    context.font = '20px "DejaVu Sans", sans-serif';
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
    context.strokeStyle = 'rgba(0,0,0,0.45)';
    context.stroke();
}

function studioTime() {
    return new Date(Date.now() + (state.offsetMs || 0));
}

function pointer(angle, tip, base, halfWidth, colour) {
    context.save();
    context.translate(Clock.x, Clock.y);
    context.rotate(angle);
    context.beginPath();
    context.moveTo(0, -tip);
    context.lineTo(halfWidth, -base);
    context.lineTo(-halfWidth, -base);
    context.closePath();
    context.fillStyle = colour;
    context.fill();
    context.restore();
}

// The studio clock as the display has it: a black face, a white dot for each second gone, green
// ticks for the rest, the hour and minute as pointers near the rim, and the time and date in digits.
function drawClock() {
    const now = studioTime();
    const second = now.getSeconds();
    context.beginPath();
    context.arc(Clock.x, Clock.y, Clock.radius, 0, 2 * Math.PI);
    context.fillStyle = '#000';
    context.fill();
    for (let i = 0; i < 60; ++i) {
        context.save();
        context.translate(Clock.x, Clock.y);
        context.rotate((i / 60) * 2 * Math.PI);
        if (i <= second) {
            context.beginPath();
            context.arc(0, -(Clock.radius - 13), 4.5, 0, 2 * Math.PI);
            context.fillStyle = '#fff';
            context.fill();
        } else if (i % 5 === 0) {
            context.fillStyle = 'rgb(0,255,0)';
            context.fillRect(-2, -(Clock.radius - 4), 4, 20);
        } else {
            context.fillStyle = 'rgb(0,170,0)';
            context.fillRect(-1, -(Clock.radius - 6), 2, 10);
        }
        context.restore();
    }
    const minutes = now.getMinutes() + second / 60;
    pointer(((now.getHours() % 12) + minutes / 60) / 12 * 2 * Math.PI, 150, 120, 12, 'rgba(255,0,0,0.5)');
    pointer((minutes / 60) * 2 * Math.PI, 190, 130, 8, 'rgba(0,0,255,0.5)');
    const pad = (n) => String(n).padStart(2, '0');
    context.fillStyle = '#fff';
    context.textAlign = 'center';
    context.textBaseline = 'middle';
    context.font = 'bold 58px "DejaVu Sans", sans-serif';
    const time = `${pad(now.getHours())}:${pad(now.getMinutes())}:${pad(second)}`;
    canvas.dataset.time = time;
    context.fillText(time, Clock.x, Clock.y);
    context.font = 'bold 32px "DejaVu Sans", sans-serif';
    const date = now.toLocaleDateString('en-GB', { weekday: 'short', day: 'numeric', month: 'short', year: 'numeric' });
    context.fillText(date.replace(',', ''), Clock.x, Clock.y + 62);
}

function draw() {
    context.setTransform(placement.scale, 0, 0, placement.scale, 0, 0);
    const background = context.createLinearGradient(0, 0, Design.width, Design.height);
    background.addColorStop(0, 'rgb(140,140,140)');
    background.addColorStop(1, 'rgb(118,118,118)');
    context.fillStyle = background;
    context.fillRect(0, 0, Design.width, Design.height);
    band(40, 28, 902, 27, [[0, '#fff'], [0.45, '#000'], [0.7, '#000'], [1, '#ddd']]);
    context.fillStyle = '#fff';
    context.font = 'bold 16px "DejaVu Sans", sans-serif';
    context.textAlign = 'center';
    context.textBaseline = 'middle';
    context.fillText('Kolvane Meters', 490, 42);
    band(40, 505, 902, 28, [[0, '#000'], [0.5, '#777'], [1, '#000']]);
    for (let i = 0; i < Meters.length; ++i)
        drawMeter(i);
    drawMarks(0, 1);
    drawMarks(2, 3);
    drawMarks(4, 5);
    drawCaption(Captions[0], state.captions[0], state.alarm);
    drawCaption(Captions[1], state.captions[1]);
    drawCaption(Captions[2], state.captions[2]);
    drawCaption(SystemTime, 'System Time');
    drawLamp(TimeSyncLamp, state.sync);
    drawLamp(LinkLamp, state.link);
    drawClock();
    // For whoever checks the page: what it shows, in words.
    canvas.dataset.link = state.link;
    canvas.dataset.alarm = String(state.alarm);
    canvas.dataset.levels = state.levels.join(',');
    canvas.dataset.scale = state.scale ? state.scale.key : '';
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
