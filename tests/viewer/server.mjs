// A static file server on the loopback interface only, standing in for the web host a
// catalogue folder is uploaded to. It records every path asked for.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const TYPES = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.pdf': 'application/pdf',
    '.xml': 'application/xml',
    '.jpg': 'image/jpeg',
    '.svg': 'image/svg+xml',
    '.swf': 'application/x-shockwave-flash',
    '.wasm': 'application/wasm',
    '.txt': 'text/plain; charset=utf-8',
};

// `mounts` maps URL prefixes such as "/ruffle/" to other folders.
export async function startServer(root, mounts = {}) {
    const requests = [];
    const server = http.createServer((request, response) => {
        const url = new URL(request.url, 'http://127.0.0.1');
        const relative = decodeURIComponent(url.pathname);
        requests.push(relative);
        const prefix = Object.keys(mounts).find((start) => relative.startsWith(start));
        const base = prefix ? mounts[prefix] : root;
        const file = path.join(base, path.normalize(prefix ? relative.slice(prefix.length) : relative));
        if (!file.startsWith(base + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
            response.writeHead(404, { 'Content-Type': 'text/plain' });
            response.end('not found');
            return;
        }
        response.writeHead(200, {
            'Content-Type': TYPES[path.extname(file)] ?? 'application/octet-stream',
            'Cache-Control': 'no-cache',
        });
        fs.createReadStream(file).pipe(response);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    const base = `http://127.0.0.1:${server.address().port}`;
    return {
        base,
        requests,
        close: () => new Promise((resolve) => server.close(resolve)),
    };
}
