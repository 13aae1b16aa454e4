// The list files of the main window: the bytes the file commands write and read, their
// failures, and an import that starts a query run.
#include "FakeWhoisServer.h"
#include "platform/MessageBox.h"
#include "platform/WindowTimer.h"
#include "window/DomainListModel.h"
#include "window/FileDialog.h"
#include "run/QueryRun.h"
#include "window/Form1.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <sys/resource.h>

static QByteArray readAll(const QString &path) { QFile f(path); return f.open(QIODevice::ReadOnly) ? f.readAll() : "<unreadable>"; }
static bool writeAll(const QString &path, const QByteArray &b) { QFile f(path); return f.open(QIODevice::WriteOnly) && f.write(b) == b.size(); }
static const rlimit NoCap = [] { rlimit r{}; getrlimit(RLIMIT_FSIZE, &r); return r; }(); // the file-size limit we started with

// What a file command may change: status line, free names, Command1..12 and Timerme(0..19)
// on (1) or off (0), "threads hostii hosttt runflag", then "domain/state/result" per row.
static QStringList snapshot(const Form1 &form)
{
    QString flags;
    for (int i = 0; i < 12 + Form1::ChannelCount; ++i)
        flags += (i < 12 ? form.commands()[i]->isEnabled() : form.Timerme(i - 12).isEnabled()) ? u'1' : u'0';
    QStringList s{form.SkinLabel14->text(), form.RichTextBox1->toPlainText(), flags,
                  QStringLiteral("%1 %2 %3 %4").arg(QString::number(form.threads())).arg(form.hostii()).arg(form.hosttt()).arg(form.runflag())};
    const DomainListModel &m = *form.listModel();
    for (int k = 1; k <= m.size(); ++k)
        s << m.domain(k) + u'/' + DomainListModel::stateText(m.state(k)) + u'/' + DomainListModel::resultText(m.result(k));
    return s;
}

class TestListFiles : public QObject
{
    Q_OBJECT
    FakeWhoisServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<MessageBox::Shown> m_shown;

    // A window holding rows, their results by letter (- none, R registered, F free, U undecidable,
    // T time-out, E ended) as far as given, and free names.
    std::unique_ptr<Form1> makeForm(const QStringList &rows, const QString &results, const QString &freeNames = {})
    {
        const QString h = m_server.host();
        auto form = std::make_unique<Form1>(ServerConfig{h, h, h, h, h, h, {}, m_server.port(), {}});
        form->addRows(rows);
        for (int k = 1; k <= form->hostii() && k <= results.size(); ++k)
            form->listModel()->setResult(k, DomainListModel::Result(QStringLiteral("-RFUTE").indexOf(results.at(k - 1))));
        form->RichTextBox1->setPlainText(freeNames);
        return form;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        m_server.setScript(FakeWhoisServer::replyAtOnce("No match for domain.\r\n>>> Last update of whois database: 2024-01-01T00:00:00Z <<<\r\n"));
        MessageBox::recordAndAnswer(&m_shown);
        std::signal(SIGXFSZ, SIG_IGN); // a write past a file-size cap fails with EFBIG instead
    }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); m_shown.clear(); FileDialog::setLastFolder(QString()); }

    // Each file command, pressed on a window holding rows with every result: a save (Command8,
    // 10, 12) of rows (for Command8 the free names' lines) leaves bytes in the file; an import
    // (Command11) of bytes gives rows, all waiting, with no result. Cancel (""), a file that cannot
    // be written or read, and a save cut short by a full disk ("full.txt", holding bytes before)
    // show why and change nothing.
    void files_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("file");
        const auto row = [](int command, const QString &tag, const QStringList &rows, const QByteArray &bytes, const QString &file = "list.txt")
        { QTest::addRow("Command%d %s", command, qPrintable(tag)) << command << rows << bytes << file; };
        row(10, "three domains", {"a.com", "b.net", "c.cn"}, "a.com\r\nb.net\r\nc.cn\r\n");
        row(10, "empty list", {}, "\r\n");
        row(10, "drops leading empties, keeps spaces", {"", "", "a.com", "", " b .com "}, "a.com\r\n\r\n b .com \r\n");
        row(8, "extra CR LF", {"a.cn", "b.com", ""}, "a.cn\r\nb.com\r\n\r\n");
        // Registered, registered, free, none, time-out, undecidable, ended. A domain spelled like
        // the result left out is a domain; "没有被注册" also holds "被注册".
        row(12, "rest list", {"r.com", "", "f.com", "已经被注册", "t.com", "u.com", "e.com"},
            "f.com\r\n\xD2\xD1\xBE\xAD\xB1\xBB\xD7\xA2\xB2\xE1\r\nt.com\r\nu.com\r\ne.com\r\n");
        row(11, "no final line end", {"x.com", "y.com"}, "x.com\r\ny.com");
        row(11, "CR LF: one empty row", {""}, "\r\n");
        row(11, "0 bytes", {}, "");
        row(11, "lone CR ends a line, lone LF does not", {"a", "b\nc", "d"}, "a\rb\nc\r\nd\r");
        row(11, "keeps spaces and blank lines", {" a.com ", "", "\tB.com", ""}, " a.com \r\n\r\n\tB.com\r\n\r\n");
        row(11, "GB2312", {QStringLiteral("中文.com"), QStringLiteral("测试")}, "\xD6\xD0\xCE\xC4.com\r\n\xB2\xE2\xCA\xD4");
        // A broken double-byte character must not swallow the line end after it.
        row(11, "binary", {QString("a") + QChar(0) + u'b', QStringLiteral("\uFFFD\uFFFD"), QString(200000, u'z')},
            QByteArray("a\0b\r\n\xFF\x81\r\n", 9) + QByteArray(200000, 'z'));
        // A file cut inside its last character keeps its last line, the broken bytes shown as such.
        row(11, "unfinished last character", {"a.com", QStringLiteral("b\uFFFD")}, "a.com\r\nb\xD6");
        row(11, "unfinished four-byte character", {QStringLiteral("\uFFFD")}, "\x81\x30\x81");
        for (const QString file : {"", "no/such.txt", "folder", "full.txt"})
            for (int c : file == "full.txt" ? QList<int>{8, 10, 12} : QList<int>{8, 10, 11, 12})
                row(c, "to '" + file + u'\'', {"a.com", "b.com", "c.com"}, "old.com\r\n", file);
    }
    void files()
    {
        QFETCH(int, command);
        QFETCH(QStringList, rows);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, file);
        auto form = command == 11 ? makeForm({"old.com"}, "R") : makeForm(rows, "RRF-TUE", rows.join(u'\n'));
        QPushButton *button = form->commands()[command - 1];
        button->setEnabled(true); // as after a run
        const QStringList before = snapshot(*form);
        const bool imported = command == 11 && file == "list.txt", fails = !file.isEmpty() && file != "list.txt";
        const QString path = file.isEmpty() ? QString() : m_dir->filePath(file);
        FileDialog::setHook([path](bool) { return path; }); // "" cancels
        QVERIFY(!(imported || file == "full.txt") || writeAll(path, bytes));
        QVERIFY(file != "folder" || QDir().mkdir(path));
        const rlimit cap{file == "full.txt" ? 4 : NoCap.rlim_cur, NoCap.rlim_max};
        QVERIFY(setrlimit(RLIMIT_FSIZE, &cap) == 0);
        button->click();
        setrlimit(RLIMIT_FSIZE, &NoCap);

        const QString message = (command == 11 ? QStringLiteral("无法读取文件：") : QStringLiteral("无法写入文件：")) + path + u'\n';
        QVERIFY2(m_shown.size() == int(fails) && (!fails || (m_shown[0].text.startsWith(message) && m_shown[0].text.size() > message.size())),
                 qPrintable(m_shown.value(0).text)); // the file and the system's reason
        QCOMPARE(imported ? snapshot(*form).mid(4).replaceInStrings(QStringLiteral("/等待查询/"), QString()) : snapshot(*form), imported ? rows : before);
        // The file holds what was saved, imported, or (after a save cut short) the older list whole.
        if (file == "list.txt" || file == "full.txt")
            QCOMPARE(readAll(path), bytes);
        // The dialog opens next where a file was last read or written, never where one failed.
        QCOMPARE(FileDialog::lastFolder(), file == "list.txt" ? m_dir->path() : QString());
    }

    void saveThenImportStartsQueryRun()
    {
        FileDialog::setHook([this](bool) { return m_dir->filePath(QStringLiteral("list.txt")); });
        makeForm({"x.com", "y.net", "longname.cn"}, "RTU")->Command10_Click();
        auto form = makeForm({"old1.com", "old2.com"}, "RF", QStringLiteral("old2.com"));
        form->query().end();
        // A run in the querying phase: pause and end work, Timerme(0..9) tick, the free names stay.
        QStringList expected{QStringLiteral("正在进行域名注册查询"), QStringLiteral("old2.com"),
                             QStringLiteral("000010101100") + QString(10, u'1') + QString(10, u'0'),
                             QStringLiteral("10 3 0 1"), "x.com/等待查询/", "y.net/等待查询/", "longname.cn/等待查询/"};
        form->Command11->click();
        QCOMPARE(snapshot(*form), expected);
        QTRY_COMPARE_WITH_TIMEOUT(form->listModel()->countResult(DomainListModel::Result::Free), 3, 10000);
    }

    // A free name goes into the free-names list without the spaces around it; its row keeps them.
    void freeNameTrimmed()
    {
        const QString path = m_dir->filePath(QStringLiteral("list.txt"));
        QVERIFY(writeAll(path, "  a.com \r\n"));
        FileDialog::setHook([path](bool) { return path; });
        auto form = makeForm({}, {});
        form->Command11->click();
        QTRY_COMPARE(form->RichTextBox1->toPlainText(), QStringLiteral("a.com\n"));
        QCOMPARE(form->listModel()->domain(1), QStringLiteral("  a.com "));
    }
};

QTEST_MAIN(TestListFiles)
#include "tst_listfiles.moc"
