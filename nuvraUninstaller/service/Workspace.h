#pragma once

#include <QUrl>

// The desktop's "open this" and "show this file" operations. A seam so that tests never start
// a browser or a file manager.
class Workspace {
public:
    virtual ~Workspace() = default;
    // Opens `url` with the user's default handler (a web address: the browser).
    virtual void open(const QUrl& url) = 0;
    // Opens a file-manager window with the one local file `fileUrl` selected.
    virtual void revealFile(const QUrl& fileUrl) = 0;
};

// Opens through Qt's desktop services; reveals through the freedesktop file-manager interface
// (org.freedesktop.FileManager1.ShowItems on the session bus), and when no file manager answers
// there, opens the file's folder instead.
class DesktopWorkspace final : public Workspace {
public:
    void open(const QUrl& url) override;
    void revealFile(const QUrl& fileUrl) override;
};
