#pragma once
// One running copy per user. The running copy listens on a per-user local
// socket; a new copy connects, learns who is running (process id and
// executable path) and sends one request line: "reopen" when it is the same
// installed program (it then exits, as a second launch of a running program
// should only bring it forward), or "quit" when it is a different copy (which
// takes over). A re-open carries the launcher's activation token, when there
// is one, so that the running copy's windows may take the focus. The protocol
// is line based:
//   running copy -> new copy:  "<pid>\t<executable path>\n"
//   new copy -> running copy:  "reopen\n" | "reopen\t<activation token>\n" | "quit\n"
#include <QElapsedTimer>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

namespace gm::app {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    struct Identity {
        qint64 pid = 0;
        QString executablePath;
    };
    struct Peer {
        qint64 pid = 0;
        QString executablePath;
    };
    enum class Request { Reopen, Quit };

    SingleInstance(QString socketName, Identity self, QObject* parent = nullptr);
    ~SingleInstance() override;

    // "$XDG_RUNTIME_DIR/glidemark.sock", or, when there is no runtime
    // directory, a socket in a private folder named with the user id in the
    // temporary directory. Empty (no socket: every copy runs on its own) when
    // that folder belongs to someone else or others may enter it.
    static QString defaultSocketName();
    static Identity currentProcess();

    const Identity& self() const { return self_; }
    const QString& socketName() const { return socketName_; }

    // Asks the running copy who it is. Spins a local event loop for at most
    // `timeoutMs`, so it also works when the running copy lives in this very
    // process. None when no copy answers.
    std::optional<Peer> findRunningInstance(int timeoutMs = 1500);
    // Sends a request to the copy found by the last findRunningInstance and
    // waits until it is written. False when the connection is gone. A token
    // that could not be passed on safely is left out.
    bool send(Request request, const QString& activationToken = {});
    // The activation token this process was started with (Wayland launchers
    // set XDG_ACTIVATION_TOKEN), or empty.
    static QString launchActivationToken();

    // Becomes the running copy. With `takeOverMs` 0 a socket left behind is
    // taken to be stale and replaced at once; otherwise (a copy was just asked
    // to quit) it keeps retrying for up to `takeOverMs` before doing so.
    // Returns whether it listens now; a late success emits `listening()`.
    bool listen(int takeOverMs = 3000);
    bool isListening() const { return server_.isListening(); }

signals:
    // activationToken: the new copy's token, or empty.
    void reopenRequested(const QString& activationToken);
    void quitRequested();
    void listening();

private:
    void acceptConnections();
    void retryListen();
    bool tryListen();

    QString socketName_;
    Identity self_;
    QLocalServer server_;
    class QLocalSocket* client_ = nullptr;
    QTimer retryTimer_;
    QElapsedTimer retryClock_;
    int takeOverMs_ = 0;
};

}  // namespace gm::app
