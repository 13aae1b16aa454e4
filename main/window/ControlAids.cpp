#include "window/ControlAids.h"

#include "window/Form1.h"
#include "window/RunPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

ControlAids::ControlAids(Form1 &form)
    : QObject(&form)
{
    form.domaingz->setAccessibleName(QStringLiteral("域名规则"));
    form.domaingz->setToolTip(ruleToolTip());
    // On Linux a combo box is announced by its current text; its caption labels it.
    form.Combo1->setAccessibleName(form.SkinLabel9->text());
    form.SkinLabel9->setBuddy(form.Combo1);
    form.Frame2->setAccessibleName(QStringLiteral("域名后缀"));
    form.domainlist->setAccessibleName(QStringLiteral("域名任务列表"));
    form.RichTextBox1->setAccessibleName(QStringLiteral("未注册域名列表"));
    form.runPanel->setAccessibleName(QStringLiteral("候选域名数与运行进度"));
    // The check boxes have no text of their own: the caption beside each names it, and a click
    // on the caption ticks it as on the box.
    const auto boxes = form.checks();
    const auto captions = form.checkLabels();
    for (size_t i = 0; i < boxes.size(); ++i) {
        boxes[i]->setAccessibleName(captions[i]->text());
        captions[i]->setBuddy(boxes[i]);
        m_captionBoxes.insert(captions[i], boxes[i]);
        captions[i]->installEventFilter(this);
    }

    // A tab typed into the free names would be saved with them; Tab moves on to the buttons.
    form.RichTextBox1->setTabChangesFocus(true);

    // Return in the rule box presses 生成并进行查询; a click does nothing while it is disabled.
    connect(form.domaingz, &QLineEdit::returnPressed, form.Command1, &QPushButton::click);
}

QString ControlAids::ruleToolTip()
{
    return QStringLiteral(
        "域名规则的写法：\n"
        "· 一组可选内容写在方括号 [ ] 中，各选项之间用英文逗号 , 隔开，例如 [ni,wo,ta]\n"
        "· 几组紧接着写，如 [ni,wo][数字]：每组各取一项，依次连成域名\n"
        "· 五个关键字可写在组内，代表整张字符表：\n"
        "    数字 = 0 到 9，字母 = a 到 z，声母 = 拼音声母（b p m f …），\n"
        "    韵母 = 拼音韵母（a o e ai …），随机 = 全部字母、数字和 -（逐个列举，并非随机抽取）\n"
        "· 只能用英文字母、数字、- 、方括号和逗号，不能有空格或点\n"
        "在此框中按回车键即开始生成并进行查询。");
}

bool ControlAids::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        QCheckBox *box = m_captionBoxes.value(watched);
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const auto *caption = qobject_cast<QWidget *>(watched);
        if (box && caption && mouse->button() == Qt::LeftButton && caption->rect().contains(mouse->position().toPoint())) {
            box->click(); // does nothing while the box is disabled
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
