#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class Form1;
class QCheckBox;

// Keyboard and assistive-technology aids of the main window: a name for every control that
// has no caption of its own, the rule box's tooltip, Tab out of the free-names box, Return in
// the rule box as 生成并进行查询, and the domain captions that tick their box when clicked.
class ControlAids : public QObject
{
    Q_OBJECT
public:
    explicit ControlAids(Form1 &form);

    // The rule language in a few lines, shown over the rule box.
    static QString ruleToolTip();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QHash<QObject *, QCheckBox *> m_captionBoxes; // domain caption -> its check box
};
