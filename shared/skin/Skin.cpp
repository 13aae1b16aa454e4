#include "skin/Skin.h"

#include <QFile>
#include <QWidget>

void Skin::LoadSkin(const QString &path)
{
    m_loaded = false;
    m_styleSheet.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.read(1 << 20); // a style sheet is small; never read a huge file whole
    if (file.error() != QFileDevice::NoError)
        return;
    m_styleSheet = QString::fromUtf8(bytes);
    m_loaded = true;
}

void Skin::ApplySkin(QWidget *window) const
{
    if (!m_loaded || !window)
        return;
    window->setStyleSheet(m_styleSheet);
}
