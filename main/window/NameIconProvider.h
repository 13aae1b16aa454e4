#pragma once

#include <QFileIconProvider>

// Icons and type texts for the file dialog, decided from a file's name alone. Qt's own
// provider opens a file to sniff its type, and the dialog asks on the window thread: one
// file whose reading never ends (a pseudo-file under /proc, a device, a stalled network
// share) would freeze the whole window.
class NameIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;
};
