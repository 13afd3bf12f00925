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

// Opens through Qt's desktop services; reveals through the platform's file manager.
class DesktopWorkspace final : public Workspace {
public:
    void open(const QUrl& url) override;
    void revealFile(const QUrl& fileUrl) override;
};
