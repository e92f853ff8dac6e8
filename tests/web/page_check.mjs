// The web view's page in Debian's chromium, headless: what it draws, read back from its canvas.
// Usage: node page_check.mjs URL. Prints one JSON line per step and waits for a line on stdin before
// the next, so the test can change the display between them:
//   1. levels and a green lamp shown: the bars' lengths, the lamp's colour and the clock's time;
//   2. the silence alarm shown: the colour behind the programme caption;
//   3. the link lamp amber: its colour, then the canvas in a phone's window.
// The browser's clock runs an hour and 29 s ahead, so a clock that shows the server's time shows
// that it took the offset out.
import puppeteer from 'puppeteer-core';
import { createInterface } from 'node:readline';

const url = process.argv[2];
const reader = createInterface({ input: process.stdin });
const lines = reader[Symbol.asyncIterator]();
const Meters = [[54, 73, 12, 415], [143, 73, 12, 415], [210, 73, 12, 415],
    [299, 73, 12, 415], [844, 199, 8, 291], [907, 199, 8, 291]];

const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--headless', '--disable-gpu', '--disable-background-networking',
        '--disable-component-update', '--no-first-run'],
});
try {
    const page = await browser.newPage();
    const problems = [];
    page.on('pageerror', (error) => problems.push(String(error)));
    page.on('console', (message) => message.type() === 'error' && problems.push(message.text()));
    await page.evaluateOnNewDocument(() => {
        const shift = 3600000 + 29000;
        const RealDate = Date;
        globalThis.Date = class extends RealDate {
            constructor(...args) {
                if (args.length === 0)
                    super(RealDate.now() + shift);
                else
                    super(...args);
            }
            static now() {
                return RealDate.now() + shift;
            }
        };
    });
    await page.setViewport({ width: 986, height: 580, deviceScaleFactor: 1 });
    await page.goto(url);
    const pixel = (x, y) => page.evaluate((x, y) => Array.from(
        document.getElementById('display').getContext('2d').getImageData(x, y, 1, 1).data.slice(0, 3)), x, y);
    const waitFor = (condition) => page.waitForFunction(condition, { timeout: 30000 });
    const say = async (step) => {
        console.log(JSON.stringify({ ...step, problems }));
        if ((await lines.next()).done)
            throw new Error('the test has gone');
    };

    await waitFor(() => {
        const c = document.getElementById('display');
        return c.dataset.link === 'green' && c.dataset.levels.split(',').some((v) => Number(v) > 0);
    });
    // Let the offset settle on a ping's answer, then read the bars from the top of each meter down.
    await new Promise((resolve) => setTimeout(resolve, 300));
    const bars = await page.evaluate((meters) => {
        const context = document.getElementById('display').getContext('2d');
        return meters.map(([x, y, w, h]) => {
            const column = context.getImageData(x + Math.floor(w / 2), y, 1, h).data;
            for (let row = 0; row < h; ++row)
                if (Math.max(column[4 * row], column[4 * row + 1]) > 128)
                    return h - row;
            return 0;
        });
    }, Meters);
    const time = await page.evaluate(() => document.getElementById('display').dataset.time);
    await say({ step: 1, bars, lamp: await pixel(883, 40), time });

    await waitFor(() => document.getElementById('display').dataset.alarm === 'true');
    await new Promise((resolve) => setTimeout(resolve, 200));
    await say({ step: 2, band: await pixel(50, 506) });

    await waitFor(() => document.getElementById('display').dataset.link === 'amber');
    await new Promise((resolve) => setTimeout(resolve, 200));
    const lamp = await pixel(883, 40);
    await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 3 });
    await new Promise((resolve) => setTimeout(resolve, 200));
    const canvas = await page.evaluate(() => {
        const r = document.getElementById('display').getBoundingClientRect();
        return [r.left, r.top, r.width, r.height];
    });
    await say({ step: 3, lamp, canvas });
} finally {
    reader.close();
    await browser.close();
}
// Standard input would keep node waiting.
process.exit(process.exitCode ?? 0);
