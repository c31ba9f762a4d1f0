// Plays an SWF movie in Ruffle inside the system's Chromium and reports what it showed and played.
//
//   node play.mjs MOVIE.swf OUTDIR [--seconds S] [--probe X,Y;X,Y;...] [--shots T1,T2,...]
//
// The page and Ruffle's files are served from 127.0.0.1; every other request is refused and reported.
// The player element is exactly the movie's stage size, so one stage pixel is one screen pixel.
// Written to OUTDIR:
//   shot-N.png    screenshots of the stage, taken T1, T2, ... seconds after the movie started
//   audio.f32     what Ruffle handed to the audio output: channel 0 of every buffer it started, in
//                 order, as 32-bit floats
// Printed on standard output as one JSON object: the movie's metadata as Ruffle read it (frame rate,
// frame count, stage size), the probe samples ({t: ms since the start, rgb: [[r,g,b], ...]}) taken
// about every 10 ms, the screenshots with their times, the audio's sample rate and length, the audio
// context's state, refused requests and page errors.
// Exits 1 with a message when the browser, the player or the movie cannot be brought up.
import { chromium } from "playwright-core";
import { createServer } from "node:http";
import { mkdtempSync, readFileSync, rmSync, writeFileSync, existsSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, extname } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const chromiumPath = "/usr/bin/chromium";

function parseArguments(argv) {
    const options = { seconds: 3, probe: [], shots: [1.5] };
    const positional = [];
    for (let i = 0; i < argv.length; ++i) {
        const a = argv[i];
        if (a === "--seconds") options.seconds = Number(argv[++i]);
        else if (a === "--probe")
            options.probe = argv[++i].split(";").filter(Boolean).map((p) => p.split(",").map(Number));
        else if (a === "--shots") options.shots = argv[++i].split(",").map(Number);
        else positional.push(a);
    }
    if (positional.length !== 2) throw new Error("usage: node play.mjs MOVIE.swf OUTDIR [--seconds S] [--probe ...] [--shots ...]");
    [options.movie, options.out] = positional;
    return options;
}

// The stage size from the movie's header: the RECT after the 8 bytes of signature, version and length.
function stageSize(bytes) {
    if (bytes.toString("latin1", 0, 3) !== "FWS") throw new Error("not an uncompressed SWF movie");
    let bit = 64;
    const read = (n) => {
        let v = 0;
        for (let i = 0; i < n; ++i, ++bit) v = v * 2 + ((bytes[bit >> 3] >> (7 - (bit & 7))) & 1);
        return v;
    };
    const n = read(5);
    const [xmin, xmax, ymin, ymax] = [read(n), read(n), read(n), read(n)];
    return { width: Math.round((xmax - xmin) / 20), height: Math.round((ymax - ymin) / 20) };
}

const types = { ".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm",
                ".swf": "application/x-shockwave-flash", ".map": "application/json" };

function page(stage) {
    return `<!doctype html><html><head><meta charset="utf-8"><style>
html, body { margin: 0; padding: 0; background: #000; overflow: hidden; }
#player { display: block; width: ${stage.width}px; height: ${stage.height}px; }
</style></head><body><div id="container"></div>
<script>
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = { publicPath: "/ruffle/", autoplay: "on", unmuteOverlay: "hidden",
    splashScreen: false, allowNetworking: "none", preferredRenderer: "canvas", letterbox: "off",
    contextMenu: "off", warnOnUnsupportedContent: false, logLevel: "warn" };
</script>
<script src="/ruffle/ruffle.js"></script>
</body></html>`;
}

// Runs in the page before anything else: a copy of every sound buffer Ruffle starts.
function audioTap() {
    window.__audio = { chunks: [], sampleRate: 0, contexts: [] };
    const start = AudioBufferSourceNode.prototype.start;
    AudioBufferSourceNode.prototype.start = function (...args) {
        if (this.buffer) {
            window.__audio.sampleRate = this.buffer.sampleRate;
            window.__audio.chunks.push(new Float32Array(this.buffer.getChannelData(0)));
        }
        return start.apply(this, args);
    };
    const Original = window.AudioContext;
    window.AudioContext = class extends Original {
        constructor(...args) {
            super(...args);
            window.__audio.contexts.push(this);
        }
    };
}

async function main() {
    const options = parseArguments(process.argv.slice(2));
    if (!existsSync(chromiumPath)) throw new Error(`${chromiumPath} is missing: install Debian's chromium`);
    const movie = readFileSync(options.movie);
    const stage = stageSize(movie);
    const ruffleDir = join(here, "node_modules", "@ruffle-rs", "ruffle");
    if (!existsSync(join(ruffleDir, "ruffle.js"))) throw new Error("Ruffle is not installed: run npm ci in " + here);

    const server = createServer((request, response) => {
        const path = new URL(request.url, "http://127.0.0.1").pathname;
        let body = null;
        if (path === "/") body = Buffer.from(page(stage));
        else if (path === "/movie.swf") body = movie;
        else if (path.startsWith("/ruffle/") && !path.includes("..")) {
            const file = join(ruffleDir, path.slice("/ruffle/".length));
            if (existsSync(file)) body = readFileSync(file);
        }
        if (body === null) {
            response.writeHead(404).end();
            return;
        }
        response.writeHead(200, { "content-type": types[extname(path)] || "text/html" }).end(body);
    });
    await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
    const origin = `http://127.0.0.1:${server.address().port}`;

    const profile = mkdtempSync(join(tmpdir(), "quolva-chromium-"));
    const report = { stage, refused: [], errors: [], probes: [], shots: [] };
    let context = null;
    try {
        context = await chromium.launchPersistentContext(profile, {
            executablePath: chromiumPath,
            headless: true,
            viewport: { width: stage.width, height: stage.height },
            deviceScaleFactor: 1,
            args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                   "--disable-background-networking", "--disable-component-update", "--disable-sync",
                   "--autoplay-policy=no-user-gesture-required"],
        });
        const tab = context.pages()[0] || (await context.newPage());
        await context.route("**/*", (route) => {
            const url = route.request().url();
            if (url.startsWith(origin + "/")) return route.continue();
            report.refused.push(url);
            return route.abort();
        });
        tab.on("pageerror", (error) => report.errors.push(String(error)));
        tab.on("console", (message) => {
            if (message.type() === "error") report.errors.push(message.text());
        });
        await tab.addInitScript(audioTap);
        await tab.goto(origin + "/");

        // The player, and the movie loaded into it; its metadata tells when it is running.
        report.metadata = await tab.evaluate(async (size) => {
            const player = window.RufflePlayer.newest().createPlayer();
            player.id = "player";
            player.style.width = size.width + "px";
            player.style.height = size.height + "px";
            document.getElementById("container").appendChild(player);
            await player.ruffle().load({ url: "/movie.swf" });
            for (let i = 0; i < 500 && !player.ruffle().metadata; ++i) await new Promise((r) => setTimeout(r, 10));
            const m = player.ruffle().metadata;
            window.__started = performance.now();
            return m ? { frameRate: m.frameRate, numFrames: m.numFrames, width: m.width, height: m.height,
                         swfVersion: m.swfVersion } : null;
        }, stage);
        if (!report.metadata) throw new Error("Ruffle did not read the movie");

        // Probe samples in the page, screenshots from outside, at their times.
        const probing = tab.evaluate(async ({ points, seconds }) => {
            const player = document.getElementById("player");
            const canvas = player.shadowRoot.querySelector("canvas");
            const samples = [];
            const scratch = document.createElement("canvas");
            scratch.width = canvas.width;
            scratch.height = canvas.height;
            const g = scratch.getContext("2d", { willReadFrequently: true });
            while (performance.now() - window.__started < seconds * 1000) {
                if (points.length) {
                    g.drawImage(canvas, 0, 0);
                    const rgb = points.map(([x, y]) => Array.from(g.getImageData(x, y, 1, 1).data.slice(0, 3)));
                    samples.push({ t: performance.now() - window.__started, rgb });
                }
                await new Promise((r) => setTimeout(r, 10));
            }
            return samples;
        }, { points: options.probe, seconds: options.seconds });
        const started = Date.now();
        for (const [i, at] of options.shots.entries()) {
            const wait = at * 1000 - (Date.now() - started);
            if (wait > 0) await new Promise((r) => setTimeout(r, wait));
            const path = join(options.out, `shot-${i}.png`);
            await tab.screenshot({ path, clip: { x: 0, y: 0, width: stage.width, height: stage.height } });
            report.shots.push({ path, t: Date.now() - started });
        }
        report.probes = await probing;

        const audio = await tab.evaluate(() => {
            const a = window.__audio;
            const length = a.chunks.reduce((n, c) => n + c.length, 0);
            const all = new Float32Array(length);
            let at = 0;
            for (const c of a.chunks) {
                all.set(c, at);
                at += c.length;
            }
            const bytes = new Uint8Array(all.buffer);
            let text = "";
            for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
            return { sampleRate: a.sampleRate, samples: length, buffers: a.chunks.length,
                     states: a.contexts.map((c) => c.state), base64: btoa(text) };
        });
        writeFileSync(join(options.out, "audio.f32"), Buffer.from(audio.base64, "base64"));
        delete audio.base64;
        report.audio = audio;
    } finally {
        if (context) await context.close();
        server.close();
        rmSync(profile, { recursive: true, force: true });
    }
    process.stdout.write(JSON.stringify(report) + "\n");
}

main().catch((error) => {
    process.stderr.write(`play.mjs: ${error && error.stack ? error.stack : error}\n`);
    process.exit(1);
});
