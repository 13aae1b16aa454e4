#pragma once

#include <QString>

class QWidget;

// The look of both programs: a Qt style sheet kept in the program folder. Load, then apply
// to a window. A missing or unreadable file leaves the default look and nothing else.
class Skin
{
public:
    void LoadSkin(const QString &path);
    void ApplySkin(QWidget *window) const;

    bool isLoaded() const { return m_loaded; }
    const QString &styleSheet() const { return m_styleSheet; }

private:
    QString m_styleSheet;
    bool m_loaded = false;
};
