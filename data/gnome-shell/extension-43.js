// Glidemark window reports, for GNOME Shell 43 and 44 (built from windows.js).
const {Clutter, Gio, GLib, Meta, Shell} = imports.gi;
const Main = imports.ui.main;

//@BODY@

/* exported init */
function init() {
    return new GlidemarkWindows();
}
