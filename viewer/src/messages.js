// Messages that replace a blank page when something the catalogue needs is missing.
export function showMessage(text) {
    const box = document.getElementById('message');
    box.textContent = text;
    box.hidden = false;
    document.body.classList.add('has-message');
}
