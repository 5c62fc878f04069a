// Tells Glidemark which window is under the pointer and which one has the
// focus, over D-Bus. Only window identities leave the shell: the process id,
// the application ids and the window's frame; never titles or contents.
//
// Glidemark reads the window under the pointer for every wheel notch and
// must not wait for it, so the extension sends it ahead as a signal whenever
// it changes; the methods answer the same questions on demand.

const BUS_NAME = 'org.glidemark.GnomeShell';
const OBJECT_PATH = '/org/glidemark/Windows';
const INTERFACE_XML = `<node>
  <interface name="org.glidemark.Windows">
    <method name="PointerWindow"><arg type="s" direction="out" name="window"/></method>
    <method name="WindowAt">
      <arg type="i" direction="in" name="x"/>
      <arg type="i" direction="in" name="y"/>
      <arg type="s" direction="out" name="window"/>
    </method>
    <method name="FocusedWindow"><arg type="s" direction="out" name="window"/></method>
    <method name="Windows"><arg type="s" direction="out" name="windows"/></method>
    <signal name="PointerWindowChanged"><arg type="s" name="window"/></signal>
    <signal name="FocusChanged"><arg type="s" name="window"/></signal>
    <signal name="WindowsChanged"><arg type="s" name="windows"/></signal>
  </interface>
</node>`;

// A window as Glidemark reads it (JSON), or null.
function describeWindow(win, withFrame = true) {
    if (!win)
        return null;
    // The tracker makes up ids such as "window:12" for windows without a desktop entry.
    const shellId = Shell.WindowTracker.get_default().get_window_app(win)?.get_id() ?? '';
    const described = {
        pid: win.get_pid(),
        appId: win.get_wm_class() ?? '', // the Wayland app_id, or the X11 class
        instance: win.get_wm_class_instance() ?? '',
        desktopId: shellId.endsWith('.desktop') ? shellId.slice(0, -'.desktop'.length) : '',
    };
    if (withFrame) {
        const r = win.get_frame_rect();
        described.frame = {x: r.x, y: r.y, width: r.width, height: r.height};
    }
    return described;
}

// The window that gets pointer input at (x, y): picking finds what is really
// on top there, so the panel, menus and the overview count as no window.
function windowAt(x, y) {
    for (let a = global.stage.get_actor_at_pos(Clutter.PickMode.REACTIVE, x, y); a; a = a.get_parent()) {
        if (a instanceof Meta.WindowActor)
            return a.get_meta_window();
    }
    return null;
}

class GlidemarkWindows {
    enable() {
        this._dbus = Gio.DBusExportedObject.wrapJSObject(INTERFACE_XML, this);
        this._dbus.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        this._pointerJson = this.PointerWindow();
        this._windowsJson = this.Windows();
        this._idles = new Map();
        const check = () => this._soon('pointer', () => this._checkPointer());
        this._cursor = global.backend?.get_cursor_tracker?.() ??
            Meta.CursorTracker.get_for_display(global.display);
        this._cursor.connectObject('position-invalidated', check, this);
        global.display.connectObject(
            'restacked', check,
            'notify::focus-window', () => {
                this._dbus.emit_signal('FocusChanged', new GLib.Variant('(s)', [this.FocusedWindow()]));
                check();
            }, this);
        global.workspace_manager.connectObject('active-workspace-changed', check, this);
        Main.overview.connectObject('shown', check, 'hidden', check, this);
        Shell.WindowTracker.get_default().connectObject('tracked-windows-changed',
            () => this._soon('windows', () => this._checkWindows()), this);
        // A window fades in when it opens and out when it closes, and picking
        // skips what is transparent: look again when that is over.
        const watch = actor => actor.connectObject('effects-completed', check, this);
        global.window_manager.connectObject('map', (wm, actor) => watch(actor), this);
        global.get_window_actors().forEach(watch);
    }

    disable() {
        for (const object of [this._cursor, global.display, global.workspace_manager, Main.overview,
            Shell.WindowTracker.get_default(), global.window_manager, ...global.get_window_actors()])
            object.disconnectObject(this);
        for (const id of this._idles.values())
            GLib.source_remove(id);
        Gio.bus_unown_name(this._nameId);
        this._dbus.unexport();
        this._idles = this._dbus = this._cursor = null;
    }

    PointerWindow() {
        const [x, y] = global.get_pointer();
        return JSON.stringify(describeWindow(windowAt(x, y)));
    }

    WindowAt(x, y) {
        return JSON.stringify(describeWindow(windowAt(x, y)));
    }

    FocusedWindow() {
        return JSON.stringify(describeWindow(global.display.focus_window));
    }

    // Every window on every workspace, without frames: the list tells which
    // applications run, and frames would go stale between reports.
    Windows() {
        return JSON.stringify(global.display.list_all_windows().map(w => describeWindow(w, false)));
    }

    // Runs `work` once when the shell is idle, however often it was asked for
    // before: a moving pointer reports many positions per frame.
    _soon(key, work) {
        if (this._idles.has(key))
            return;
        this._idles.set(key, GLib.idle_add(GLib.PRIORITY_DEFAULT_IDLE, () => {
            this._idles.delete(key);
            work();
            return GLib.SOURCE_REMOVE;
        }));
    }

    _checkPointer() {
        const json = this.PointerWindow();
        if (json === this._pointerJson)
            return;
        this._pointerJson = json;
        this._dbus.emit_signal('PointerWindowChanged', new GLib.Variant('(s)', [json]));
    }

    _checkWindows() {
        const json = this.Windows();
        if (json === this._windowsJson)
            return;
        this._windowsJson = json;
        this._dbus.emit_signal('WindowsChanged', new GLib.Variant('(s)', [json]));
    }
}
