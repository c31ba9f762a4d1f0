// Shows a web movie in the system's Chromium as a page would: an MP4 or WebM in a <video> element, a GIF in
// an <img>, and reports what the browser made of it.
//
//   node web.mjs MOVIE OUTDIR [--at T1,T2,...]
//
// The page and the movie are served from 127.0.0.1; every other request is refused and reported.
// A video is played to its end (not muted: the sound must decode); while it plays, the last frame presented
// at or before each time T is drawn into a canvas and its pixels written to OUTDIR/picture-N.rgba (top row
// first, 4 bytes a pixel), with the frame's media time. A GIF is shown in an <img> and read with the browser's ImageDecoder for its frames' durations.
// Printed on standard output as one JSON object: canPlayType, duration, size, whether it ended, the bytes
// of sound decoded, the pictures, the GIF's frame durations (µs), refused requests and page errors.
import { chromium } from "playwright-core";
import { createServer } from "node:http";
import { mkdtempSync, readFileSync, rmSync, writeFileSync, existsSync } from "node:fs";
import { tmpdir } from "node:os";
import { extname, join } from "node:path";

const chromiumPath = "/usr/bin/chromium";
const types = { ".mp4": "video/mp4", ".webm": "video/webm", ".gif": "image/gif" };
const codecs = { ".mp4": 'video/mp4; codecs="avc1.64001f, mp4a.40.2"', ".webm": 'video/webm; codecs="vp9, opus"' };

function parseArguments(argv) {
    const options = { at: [] };
    const positional = [];
    for (let i = 0; i < argv.length; ++i) {
        if (argv[i] === "--at") options.at = argv[++i].split(",").filter(Boolean).map(Number);
        else positional.push(argv[i]);
    }
    if (positional.length !== 2) throw new Error("usage: node web.mjs MOVIE OUTDIR [--at T1,T2,...]");
    [options.movie, options.out] = positional;
    return options;
}

async function main() {
    const options = parseArguments(process.argv.slice(2));
    if (!existsSync(chromiumPath)) throw new Error(`${chromiumPath} is missing: install Debian's chromium`);
    const extension = extname(options.movie).toLowerCase();
    const movie = readFileSync(options.movie);
    const server = createServer((request, response) => {
        const path = new URL(request.url, "http://127.0.0.1").pathname;
        if (path === "/") {
            response.writeHead(200, { "content-type": "text/html" }).end("<!doctype html><html><body></body></html>");
        } else if (path === "/movie" + extension) {
            response.writeHead(200, { "content-type": types[extension], "content-length": movie.length }).end(movie);
        } else {
            response.writeHead(404).end();
        }
    });
    await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
    const origin = `http://127.0.0.1:${server.address().port}`;
    const profile = mkdtempSync(join(tmpdir(), "quolva-chromium-"));
    const report = { refused: [], errors: [], pictures: [] };
    let context = null;
    try {
        context = await chromium.launchPersistentContext(profile, {
            executablePath: chromiumPath,
            headless: true,
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
        await tab.goto(origin + "/");
        const url = "/movie" + extension;
        if (extension === ".gif") {
            Object.assign(report, await tab.evaluate(async (src) => {
                const img = document.createElement("img");
                document.body.appendChild(img);
                img.src = src;
                await img.decode();
                const decoder = new ImageDecoder({ data: (await fetch(src)).body, type: "image/gif" });
                await decoder.tracks.ready;
                await decoder.completed;
                const count = decoder.tracks.selectedTrack.frameCount;
                const durations = [];
                for (let i = 0; i < count; ++i) {
                    const { image } = await decoder.decode({ frameIndex: i });
                    durations.push(image.duration);
                    image.close();
                }
                return { width: img.naturalWidth, height: img.naturalHeight, frameCount: count, durations };
            }, url));
        } else {
            Object.assign(report, await tab.evaluate(async ({ src, type, times }) => {
                const video = document.createElement("video");
                document.body.appendChild(video);
                const canPlay = video.canPlayType(type);
                const event = (name) => new Promise((resolve, reject) => {
                    video.addEventListener(name, resolve, { once: true });
                    video.addEventListener("error", () => reject(new Error("video error " + (video.error && video.error.code))), { once: true });
                });
                const loaded = event("loadeddata");
                video.src = src;
                await loaded;
                // While it plays, each presented frame is drawn; for each time asked for, the last frame
                // presented at or before it is kept, with its media time.
                const canvas = document.createElement("canvas");
                canvas.width = video.videoWidth;
                canvas.height = video.videoHeight;
                const g = canvas.getContext("2d", { willReadFrequently: true });
                const kept = times.map(() => null);
                const onFrame = (now, metadata) => {
                    const due = times.map((t, i) => metadata.mediaTime <= t + 1e-6 && (!kept[i] || kept[i].mediaTime < metadata.mediaTime));
                    if (due.some(Boolean)) {
                        g.drawImage(video, 0, 0);
                        const bytes = g.getImageData(0, 0, canvas.width, canvas.height).data;
                        due.forEach((d, i) => { if (d) kept[i] = { mediaTime: metadata.mediaTime, bytes }; });
                    }
                    if (!video.ended) video.requestVideoFrameCallback(onFrame);
                };
                video.requestVideoFrameCallback(onFrame);
                const ended = event("ended");
                await video.play();
                await Promise.race([ended, new Promise((_, reject) => setTimeout(() => reject(new Error("did not end")), 60000))]);
                const pictures = kept.map((k, i) => {
                    if (!k) return { t: times[i], mediaTime: null, base64: "" };
                    let text = "";
                    for (let j = 0; j < k.bytes.length; j += 0x8000) text += String.fromCharCode(...k.bytes.subarray(j, j + 0x8000));
                    return { t: times[i], mediaTime: k.mediaTime, base64: btoa(text) };
                });
                return { canPlay, duration: video.duration, width: video.videoWidth, height: video.videoHeight,
                         ended: video.ended, audioBytes: video.webkitAudioDecodedByteCount,
                         videoBytes: video.webkitVideoDecodedByteCount, pictures };
            }, { src: url, type: codecs[extension], times: options.at }));
            for (const [i, picture] of report.pictures.entries()) {
                picture.path = join(options.out, `picture-${i}.rgba`);
                writeFileSync(picture.path, Buffer.from(picture.base64, "base64"));
                delete picture.base64;
            }
        }
    } finally {
        if (context) await context.close();
        server.close();
        rmSync(profile, { recursive: true, force: true });
    }
    process.stdout.write(JSON.stringify(report) + "\n");
}

main().catch((error) => {
    process.stderr.write(`web.mjs: ${error && error.stack ? error.stack : error}\n`);
    process.exit(1);
});
