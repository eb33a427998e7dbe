#pragma once

#include <QUrl>

// Hands a document or a web address to the desktop, as the shell's "open" does; tests
// replace it.
class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    // False when nothing could open it.
    virtual bool Open(const QUrl& url) = 0;
};

class DesktopUrlOpener : public UrlOpener {
  public:
    bool Open(const QUrl& url) override;
};
