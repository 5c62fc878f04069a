// A GTK 4 window for the compositor tests:
//   gjs gtk_client.js APP_ID WIDTH HEIGHT maximized|normal
imports.gi.versions.Gtk = '4.0';
const {Gtk} = imports.gi;

const [appId, width, height, mode] = ARGV;
const app = new Gtk.Application({application_id: appId});
app.connect('activate', () => {
    const win = new Gtk.ApplicationWindow({
        application: app, title: appId, default_width: Number(width), default_height: Number(height),
    });
    if (mode === 'maximized')
        win.maximize();
    win.present();
});
app.run([]);
