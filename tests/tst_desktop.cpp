// The desktop around the windows: Qt's texts in Chinese, remembered settings, the question on
// close, keyboard and accessible names, a dark desktop palette, small and scaled screens, the
// window icon and the run panel's generation figures.
#include "FakeWhoisServer.h"
#include "platform/DesktopSetup.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/WindowTimer.h"
#include "window/CloseQuestion.h"
#include "window/FileDialog.h"
#include "window/Form1.h"
#include "window/MainLayout.h"
#include "window/RunPanel.h"
#include "window/WindowSettings.h"
#include "updater/Form1.h"

#include <QAccessible>
#include <QtTest>
#include <QtWidgets>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A button's caption as shown, its mnemonic ("是(&Y)") left out.
QString shownCaption(const QAbstractButton *b)
{
    return b->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(u'&');
}

// What assistive technology reads out for a control: its name and the captions labelling it.
QStringList announced(QWidget *w)
{
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
    if (!a)
        return {QString()};
    QStringList said{a->text(QAccessible::Name)};
    for (const auto &[label, relation] : a->relations(QAccessible::Label))
        said << label->text(QAccessible::Name);
    return said;
}

// How far the brightest or darkest pixel of `part`, as drawn inside its window, stands from the
// part's ground (its most common colour): text that can be read stands far from its ground.
int contrast(QWidget *part)
{
    QWidget *window = part->window();
    const QImage image = window->grab().toImage();
    const QRect area(part->mapTo(window, QPoint(0, 0)), part->size());
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    const int ground = QColor(std::max_element(counts.keyValueBegin(), counts.keyValueEnd(), [](auto a, auto b) {
                                  return a.second < b.second;
                              })->first).lightness();
    int most = 0;
    for (const QRgb c : counts.keys())
        most = qMax(most, qAbs(QColor(c).lightness() - ground));
    return most;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT
    FakeWhoisServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<MessageBox::Shown> m_shown;
    MessageBox::Answer m_answer = MessageBox::Answer::Cancel;

    // A window whose queries go to the loopback server, never to a registry.
    std::unique_ptr<Form1> makeForm()
    {
        const QString h = m_server.host();
        return std::make_unique<Form1>(ServerConfig{h, h, h, h, h, h, {}, m_server.port(), {}});
    }
    static bool exposed(QWidget &w)
    {
        w.show();
        return QTest::qWaitForWindowExposed(&w);
    }
    QString settingsPath() const { return m_dir->filePath(QStringLiteral("config/Quorvex.ini")); }
    static QString ticks(const Form1 &form)
    {
        QString s;
        for (const QCheckBox *c : form.checks())
            s += c->isChecked() ? u'1' : u'0';
        return s;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
        m_server.setScript(FakeWhoisServer::replyAtOnce("Domain Name: x\r\nExpiration Time: 2030\r\n"));
        // Windows made without the program name no settings file: nothing is read or written.
        QVERIFY(WindowSettings::file().isEmpty());
        DesktopSetup::apply(*qApp);
        // The windows wear the skin of the built program folder, as they do when installed.
        ProgramFolder::setOverride(qEnvironmentVariable("QUORVEX_PROGRAM_DIR"));
        QVERIFY(QFileInfo::exists(ProgramFolder::file(QStringLiteral("winaqua.mys"))));
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        WindowSettings::setFile(settingsPath());
        FileDialog::setLastFolder(QString());
        FileDialog::setHook([](bool) { return QString(); });
        m_shown.clear();
        MessageBox::setHook([this](const MessageBox::Shown &shown) {
            m_shown << shown;
            return shown.question ? m_answer : MessageBox::Answer::Ok;
        });
    }
    void cleanup()
    {
        WindowSettings::setFile(QString());
        MessageBox::setHook({});
        FileDialog::setHook({});
    }

    // --- Qt's own texts ---------------------------------------------------------------------

    // Yes, No and Cancel are the close question's buttons, read there.
    void okInChinese()
    {
        QMessageBox box(QMessageBox::NoIcon, QString(), QStringLiteral("x"), QMessageBox::Ok);
        QCOMPARE(shownCaption(box.button(QMessageBox::Ok)), QStringLiteral("确定"));
    }

    void fileDialogInChinese()
    {
        // The save dialog as the list-file commands open it, answered by pressing its cancel button.
        Form1 form(ServerConfig::defaults());
        FileDialog::setHook({});
        QStringList seen;
        QTimer::singleShot(0, this, [&seen] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen << dialog->windowTitle() << dialog->labelText(QFileDialog::LookIn)
                 << dialog->labelText(QFileDialog::FileName) << dialog->labelText(QFileDialog::Reject);
            dialog->reject();
        });
        QCOMPARE(FileDialog::getSaveFileName(&form), QString());
        QCOMPARE(seen, (QStringList{"另存为", "查找范围：", "文件名称(&N)：", "取消"}));
    }

    // The close question as a real box: three buttons, and Escape counts as Cancel.
    void threeWayQuestion_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("answer");
        QTest::newRow("是") << QStringLiteral("是") << int(MessageBox::Answer::Yes);
        QTest::newRow("否") << QStringLiteral("否") << int(MessageBox::Answer::No);
        QTest::newRow("取消") << QStringLiteral("取消") << int(MessageBox::Answer::Cancel);
        QTest::newRow("Escape") << QString() << int(MessageBox::Answer::Cancel);
    }
    void threeWayQuestion()
    {
        QFETCH(QString, press);
        QFETCH(int, answer);
        MessageBox::setHook({});
        QStringList captions;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *b : box->buttons())
                captions << shownCaption(b);
            for (QAbstractButton *b : box->buttons())
                if (shownCaption(b) == press)
                    return b->click();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(int(MessageBox::questionWithCancel(nullptr, QStringLiteral("保存？"), QStringLiteral("t"))), answer);
        captions.sort();
        QCOMPARE(captions, (QStringList{"取消", "否", "是"}));
    }

    // --- Remembered settings ----------------------------------------------------------------

    void settingsKeptBetweenSessions_data()
    {
        QTest::addColumn<QString>("ticked");
        QTest::newRow("some domains") << QStringLiteral("010000001");
        QTest::newRow("no domain") << QStringLiteral("000000000");
    }
    void settingsKeptBetweenSessions()
    {
        QFETCH(QString, ticked);
        const QString folder = m_dir->filePath(QStringLiteral("lists"));
        QVERIFY(QDir().mkpath(folder));
        QRect geometry;
        {
            auto form = makeForm();
            form->domaingz->setText(QStringLiteral("[ni,wo][数字]"));
            for (int i = 0; i < 9; ++i)
                form->checks()[size_t(i)]->setChecked(ticked[i] == u'1');
            form->Combo1->setCurrentIndex(form->Combo1->findText(QStringLiteral("7")));
            QVERIFY(exposed(*form));
            form->setGeometry(40, 50, 900, 640);
            QTRY_COMPARE(form->geometry(), QRect(40, 50, 900, 640));
            geometry = form->geometry();
            FileDialog::setHook([folder](bool) { return folder + QStringLiteral("/free.txt"); });
            form->Command8_Click(); // the folder of the file chosen last is the dialog's next folder
            QVERIFY(form->close());
        }
        QVERIFY(QFileInfo::exists(settingsPath()));
        FileDialog::setLastFolder(QString());

        auto again = makeForm();
        QCOMPARE(again->domaingz->text(), QStringLiteral("[ni,wo][数字]"));
        QCOMPARE(ticks(*again), ticked);
        QCOMPARE(again->Combo1->currentText(), QStringLiteral("7"));
        QCOMPARE(FileDialog::lastFolder(), folder);
        QVERIFY(exposed(*again));
        QTRY_COMPARE(again->geometry(), geometry);
    }

    // A settings file that cannot be read or makes no sense: the window starts as if there were
    // none, and closing still closes it.
    void unusableSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("folder");
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[[[Form1\n=\x01\x02\n@Variant(\x00zz\n", 28) << false;
        QTest::newRow("values of the wrong kind")
            << QByteArray("[Form1]\nrule=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x4)\ndomains=.xyz .abc\nchannels=99\n"
                          "geometry=not a geometry\nfolder=/no/such/folder\n")
            << false;
        QTest::newRow("lists where texts belong")
            << QByteArray("[Form1]\nrule=a, b\ndomains=.com, .cn\nchannels=1, 2\ngeometry=@ByteArray(\\x1\\xd9\\xd0\\xcb)\n") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("a folder in its place") << QByteArray() << true;
    }
    void unusableSettingsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, folder);
        const QSize designed = makeForm()->size(); // no settings file yet
        QVERIFY(QDir().mkpath(QFileInfo(settingsPath()).path()));
        QVERIFY(folder ? QDir().mkdir(settingsPath()) : writeAll(settingsPath(), content));
        auto form = makeForm();
        QCOMPARE(form->domaingz->text(), CharTables::defaultRule());
        QCOMPARE(ticks(*form), QStringLiteral("100000000"));
        QCOMPARE(form->Combo1->currentText(), QStringLiteral("10"));
        QCOMPARE(form->size(), designed);
        QCOMPARE(FileDialog::lastFolder(), QString());
        QVERIFY(form->close());
        QVERIFY(m_shown.isEmpty());
    }

    void unwritableSettingsFile()
    {
        // The config folder's place is taken by a file: nothing can be written beneath it.
        QVERIFY(writeAll(m_dir->filePath(QStringLiteral("config")), "x"));
        auto form = makeForm();
        form->domaingz->setText(QStringLiteral("[a,b]"));
        QVERIFY(!WindowSettings::save(*form));
        QVERIFY(form->close());
        QVERIFY(m_shown.isEmpty());
        QCOMPARE(form->domaingz->text(), QStringLiteral("[a,b]"));
        QCOMPARE(readAll(m_dir->filePath(QStringLiteral("config"))), QByteArray("x"));
    }

    // --- Nothing lost on close --------------------------------------------------------------

    // state: what the window holds when it is closed; answer: the question's answer (none: no
    // question); save: what the save dialog answers. The window closes or stays, and the
    // free-names file holds what was saved.
    void closeAsks_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("save");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QByteArray>("file");
        const int none = -1, yes = int(MessageBox::Answer::Yes), no = int(MessageBox::Answer::No),
                  cancel = int(MessageBox::Answer::Cancel);
        const QByteArray names("a.com\r\nb.cn\r\n\r\n"), nothing("<unreadable>");
        QTest::newRow("idle, nothing found") << "idle" << none << "" << true << nothing;
        QTest::newRow("unsaved: save") << "unsaved" << yes << "free.txt" << true << names;
        QTest::newRow("unsaved: save cancelled") << "unsaved" << yes << "" << false << nothing;
        QTest::newRow("unsaved: save fails") << "unsaved" << yes << "no/such/free.txt" << false << nothing;
        QTest::newRow("unsaved: close without saving") << "unsaved" << no << "" << true << nothing;
        QTest::newRow("unsaved: stay") << "unsaved" << cancel << "" << false << nothing;
        QTest::newRow("saved with 保存未注册域名") << "saved" << none << "" << true << nothing;
        QTest::newRow("a name found after the save") << "saved, then one more" << no << "" << true << nothing;
        QTest::newRow("cleared") << "cleared" << none << "" << true << nothing;
        QTest::newRow("generating: stay") << "generating" << cancel << "" << false << nothing;
        QTest::newRow("generating: close") << "generating" << no << "" << true << nothing;
        QTest::newRow("generation paused: save") << "generation paused" << yes << "free.txt" << true << QByteArray("\r\n");
        QTest::newRow("query run paused: stay") << "query run paused" << cancel << "" << false << nothing;
        QTest::newRow("querying, unsaved: save cancelled") << "querying, unsaved" << yes << "" << false << nothing;
        QTest::newRow("querying, unsaved: save") << "querying, unsaved" << yes << "free.txt" << true << names;
        QTest::newRow("query run ended") << "query run ended" << none << "" << true << nothing;
    }
    void closeAsks()
    {
        QFETCH(QString, state);
        QFETCH(int, answer);
        QFETCH(QString, save);
        QFETCH(bool, closes);
        QFETCH(QByteArray, file);
        auto form = makeForm();
        QVERIFY(exposed(*form));
        const QString earlier = m_dir->filePath(QStringLiteral("earlier.txt"));
        if (state.contains(u"unsaved") || state.startsWith(u"saved") || state == u"cleared")
            form->RichTextBox1->setPlainText(QStringLiteral("a.com\nb.cn\n"));
        if (state.startsWith(u"saved")) {
            FileDialog::setHook([earlier](bool) { return earlier; });
            form->Command8->setEnabled(true);
            form->Command8->click();
            QCOMPARE(readAll(earlier), QByteArray("a.com\r\nb.cn\r\n\r\n"));
        }
        if (state.endsWith(u"one more"))
            form->RichTextBox1->appendPlainText(QStringLiteral("c.net"));
        if (state == u"cleared")
            form->Command9->click();
        if (state.startsWith(u"generat")) {
            form->Command1->click(); // the default rule: generation runs until ended
            if (state.endsWith(u"paused"))
                form->Command2->click();
        }
        if (state.startsWith(u"query")) {
            form->domaingz->setText(QStringLiteral("[a,b]")); // one group: querying at once
            form->Command1->click();
            if (state.endsWith(u"paused"))
                form->Command5->click();
            if (state.endsWith(u"ended"))
                form->Command7->click();
        }

        const QString path = save.isEmpty() ? QString() : m_dir->filePath(save);
        FileDialog::setHook([path](bool) { return path; });
        m_answer = MessageBox::Answer(qMax(answer, 0));
        m_shown.clear();
        QCOMPARE(form->close(), closes);
        QCOMPARE(!form->isVisible(), closes);

        const bool running = state.startsWith(u"generat") || state.startsWith(u"query run paused") || state.startsWith(u"querying");
        if (answer == -1) {
            QVERIFY2(m_shown.isEmpty(), qPrintable(m_shown.value(0).text));
        } else {
            // One question with three answers; a failed save also says why.
            QVERIFY(!m_shown.isEmpty() && m_shown[0].question && m_shown[0].cancel);
            QCOMPARE(m_shown[0].text, running ? CloseQuestion::runningText() : CloseQuestion::unsavedText());
            QCOMPARE(m_shown.size(), save.contains(u'/') ? 2 : 1);
        }
        QCOMPARE(readAll(path.isEmpty() ? m_dir->filePath(QStringLiteral("free.txt")) : path), file);
        // A window that stays keeps its run as it was; one that closes stops every timer.
        bool ticking = form->Timersc->isEnabled();
        for (int i = 0; i < Form1::ChannelCount; ++i)
            ticking = ticking || form->Timerme(i).isEnabled() || form->Timer1(i).isEnabled();
        if (closes) {
            QVERIFY(!ticking);
        } else {
            QCOMPARE(form->Command4->isEnabled() || form->Command7->isEnabled(), running);
            QCOMPARE(form->Timersc->isEnabled(), state == u"generating");
        }
    }

    // --- Keyboard and accessibility ---------------------------------------------------------

    void tabLeavesFreeNames()
    {
        auto form = makeForm();
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->RichTextBox1->setPlainText(QStringLiteral("a.com"));
        form->RichTextBox1->setFocus();
        QTRY_VERIFY(form->RichTextBox1->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(form->RichTextBox1->toPlainText(), QStringLiteral("a.com"));
        // On to the button row: 清空未注册域名列表 is the first button enabled after start-up.
        QCOMPARE(QApplication::focusWidget(), form->Command9);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), form->RichTextBox1);
    }

    void returnInRuleBox_data()
    {
        QTest::addColumn<bool>("idle");
        QTest::newRow("idle: starts a run") << true;
        QTest::newRow("during a run: nothing") << false;
    }
    void returnInRuleBox()
    {
        QFETCH(bool, idle);
        auto form = makeForm();
        if (!idle) {
            form->Command1->click();
            QTRY_VERIFY(form->hostii() >= 5);
            form->Command2->click(); // paused: 生成并进行查询 stays disabled
        }
        const int rows = form->hostii();
        QTest::keyClick(form->domaingz, Qt::Key_Return);
        QCOMPARE(form->SkinLabel14->text(), QStringLiteral("正在生成待查询的域名列表，请稍候"));
        QVERIFY(!form->Command1->isEnabled());
        QCOMPARE(form->Timersc->isEnabled(), idle);
        QCOMPARE(form->hostii(), idle ? 0 : rows);
        QVERIFY(m_shown.isEmpty());
    }

    void accessibleNames_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        const char *domains[][2] = {{"Check1", ".com"}, {"Check2", ".cn"}, {"Check3", ".net"},
                                    {"Check4", ".com.cn"}, {"Check5", ".la"}, {"Check6", ".net.cn"},
                                    {"Check7", ".name"}, {"Check8", ".me"}, {"Check9", ".info"}};
        for (const auto &d : domains)
            QTest::newRow(d[0]) << d[0] << d[1];
        QTest::newRow("rule box") << "domaingz" << "域名规则";
        QTest::newRow("task list") << "domainlist" << "域名任务列表";
        QTest::newRow("free names") << "RichTextBox1" << "未注册域名列表";
        QTest::newRow("channel count") << "Combo1" << "线程同步查询";
        QTest::newRow("start") << "Command1" << "生成并进行查询";
    }
    void accessibleNames()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        auto form = makeForm();
        const QStringList said = announced(form->findChild<QWidget *>(control));
        QVERIFY2(said.contains(name), qPrintable(said.join(u'|')));
    }

    void everyControlNamed()
    {
        auto form = makeForm();
        QVERIFY(exposed(*form));
        QList<QWidget *> all; // every control a user can reach, by keyboard or pointer
        for (QWidget *w : form->findChildren<QWidget *>())
            if (w->isVisibleTo(form.get()) && w->focusPolicy() != Qt::NoFocus && !w->objectName().startsWith(u"qt_"))
                all << w;
        QVERIFY(all.size() >= 9 + 12 + 4);
        // Each says what it is, not only what it holds (the channel count is more than "10").
        for (QWidget *w : all) {
            QStringList said = announced(w);
            const QString value = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Value);
            if (value != w->accessibleName()) // a list gives its name for both
                said.removeAll(value);
            said.removeAll(QString());
            QVERIFY2(!said.isEmpty(), qPrintable(w->objectName() + u' ' + w->metaObject()->className()));
        }
    }

    void ruleToolTip()
    {
        auto form = makeForm();
        const QString tip = form->domaingz->toolTip();
        for (const char *word : {"[", "]", ",", "数字", "字母", "声母", "韵母", "随机"})
            QVERIFY2(tip.contains(QString::fromUtf8(word)), word);
    }

    void captionTicksItsBox_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 9; ++i)
            QTest::addRow("Check%d", i + 1) << i;
    }
    void captionTicksItsBox()
    {
        QFETCH(int, index);
        auto form = makeForm();
        QVERIFY(exposed(*form));
        QCheckBox *box = form->checks()[size_t(index)];
        QLabel *caption = form->checkLabels()[size_t(index)];
        QCOMPARE(caption->x() - box->x(), MainLayout::toPixels(360)); // the caption beside its box
        const bool before = box->isChecked();
        QTest::mouseClick(caption, Qt::LeftButton);
        QCOMPARE(box->isChecked(), !before);
        QTest::mouseClick(caption, Qt::LeftButton);
        QCOMPARE(box->isChecked(), before);
        QTest::mouseClick(caption, Qt::RightButton);
        QCOMPARE(box->isChecked(), before);
    }

    // --- Look -------------------------------------------------------------------------------

    void windowIcons()
    {
        auto form = makeForm();
        Updater::Form1 updater(ServerConfig::defaults());
        for (QWidget *w : std::initializer_list<QWidget *>{form.get(), &updater}) {
            const QImage icon = w->windowIcon().pixmap(32, 32).toImage();
            QVERIFY(!icon.isNull());
            QVERIFY(qAlpha(icon.pixel(16, 16)) == 255 && qAlpha(icon.pixel(0, 0)) == 0); // a tile, round corners
        }
    }

    // On a dark desktop the programs keep their light palette: the parts that the skin does not
    // draw take their ground from it and stay readable beside the skin's dark text.
    void darkDesktopStaysReadable_data()
    {
        QTest::addColumn<QString>("part");
        QTest::newRow("message box") << "message box";
        QTest::newRow("file dialog: captions") << "file dialog caption";
        QTest::newRow("file dialog: places") << "file dialog places";
        QTest::newRow("rule tooltip") << "tooltip";
        QTest::newRow("run panel") << "run panel";
        QTest::newRow("updater window") << "updater";
    }
    void darkDesktopStaysReadable()
    {
        QFETCH(QString, part);
        const QPalette light = QApplication::palette();
        QPalette dark(QColor(0xeeeeee), QColor(0x3a3a3a), QColor(0x555555), QColor(0x202020), QColor(0x2c2c2c),
                      QColor(0xeeeeee), QColor(0xffffff), QColor(0x242424), QColor(0x303030));
        dark.setColor(QPalette::ToolTipBase, QColor(0x202020));
        dark.setColor(QPalette::ToolTipText, QColor(0xeeeeee));
        QApplication::setPalette(dark);
        QToolTip::setPalette(dark);
        DesktopSetup::apply(*qApp);
        auto form = makeForm();
        QVERIFY(exposed(*form));
        QWidget *shown = nullptr;
        std::unique_ptr<QWidget> window;
        if (part == u"message box") {
            auto *box = new QMessageBox(QMessageBox::NoIcon, QString(), QStringLiteral("请至少选择一个域名后缀"),
                                        QMessageBox::Ok, form.get());
            window.reset(box);
            box->show();
            shown = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        } else if (part.startsWith(u"file dialog")) {
            auto *dialog = new QFileDialog(form.get());
            dialog->setOption(QFileDialog::DontUseNativeDialog);
            window.reset(dialog);
            dialog->show();
            shown = dialog->findChild<QWidget *>(part.endsWith(u"caption") ? QStringLiteral("fileNameLabel")
                                                                           : QStringLiteral("sidebar"));
        } else if (part == u"tooltip") {
            QToolTip::showText(form->domaingz->mapToGlobal(QPoint(4, 4)), form->domaingz->toolTip(), form->domaingz);
            QTRY_VERIFY(QToolTip::isVisible());
            for (QWidget *w : QApplication::allWidgets())
                if (w->inherits("QTipLabel") && w->isVisible())
                    shown = w;
        } else if (part == u"run panel") {
            shown = form->runPanel;
        } else {
            // Not shown: showing starts the update run. Drawn as it would be.
            auto *updater = new Updater::Form1(ServerConfig::defaults());
            window.reset(updater);
            shown = updater->Label1;
        }
        QVERIFY(shown);
        QVERIFY(!shown->window()->isVisible() || QTest::qWaitForWindowExposed(shown->window()));
        const int seen = contrast(shown);
        QToolTip::hideText();
        QApplication::setPalette(light);
        QVERIFY2(seen >= 120, qPrintable(QString::number(seen)));
    }

    // --- Small and scaled screens -----------------------------------------------------------

    // At its minimum on a screen of the given size (pixels, as the windows see them), every
    // control lies inside the window and none covers another.
    void minimumFitsScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::newRow("1280x900") << QSize(1280, 900);
        QTest::newRow("1280x900 at scale 2") << QSize(640, 450);
        QTest::newRow("1366x768 at scale 2") << QSize(683, 384);
        QTest::newRow("1024x768 at scale 1.25") << QSize(819, 614);
        QTest::newRow("1920x1080 at scale 2.5") << QSize(768, 432);
    }
    void minimumFitsScreen()
    {
        QFETCH(QSize, screen);
        const QSize available = screen * MainLayout::TwipsPerPixel;
        MainLayout::Result r = MainLayout::compute(1500, 1500, 1500, available);
        QVERIFY(r.tooSmall);
        QVERIFY(r.minW <= available.width() && r.minH <= available.height());
        const int W = r.minW, H = r.minH;
        r = MainLayout::compute(W, H, W, available);
        QVERIFY(!r.tooSmall);
        QList<std::pair<QString, QRect>> placed;
        for (auto it = r.rects.cbegin(); it != r.rects.cend(); ++it)
            if (it.key() != u"Frame2")
                placed.append({it.key(), it.value()});
        const QPoint frame = r.rects.value(QStringLiteral("Frame2")).topLeft();
        for (auto it = r.frame.cbegin(); it != r.frame.cend(); ++it) {
            placed.append({it.key(), it.value().translated(frame)});
            QVERIFY2(r.rects.value(QStringLiteral("Frame2")).contains(it.value().translated(frame)), qPrintable(it.key()));
        }
        // A caption may touch the list under it by a pixel, as in the design.
        const int pixel = MainLayout::TwipsPerPixel;
        for (const auto &[name, rect] : placed) {
            QVERIFY2(QRect(0, 0, W, H).contains(rect) && !rect.isEmpty(), qPrintable(name));
            for (const auto &[other, otherRect] : placed)
                QVERIFY2(name == other || !rect.adjusted(pixel, pixel, -pixel, -pixel).intersects(otherRect),
                         qPrintable(name + u' ' + other));
        }
    }

    void layoutUnchangedWhereItFits()
    {
        const MainLayout::Result plain = MainLayout::compute(12000, 8200, 12000);
        const MainLayout::Result big = MainLayout::compute(12000, 8200, 12000, QSize(19200, 13500));
        QCOMPARE(big.rects, plain.rects);
        QCOMPARE(big.frame, MainLayout::domainRow());
    }

    // A real window on the second screen: 1280 x 900 at scale 2, that is 640 x 450 to windows.
    void windowFitsScaledScreen()
    {
        const QList<QScreen *> screens = QGuiApplication::screens();
        if (screens.size() < 2)
            QSKIP("needs the offscreen platform with the scaled second screen");
        QScreen *scaled = screens.at(1);
        QCOMPARE(scaled->devicePixelRatio(), 2.0);
        auto form = makeForm();
        form->setScreen(scaled);
        form->move(scaled->availableGeometry().topLeft());
        QVERIFY(exposed(*form));
        QTRY_VERIFY(form->frameGeometry().width() > 0);
        QVERIFY2(scaled->availableGeometry().contains(form->frameGeometry()), qPrintable(QDebug::toString(form->frameGeometry())));
        QVERIFY(form->width() >= scaled->availableGeometry().width() * 9 / 10);
        // The last domain, the last button and the run panel are in the window.
        for (QWidget *w : std::initializer_list<QWidget *>{form->Check9, form->SkinLabel8, form->Command12, form->runPanel,
                                                           form->RichTextBox1}) {
            const QRect inWindow(w->mapTo(form.get(), QPoint(0, 0)), w->size());
            QVERIFY2(form->rect().contains(inWindow) && !inWindow.isEmpty(), qPrintable(w->objectName()));
        }
    }

    // --- Generation figures -----------------------------------------------------------------

    void generationFigures_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a thousand") << qint64(1000) << QStringLiteral("已生成 100 / 1,000");
        QTest::newRow("past the bar's range") << qint64(5000000000) << QStringLiteral("已生成 100 / 5,000,000,000");
        QTest::newRow("count unknown") << qint64(0) << QStringLiteral("已生成 100");
    }
    void generationFigures()
    {
        QFETCH(qint64, total);
        QFETCH(QString, shown);
        DomainListModel model;
        RunPanel panel(&model);
        panel.runStarted();
        panel.setGenerating(true, total);
        QCOMPARE(panel.etaText(), QStringLiteral("—")); // no pace yet
        QTest::qWait(300);
        for (int i = 0; i < 100; ++i)
            model.append(QStringLiteral("n%1.com").arg(i));
        panel.refresh();
        QCOMPARE(panel.progressText(), shown);
        QCOMPARE(panel.rateCaption(), QStringLiteral("生成速度（近十秒）："));
        const double fraction = double(panel.progressValue()) / panel.progressMaximum();
        QVERIFY2(qAbs(fraction - (total > 0 ? 100.0 / double(total) : 1.0)) < 1e-3, qPrintable(QString::number(fraction)));
        const double pace = panel.rateText().section(u' ', 0, 0).toDouble();
        QVERIFY2(pace > 5 && pace < 400, qPrintable(panel.rateText())); // 100 rows in 0.3 s or a little more
        if (total > 0) {
            // The time left at that pace.
            const QStringList hms = panel.etaText().split(u':');
            QCOMPARE(hms.size(), 3);
            const qint64 seconds = hms[0].toLongLong() * 3600 + hms[1].toInt() * 60 + hms[2].toInt();
            const qint64 expected = qint64((total - 100) / pace);
            QVERIFY2(seconds >= expected * 8 / 10 && seconds <= expected * 12 / 10 + 1, qPrintable(panel.etaText()));
        } else {
            QCOMPARE(panel.etaText(), QStringLiteral("—"));
        }
        // The query run takes the figures over.
        panel.setQuerying(true);
        panel.refresh();
        QCOMPARE(panel.progressText(), QStringLiteral("已查询 0 / 100"));
        QCOMPARE(panel.rateCaption(), QStringLiteral("查询速度（近十秒）："));
        QCOMPARE(panel.progressMaximum(), 100);
    }

    void generationShownInWindow()
    {
        auto form = makeForm();
        form->Command1->click(); // the default rule: 27,705,600 candidates
        form->Command2->click();
        form->runPanel->refresh();
        QCOMPARE(form->runPanel->progressText(), QStringLiteral("已生成 0 / 27,705,600"));
        QCOMPARE(form->runPanel->progressMaximum(), 27705600);
        form->Command3->click();
        QTRY_VERIFY(form->hostii() >= 20);
        form->Command4->click();
        form->runPanel->refresh();
        QVERIFY2(form->runPanel->progressText().startsWith(QStringLiteral("已查询 ")), qPrintable(form->runPanel->progressText()));
        QCOMPARE(form->runPanel->progressMaximum(), form->hostii());
    }

    // --- The file dialog --------------------------------------------------------------------

    // The dialog as the list commands open it: the folder it starts in and, there, the types it
    // shows for a file holding a PDF's first bytes and an empty one, both named alike. Types
    // judged by name alone show both the same: the dialog reads no file, so none can block it.
    void fileDialogFolder_data()
    {
        QTest::addColumn<QString>("remembered"); // under the test folder; empty: none
        QTest::addColumn<bool>("home");          // opens the home folder instead
        QTest::newRow("remembered folder") << "lists" << false;
        QTest::newRow("folder gone") << "gone" << true;
        QTest::newRow("a file, no folder") << "lists/document" << true;
        QTest::newRow("nothing remembered") << "" << true;
    }
    void fileDialogFolder()
    {
        QFETCH(QString, remembered);
        QFETCH(bool, home);
        const QString lists = m_dir->filePath(QStringLiteral("lists"));
        QVERIFY(QDir().mkpath(lists) && writeAll(lists + "/document", "%PDF-1.4\n") && writeAll(lists + "/empty", ""));
        FileDialog::setLastFolder(remembered.isEmpty() ? QString() : m_dir->filePath(remembered));
        FileDialog::setHook({});
        QString opened;
        QStringList types;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            opened = dialog->directory().absolutePath();
            const auto type = [dialog, &lists](const char *name) {
                return dialog->findChild<QFileSystemModel *>()->index(lists + u'/' + name, 2).data().toString();
            };
            if (!home && QTest::qWaitFor([&] { return !type("document").isEmpty() && !type("empty").isEmpty(); }))
                types << type("document") << type("empty");
            dialog->reject();
        });
        QCOMPARE(FileDialog::getOpenFileName(nullptr), QString());
        QCOMPARE(opened, home ? QDir::homePath() : lists);
        QVERIFY2(home || (types.size() == 2 && types[0] == types[1]), qPrintable(types.join(" | ")));
    }

    // Docks and software centres match the windows to the installed desktop entry by this name.
    void desktopFileName() { QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("io.github.quorvex.Quorvex")); }
};

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    // Two offscreen screens: an ordinary 1280 x 900 one, and beside it a 1280 x 900 one at scale 2.
    QTemporaryDir dir;
    const QString screens = dir.filePath(QStringLiteral("screens.json"));
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen"
        && writeAll(screens, R"({"screens": [
            {"name": "plain", "x": 0, "y": 0, "width": 1280, "height": 900},
            {"name": "scaled", "x": 1280, "y": 0, "width": 1280, "height": 900, "logicalDpi": 192, "logicalBaseDpi": 96}]})"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.toLocal8Bit());
    QApplication app(argc, argv);
    TestDesktop test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
