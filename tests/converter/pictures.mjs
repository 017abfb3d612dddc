// What every comparison of the converter's pictures with MuPDF's runs on: Debian's Chromium,
// and in its page the decoding of a picture, its drawing on white at a chosen size, and a
// Ruffle player for a movie. The cross-checks and the fidelity measure build their figures
// on these, so that both see a picture the same way.

export const chromiumPath = "/usr/bin/chromium";

// Chromium without its sandbox (root in CI), its GPU or any traffic of its own.
export function launchChromium(chromium) {
    return chromium.launch({
        executablePath: chromiumPath,
        args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
               "--disable-component-update", "--disable-sync", "--no-first-run"],
    });
}

// Installed in the page as window.pictures; runs there, not in node.
function pictureHelpers() {
    // A picture (a URL or a data URL) decoded by the browser.
    const load = (src) => new Promise((resolve, reject) => {
        const image = new Image();
        image.onload = () => resolve(image);
        image.onerror = () => reject(new Error(`cannot load ${src.slice(0, 80)}`));
        image.src = src;
    });
    // The RGBA pixels of a `width` x `height` canvas filled with white, with `image` (when
    // given) drawn from its top left corner at `drawnWidth` x `drawnHeight`.
    const pixels = (image, width, height, drawnWidth = width, drawnHeight = height) => {
        const canvas = document.createElement("canvas");
        canvas.width = width;
        canvas.height = height;
        const context = canvas.getContext("2d");
        context.fillStyle = "#fff";
        context.fillRect(0, 0, width, height);
        if (image) {
            context.imageSmoothingQuality = "high";
            context.drawImage(image, 0, 0, drawnWidth, drawnHeight);
        }
        return context.getImageData(0, 0, width, height).data;
    };
    // A Ruffle player with the id "player", `width` x `height` pixels, playing `url` with
    // the canvas renderer and nothing of its own on top (`config` adds to that).
    const play = async (url, width, height, config = {}) => {
        window.RufflePlayer.config = { autoplay: "on", splashScreen: false, letterbox: "on",
                                       preferredRenderer: "canvas", unmuteOverlay: "hidden",
                                       ...config };
        const player = window.RufflePlayer.newest().createPlayer();
        player.id = "player";
        player.style.width = `${width}px`;
        player.style.height = `${height}px`;
        player.style.display = "block";
        document.body.appendChild(player);
        await player.ruffle().load({ url });
    };
    return { load, pixels, play };
}

// Makes window.pictures ready in the page as it stands (each navigation loses it).
export async function withPictureHelpers(page) {
    await page.evaluate(`window.pictures ??= (${pictureHelpers.toString()})()`);
    return page;
}
