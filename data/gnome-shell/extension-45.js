// Glidemark window reports, for GNOME Shell 45 and later (built from windows.js).
import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Meta from 'gi://Meta';
import Shell from 'gi://Shell';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

//@BODY@

export default class GlidemarkExtension extends Extension {
    enable() {
        this._windows = new GlidemarkWindows();
        this._windows.enable();
    }

    disable() {
        this._windows.disable();
        this._windows = null;
    }
}
