// Tells Glidemark which window is under the pointer and which one has the
// focus. Glidemark loads this script when it starts and unloads it when it
// quits; the script calls Glidemark over D-Bus whenever an answer changes,
// so that Glidemark never waits for KWin while the wheel turns. Only window
// identities are sent: the process id, the application ids and the frame.
// Written for KWin 5.27 and 6: where their names differ, both are tried.

const SERVICE = "org.glidemark.Glidemark";
const PATH = "/org/glidemark/Windows";
const INTERFACE = "org.glidemark.WindowReports";

let leaving = null;  // a window being removed, which may still be listed meanwhile

function allWindows() {
    const list = workspace.windowList ? workspace.windowList() : workspace.clientList();
    // Lists from C++ may be array-likes rather than arrays.
    return Array.prototype.filter.call(list, function (w) { return w !== leaving; });
}

function activeWindow() {
    return workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
}

function onCurrentDesktop(w) {
    if (w.onAllDesktops) return true;
    const current = workspace.currentDesktop;
    // Plasma 5.27 numbers the desktops; Plasma 6 hands out desktop objects.
    if (typeof current === "number") return w.desktop === current;
    return Array.prototype.indexOf.call(w.desktops || [], current) >= 0;
}

// Windows the pointer can be over, in KWin's terms.
function showing(w) {
    return !w.minimized && !w.deleted && onCurrentDesktop(w) &&
        (w.activities === undefined || w.activities.length === 0 ||
         Array.prototype.indexOf.call(w.activities, workspace.currentActivity) >= 0);
}

function describe(w, withFrame) {
    if (!w) return null;
    // desktopFileName may be a path, and may end in ".desktop".
    const desktopId = String(w.desktopFileName || "").replace(/^.*\//, "").replace(/\.desktop$/, "");
    const described = {
        pid: w.pid,
        appId: String(w.resourceClass || ""),  // the Wayland app_id, or the X11 class
        instance: String(w.resourceName || ""),
        desktopId: desktopId,
    };
    if (withFrame) {
        const g = w.frameGeometry;
        described.frame = {x: g.x, y: g.y, width: g.width, height: g.height};
    }
    return described;
}

// The topmost showing window whose frame holds the point. KWin 5.27 has no
// windowAt: each window knows its place in the stacking order instead.
function windowAt(x, y) {
    let best = null;
    const list = allWindows();
    for (let i = 0; i < list.length; ++i) {
        const w = list[i];
        const g = w.frameGeometry;
        if (!showing(w) || x < g.x || y < g.y || x >= g.x + g.width || y >= g.y + g.height) continue;
        if (!best || w.stackingOrder > best.stackingOrder) best = w;
    }
    return best;
}

function send(method, value) {
    callDBus(SERVICE, PATH, INTERFACE, method, JSON.stringify(value));
}

let pointerWindow;  // undefined until the first report
function checkPointer() {
    const p = workspace.cursorPos;
    const w = windowAt(p.x, p.y);
    if (w === pointerWindow) return;
    pointerWindow = w;
    send("PointerWindowChanged", describe(w, true));
}

function reportFocus() {
    send("FocusChanged", describe(activeWindow(), true));
    checkPointer();  // activation raises windows
}

let windowsJson = "";
function reportWindows() {
    const list = allWindows().map(function (w) { return describe(w, false); });
    const json = JSON.stringify(list);
    if (json === windowsJson) return;
    windowsJson = json;
    callDBus(SERVICE, PATH, INTERFACE, "WindowsChanged", json);
}

function watchWindow(w) {
    // A stacking change under a still pointer also changes the answer.
    if (w.stackingOrderChanged) w.stackingOrderChanged.connect(checkPointer);
    if (w.frameGeometryChanged) w.frameGeometryChanged.connect(checkPointer);
    if (w.desktopFileNameChanged) w.desktopFileNameChanged.connect(reportWindows);
}

function windowsChanged() {
    reportWindows();
    checkPointer();
}

const added = workspace.windowAdded || workspace.clientAdded;
const removed = workspace.windowRemoved || workspace.clientRemoved;
const activated = workspace.windowActivated || workspace.clientActivated;
added.connect(function (w) { watchWindow(w); windowsChanged(); });
removed.connect(function (w) {
    leaving = w;
    windowsChanged();
    leaving = null;
});
activated.connect(reportFocus);
workspace.cursorPosChanged.connect(checkPointer);
workspace.currentDesktopChanged.connect(checkPointer);
allWindows().forEach(watchWindow);

reportWindows();
reportFocus();
