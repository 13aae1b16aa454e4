// The list files of the main window: saving and importing the generated list, the free
// names and the rest list, byte for byte, through the file dialog's test hook.
#include "FakeWhoisServer.h"
#include "config/ServerConfig.h"
#include "platform/MessageBox.h"
#include "platform/WindowTimer.h"
#include "whois/QueryChannel.h"
#include "window/DomainListModel.h"
#include "window/FileDialog.h"
#include "window/Form1.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

using Result = DomainListModel::Result;
using State = DomainListModel::State;

// Every address of the window on loopback.
ServerConfig loopbackConfig(quint16 port)
{
    ServerConfig c;
    c.internic = c.cnnic = c.la = c.me = c.iana = c.educn = c.name = c.biz = QStringLiteral("127.0.0.1");
    c.rdapInfo = QStringLiteral("http://127.0.0.1:%1/").arg(port);
    c.whoisPort = port;
    c.updateBase = QStringLiteral("http://127.0.0.1:%1").arg(port);
    return c;
}

// "中文" in GB2312.
const QByteArray ZhongwenGb = QByteArray("\xD6\xD0\xCE\xC4");
const QString Zhongwen = QStringLiteral("中文");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList domains(const Form1 &form)
{
    QStringList out;
    for (int k = 1; k <= form.listModel()->size(); ++k)
        out << form.listModel()->domain(k);
    return out;
}

QList<int> runningQueryTimers(const Form1 &form)
{
    QList<int> on;
    for (int i = 0; i < Form1::ChannelCount; ++i)
        if (form.Timerme(i).isEnabled())
            on << i;
    return on;
}

QList<int> range(int n)
{
    QList<int> r;
    for (int i = 0; i < n; ++i)
        r << i;
    return r;
}

// Everything a list-file command could touch.
struct Snapshot
{
    QList<bool> buttons;
    QString status;
    QStringList rows; // domain | state | result
    int hostii, hosttt, runflag, lastitem;
    QString threads, freeNames;
    bool generating;
    QList<int> queryTimers, timeoutTimers;

    static Snapshot of(const Form1 &form)
    {
        Snapshot s;
        for (QPushButton *b : form.commands())
            s.buttons << b->isEnabled();
        s.status = form.SkinLabel14->text();
        const DomainListModel *m = form.listModel();
        for (int k = 1; k <= m->size(); ++k)
            s.rows << m->domain(k) + u'|' + DomainListModel::stateText(m->state(k)) + u'|'
                          + DomainListModel::resultText(m->result(k));
        s.hostii = form.hostii;
        s.hosttt = form.hosttt;
        s.runflag = form.runflag;
        s.lastitem = form.lastitem;
        s.threads = form.threads;
        s.freeNames = form.RichTextBox1->toPlainText();
        s.generating = form.Timersc->isEnabled();
        s.queryTimers = runningQueryTimers(form);
        for (int i = 0; i < Form1::ChannelCount; ++i)
            if (form.Timer1(i).isEnabled())
                s.timeoutTimers << i;
        return s;
    }

    QString diff(const Snapshot &o) const
    {
        QStringList d;
        if (buttons != o.buttons) d << "buttons";
        if (status != o.status) d << "status";
        if (rows != o.rows) d << "rows";
        if (hostii != o.hostii) d << "hostii";
        if (hosttt != o.hosttt) d << "hosttt";
        if (runflag != o.runflag) d << "runflag";
        if (lastitem != o.lastitem) d << "lastitem";
        if (threads != o.threads) d << "threads";
        if (freeNames != o.freeNames) d << "free names";
        if (generating != o.generating) d << "Timersc";
        if (queryTimers != o.queryTimers) d << "Timerme";
        if (timeoutTimers != o.timeoutTimers) d << "Timer1";
        return d.join(QStringLiteral(", "));
    }
};

// Lowers the largest file this process may write, so a save fails part-way; restored when
// it goes out of scope.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG instead
        rlimit lower = m_old;
        lower.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace

class TestListFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void saveGeneratedList_data();
    void saveGeneratedList();
    void importLines_data();
    void importLines();
    void importBinaryFile();
    void importChangesOnlyRunState_data();
    void importChangesOnlyRunState();
    void importShowsLastRow();
    void saveThenImportRoundTrip();
    void freeNamesFile_data();
    void freeNamesFile();
    void clearFreeNamesKeepsRows();
    void restList_data();
    void restList();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void unwritablePath_data();
    void unwritablePath();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void unreadableFile_data();
    void unreadableFile();
    void importStartsQueryRun();
    void importDropsEarlierQueries();

private:
    std::unique_ptr<Form1> makeForm();
    // The next file dialog answers `path` ("" for cancel).
    void answerDialog(const QString &path);
    QString file(const QString &name) const { return m_dir->filePath(name); }
    void clickCommand(Form1 &form, int number);

    std::unique_ptr<FakeWhoisServer> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<MessageBox::Shown> m_shown;
    QList<bool> m_dialogs; // true: save form, false: open form
};

void TestListFiles::initTestCase()
{
    m_server = std::make_unique<FakeWhoisServer>();
    QVERIFY(m_server->listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    QCOMPARE(FileDialog::filter(), QStringLiteral("文本文档(*.txt);;所有文件(*.*)"));
}

void TestListFiles::init()
{
    m_server->setScript(FakeWhoisServer::neverReply());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_shown.clear();
    m_dialogs.clear();
    MessageBox::recordAndAnswer(&m_shown);
    answerDialog(QString());
}

void TestListFiles::cleanup()
{
    MessageBox::setHook(nullptr);
    FileDialog::setHook(nullptr);
    m_dir.reset();
}

std::unique_ptr<Form1> TestListFiles::makeForm()
{
    return std::make_unique<Form1>(loopbackConfig(m_server->port()));
}

void TestListFiles::answerDialog(const QString &path)
{
    FileDialog::setHook([this, path](bool save) {
        m_dialogs << save;
        return path;
    });
}

void TestListFiles::clickCommand(Form1 &form, int number)
{
    switch (number) {
    case 8: form.Command8_Click(); break;
    case 10: form.Command10_Click(); break;
    case 11: form.Command11_Click(); break;
    case 12: form.Command12_Click(); break;
    default: QFAIL("not a list-file command");
    }
}

void TestListFiles::saveGeneratedList_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("three domains") << QStringList{"a.com", "b.net", "c.cn"} << QByteArray("a.com\r\nb.net\r\nc.cn\r\n");
    QTest::newRow("empty list") << QStringList{} << QByteArray("\r\n");
    QTest::newRow("empty domains at the start") << QStringList{"", "", "a.com", "", "b.com"}
                                                << QByteArray("a.com\r\n\r\nb.com\r\n");
    QTest::newRow("only empty domains") << QStringList{"", ""} << QByteArray("\r\n");
    QTest::newRow("trailing empty domain") << QStringList{"a.com", ""} << QByteArray("a.com\r\n\r\n");
    QTest::newRow("spaces kept") << QStringList{" a.com ", "b .com"} << QByteArray(" a.com \r\nb .com\r\n");
    QTest::newRow("Chinese as GB2312") << QStringList{Zhongwen + ".com"} << ZhongwenGb + ".com\r\n";
}

void TestListFiles::saveGeneratedList()
{
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, bytes);
    auto form = makeForm();
    form->addRows(rows);
    const QString path = file(QStringLiteral("list.txt"));
    answerDialog(path);

    form->Command10_Click();

    QCOMPARE(m_dialogs, QList<bool>{true});
    QVERIFY(m_shown.isEmpty());
    QCOMPARE(readAll(path), bytes);
    // Saving leaves the list as it was.
    QCOMPARE(domains(*form), rows);
}

void TestListFiles::importLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("no final line end") << QByteArray("x.com\r\ny.com") << QStringList{"x.com", "y.com"};
    QTest::newRow("three lines") << QByteArray("a.com\r\nb.net\r\nc.cn\r\n") << QStringList{"a.com", "b.net", "c.cn"};
    QTest::newRow("only CR LF: one empty row") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("0 bytes") << QByteArray() << QStringList{};
    QTest::newRow("lone CR ends a line") << QByteArray("a.com\rb.com\r\n") << QStringList{"a.com", "b.com"};
    QTest::newRow("final lone CR") << QByteArray("a.com\r") << QStringList{"a.com"};
    QTest::newRow("lone LF stays in the line") << QByteArray("a.com\nb.com\r\n") << QStringList{"a.com\nb.com"};
    QTest::newRow("final lone LF") << QByteArray("a.com\n") << QStringList{"a.com\n"};
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("spaces and blank lines kept") << QByteArray(" a.com \r\n\r\n\tb.com\r\n\r\n")
                                                 << QStringList{" a.com ", "", "\tb.com", ""};
    QTest::newRow("case kept") << QByteArray("Ab.COM\r\n") << QStringList{"Ab.COM"};
    QTest::newRow("GB2312 text") << QByteArray(ZhongwenGb + ".com\r\n" + "\xB2\xE2\xCA\xD4\r\n")
                                 << QStringList{Zhongwen + ".com", QStringLiteral("测试")};
}

void TestListFiles::importLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, rows);
    auto form = makeForm();
    form->addRows({QStringLiteral("old1.com"), QStringLiteral("old2.com"), QStringLiteral("old3.com")});
    const QString path = file(QStringLiteral("in.txt"));
    QVERIFY(writeAll(path, bytes));
    answerDialog(path);

    form->Command11_Click();

    QCOMPARE(m_dialogs, QList<bool>{false});
    QVERIFY(m_shown.isEmpty());
    QCOMPARE(domains(*form), rows);
    QCOMPARE(form->hostii, rows.size());
    QCOMPARE(form->lastitem, int(rows.size()));
    form->flushView();
    const DomainListModel *m = form->listModel();
    QCOMPARE(m->rowCount(), rows.size());
    for (int k = 1; k <= rows.size(); ++k) {
        QCOMPARE(m->data(m->index(k - 1, DomainListModel::IdColumn)).toString(), QString::number(k));
        QCOMPARE(m->data(m->index(k - 1, DomainListModel::DomainColumn)).toString(), rows.at(k - 1));
        QCOMPARE(m->data(m->index(k - 1, DomainListModel::StateColumn)).toString(), QStringLiteral("等待查询"));
        QCOMPARE(m->data(m->index(k - 1, DomainListModel::ResultColumn)).toString(), QString());
    }
    // The query run starts even on an empty list.
    QCOMPARE(runningQueryTimers(*form), range(10));
}

void TestListFiles::importBinaryFile()
{
    auto form = makeForm();
    QByteArray bytes("a\0b\r\n", 5);
    bytes += QByteArray("\xFF\xFE\x80\x00\x01", 5);
    bytes += QByteArray(300000, 'z'); // one long line, no end
    const QString path = file(QStringLiteral("binary.bin"));
    QVERIFY(writeAll(path, bytes));
    answerDialog(path);

    form->Command11_Click();

    QVERIFY(m_shown.isEmpty());
    QCOMPARE(form->hostii, 2);
    QCOMPARE(form->listModel()->domain(1), QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b")));
    QVERIFY(form->listModel()->domain(2).endsWith(QString(300000, u'z')));
    form->resetChannels();
}

void TestListFiles::importChangesOnlyRunState_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("combo");
    QTest::newRow("fresh window, 10 channels") << "fresh" << "10";
    QTest::newRow("after an ended run, 3 channels") << "ended" << "3";
    QTest::newRow("while an import is queried, 20 channels") << "querying" << "20";
}

void TestListFiles::importChangesOnlyRunState()
{
    QFETCH(QString, before);
    QFETCH(QString, combo);
    auto form = makeForm();
    const QString path = file(QStringLiteral("in.txt"));
    QVERIFY(writeAll(path, "x.com\r\ny.com"));
    if (before == QLatin1String("ended")) {
        form->domaingz->setText(QStringLiteral("[p,q,r]"));
        form->Command1_Click();
        form->hosttt = 2;
        form->listModel()->setResult(1, Result::Free);
        form->RichTextBox1->setPlainText(QStringLiteral("p.com\n"));
        form->Command7_Click();
    } else if (before == QLatin1String("querying")) {
        answerDialog(path);
        form->Command11_Click();
        form->Command5_Click(); // paused: runflag 0
        form->hosttt = 1;
    }
    form->Combo1->setCurrentText(combo);
    Snapshot expected = Snapshot::of(*form);
    answerDialog(path);

    form->Command11_Click();

    QVERIFY(m_shown.isEmpty());
    // What an import changes, and nothing else.
    expected.buttons[4] = true; // Command5
    expected.buttons[6] = true; // Command7
    expected.rows = QStringList{QStringLiteral("x.com|等待查询|"), QStringLiteral("y.com|等待查询|")};
    expected.hostii = 2;
    expected.lastitem = 2;
    expected.hosttt = 0;
    expected.runflag = 1;
    expected.threads = combo;
    expected.queryTimers = range(combo.toInt());
    expected.timeoutTimers.clear();
    const Snapshot now = Snapshot::of(*form);
    QVERIFY2(now.diff(expected).isEmpty(), qPrintable(now.diff(expected)));
    for (int k = 0; k < combo.toInt(); ++k)
        QCOMPARE(form->Timerme(k).interval(), 100);
    // No channel still holds a row of the list that was replaced.
    for (int i = 0; i < Form1::ChannelCount; ++i)
        QCOMPARE(form->Winsockme(i).chanrow, 0);
}

void TestListFiles::importShowsLastRow()
{
    auto form = makeForm();
    form->resize(900, 600);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QByteArray bytes;
    for (int i = 1; i <= 5000; ++i)
        bytes += "row" + QByteArray::number(i) + ".com\r\n";
    const QString path = file(QStringLiteral("in.txt"));
    QVERIFY(writeAll(path, bytes));
    answerDialog(path);
    form->Command11_Click();
    form->resetChannels(); // keep the query ticks out of this check
    form->flushView();
    QCOMPARE(form->listModel()->rowCount(), 5000);
    const QModelIndex last = form->listModel()->index(4999, DomainListModel::DomainColumn);
    const QRect shown = form->domainlist->visualRect(last);
    QVERIFY(form->domainlist->viewport()->rect().intersects(shown));
}

void TestListFiles::saveThenImportRoundTrip()
{
    auto form = makeForm();
    const QStringList rows{"a.com", " spaced.com ", "", Zhongwen + ".com", "x\ny.com", "Tail.CN", ""};
    form->addRows(rows);
    for (int k = 1; k <= rows.size(); ++k)
        form->listModel()->setResult(k, k % 2 ? Result::Registered : Result::Timeout);
    const QString path = file(QStringLiteral("roundtrip.txt"));
    answerDialog(path);
    form->Command10_Click();
    QVERIFY(readAll(path).contains(ZhongwenGb + ".com\r\n"));

    auto other = makeForm();
    other->addRows({QStringLiteral("gone.com")});
    answerDialog(path);
    other->Command11_Click();
    QVERIFY(m_shown.isEmpty());
    QCOMPARE(domains(*other), rows);
    other->flushView();
    for (int k = 1; k <= rows.size(); ++k) {
        const DomainListModel *m = other->listModel();
        QCOMPARE(m->data(m->index(k - 1, DomainListModel::IdColumn)).toString(), QString::number(k));
        QCOMPARE(m->result(k), Result::None);
        QCOMPARE(m->state(k), State::Waiting);
    }
}

void TestListFiles::freeNamesFile_data()
{
    QTest::addColumn<QStringList>("free"); // classified free, in this order
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("two names") << QStringList{"freeone.cn", "b.com"} << QByteArray("freeone.cn\r\nb.com\r\n\r\n");
    QTest::newRow("none") << QStringList{} << QByteArray("\r\n");
    QTest::newRow("Chinese") << QStringList{Zhongwen + ".com"} << ZhongwenGb + ".com\r\n\r\n";
}

void TestListFiles::freeNamesFile()
{
    QFETCH(QStringList, free);
    QFETCH(QByteArray, bytes);
    auto form = makeForm();
    // As the query run appends them (row 0: no row of the list is touched).
    for (const QString &d : free)
        form->ynwhois(d, QStringLiteral("No match for \"%1\".").arg(d.toUpper()), 0, 0);
    const QString path = file(QStringLiteral("free.txt"));
    answerDialog(path);

    form->Command8_Click();

    QCOMPARE(m_dialogs, QList<bool>{true});
    QVERIFY(m_shown.isEmpty());
    QCOMPARE(readAll(path), bytes);

    form->Command9_Click();
    QVERIFY(form->RichTextBox1->toPlainText().isEmpty());
    answerDialog(path);
    form->Command8_Click();
    QCOMPARE(readAll(path), QByteArray("\r\n"));
}

void TestListFiles::clearFreeNamesKeepsRows()
{
    auto form = makeForm();
    form->addRows({QStringLiteral("a.com"), QStringLiteral("b.com")});
    form->listModel()->setResult(1, Result::Free);
    form->listModel()->setResult(2, Result::Registered);
    form->RichTextBox1->setPlainText(QStringLiteral("a.com\n"));
    Snapshot expected = Snapshot::of(*form);
    form->Command9_Click();
    expected.freeNames.clear();
    const Snapshot now = Snapshot::of(*form);
    QVERIFY2(now.diff(expected).isEmpty(), qPrintable(now.diff(expected)));
}

void TestListFiles::restList_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("results"); // DomainListModel::Result values
    QTest::addColumn<QByteArray>("bytes");
    const int reg = int(Result::Registered), none = int(Result::None), free = int(Result::Free),
              timeout = int(Result::Timeout), undecidable = int(Result::Undecidable), ended = int(Result::UserEnded);
    QTest::newRow("registered, empty, free, time-out") << QStringList{"a.com", "b.com", "c.com", "d.com"}
                                                       << QList<int>{reg, none, free, timeout}
                                                       << QByteArray("b.com\r\nc.com\r\nd.com\r\n");
    QTest::newRow("every result but registered kept") << QStringList{"u.com", "e.com", "r.com"}
                                                      << QList<int>{undecidable, ended, reg}
                                                      << QByteArray("u.com\r\ne.com\r\n");
    QTest::newRow("all registered") << QStringList{"a.com", "b.com"} << QList<int>{reg, reg} << QByteArray("\r\n");
    QTest::newRow("no rows") << QStringList{} << QList<int>{} << QByteArray("\r\n");
    // "没有被注册" shares "被注册" with "已经被注册"; a domain spelled like the result is a
    // domain, not a result.
    QTest::newRow("look-alikes") << QStringList{"free.com", "已经被注册", "taken.com"} << QList<int>{free, none, reg}
                                 << QByteArray("free.com\r\n\xD2\xD1\xBE\xAD\xB1\xBB\xD7\xA2\xB2\xE1\r\n");
    QTest::newRow("empty kept domain at the start") << QStringList{"", "a.com", "b.com"} << QList<int>{none, reg, none}
                                                    << QByteArray("b.com\r\n");
}

void TestListFiles::restList()
{
    QFETCH(QStringList, rows);
    QFETCH(QList<int>, results);
    QFETCH(QByteArray, bytes);
    auto form = makeForm();
    form->addRows(rows);
    for (int k = 1; k <= rows.size(); ++k)
        form->listModel()->setResult(k, Result(results.at(k - 1)));
    const Snapshot before = Snapshot::of(*form);
    const QString path = file(QStringLiteral("rest.txt"));
    answerDialog(path);

    form->Command12_Click();

    QCOMPARE(m_dialogs, QList<bool>{true});
    QVERIFY(m_shown.isEmpty());
    QCOMPARE(readAll(path), bytes);
    QVERIFY(Snapshot::of(*form).diff(before).isEmpty());
}

void TestListFiles::cancelChangesNothing_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("save");
    QTest::newRow("Command8") << 8 << true;
    QTest::newRow("Command10") << 10 << true;
    QTest::newRow("Command11") << 11 << false;
    QTest::newRow("Command12") << 12 << true;
}

void TestListFiles::cancelChangesNothing()
{
    QFETCH(int, command);
    QFETCH(bool, save);
    auto form = makeForm();
    form->domaingz->setText(QStringLiteral("[a,b,c]"));
    form->Command1_Click();
    form->listModel()->setResult(2, Result::Registered);
    form->RichTextBox1->setPlainText(QStringLiteral("a.com\n"));
    form->Command7_Click();
    const Snapshot before = Snapshot::of(*form);
    answerDialog(QString());

    clickCommand(*form, command);

    QCOMPARE(m_dialogs, QList<bool>{save});
    QVERIFY(m_shown.isEmpty());
    const Snapshot now = Snapshot::of(*form);
    QVERIFY2(now.diff(before).isEmpty(), qPrintable(now.diff(before)));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestListFiles::unwritablePath_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("kind");
    for (int c : {8, 10, 12}) {
        QTest::addRow("Command%d, missing folder", c) << c << "missing";
        QTest::addRow("Command%d, path is a folder", c) << c << "folder";
    }
}

void TestListFiles::unwritablePath()
{
    QFETCH(int, command);
    QFETCH(QString, kind);
    auto form = makeForm();
    form->addRows({QStringLiteral("a.com"), QStringLiteral("b.com")});
    form->RichTextBox1->setPlainText(QStringLiteral("a.com\n"));
    QString path;
    if (kind == QLatin1String("missing")) {
        path = file(QStringLiteral("no-such-folder/list.txt"));
    } else {
        path = file(QStringLiteral("folder"));
        QVERIFY(QDir().mkdir(path));
    }
    const Snapshot before = Snapshot::of(*form);
    answerDialog(path);

    clickCommand(*form, command);

    QCOMPARE(m_shown.size(), 1);
    const QString prefix = QStringLiteral("无法写入文件：") + path;
    QVERIFY2(m_shown.first().text.startsWith(prefix), qPrintable(m_shown.first().text));
    QVERIFY2(m_shown.first().text.size() > prefix.size() + 1, "the reason is missing");
    const Snapshot now = Snapshot::of(*form);
    QVERIFY2(now.diff(before).isEmpty(), qPrintable(now.diff(before)));
    QVERIFY(!QFileInfo(file(QStringLiteral("no-such-folder"))).exists());
    if (kind == QLatin1String("folder")) {
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }
}

void TestListFiles::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("Command8") << 8;
    QTest::newRow("Command10") << 10;
    QTest::newRow("Command12") << 12;
}

void TestListFiles::failedSaveKeepsOldFile()
{
    QFETCH(int, command);
    auto form = makeForm();
    QStringList rows;
    for (int i = 0; i < 20000; ++i)
        rows << QStringLiteral("ni%1z.com").arg(i, 7, 10, QLatin1Char('0'));
    form->addRows(rows);
    form->RichTextBox1->setPlainText(rows.join(QLatin1Char('\n')));
    const QString path = file(QStringLiteral("list.txt"));
    const QByteArray old("old.com\r\nkept.com\r\n");
    QVERIFY(writeAll(path, old));
    const Snapshot before = Snapshot::of(*form);
    answerDialog(path);
    {
        // The new file (about 280 kB) cannot be written in full.
        FileSizeLimit limit(64 * 1024);
        QVERIFY(limit.ok());
        clickCommand(*form, command);
    }
    QCOMPARE(m_shown.size(), 1);
    QVERIFY2(m_shown.first().text.startsWith(QStringLiteral("无法写入文件：") + path), qPrintable(m_shown.first().text));
    QCOMPARE(readAll(path), old);
    // No half-written temporary file is left beside it.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("list.txt")});
    const Snapshot now = Snapshot::of(*form);
    QVERIFY2(now.diff(before).isEmpty(), qPrintable(now.diff(before)));

    // Without the limit the same save goes through.
    m_shown.clear();
    answerDialog(path);
    clickCommand(*form, command);
    QVERIFY(m_shown.isEmpty());
    QVERIFY(readAll(path).startsWith("ni0000000z.com\r\nni0000001z.com\r\n"));
}

void TestListFiles::unreadableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("a folder") << "folder";
}

void TestListFiles::unreadableFile()
{
    QFETCH(QString, kind);
    auto form = makeForm();
    form->domaingz->setText(QStringLiteral("[a,b,c]"));
    form->Command1_Click();
    form->listModel()->setResult(1, Result::Registered);
    form->Command7_Click();
    const Snapshot before = Snapshot::of(*form);
    const QString path = file(QStringLiteral("in.txt"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));
    answerDialog(path);

    form->Command11_Click();

    QCOMPARE(m_shown.size(), 1);
    const QString prefix = QStringLiteral("无法读取文件：") + path;
    QVERIFY2(m_shown.first().text.startsWith(prefix), qPrintable(m_shown.first().text));
    QVERIFY2(m_shown.first().text.size() > prefix.size() + 1, "the reason is missing");
    const Snapshot now = Snapshot::of(*form);
    QVERIFY2(now.diff(before).isEmpty(), qPrintable(now.diff(before)));
}

void TestListFiles::importStartsQueryRun()
{
    m_server->setScript(FakeWhoisServer::replyAtOnce(
        "No match for domain.\r\n>>> Last update of whois database: 2024-01-01T00:00:00Z <<<\r\n"));
    auto form = makeForm();
    form->Combo1->setCurrentText(QStringLiteral("2"));
    const QString path = file(QStringLiteral("in.txt"));
    QVERIFY(writeAll(path, "x.com\r\ny.net\r\nlongname.cn"));
    answerDialog(path);
    const int connectionsBefore = m_server->connectionCount();

    form->Command11_Click();
    QCOMPARE(runningQueryTimers(*form), range(2));

    const DomainListModel *m = form->listModel();
    QTRY_COMPARE_WITH_TIMEOUT(m->countState(State::Finished), 3, 10000);
    for (int k = 1; k <= 3; ++k)
        QCOMPARE(m->result(k), Result::Free);
    QStringList lines;
    for (const QByteArray &b : m_server->received().mid(connectionsBefore))
        lines << QString::fromLatin1(b);
    lines.sort();
    QCOMPARE(lines, (QStringList{"longname.cn\r\n", "x.com\r\n", "y.net\r\n"}));
    const QString free = form->RichTextBox1->toPlainText();
    for (const char *d : {"x.com", "y.net", "longname.cn"})
        QVERIFY(free.contains(QLatin1String(d)));
    QTRY_COMPARE_WITH_TIMEOUT(form->SkinLabel14->text(), QStringLiteral("本次域名批量查询已经正常结束"), 5000);
}

void TestListFiles::importDropsEarlierQueries()
{
    // The first list's queries hang; the second import must not see their rows or answers.
    auto form = makeForm();
    form->Combo1->setCurrentText(QStringLiteral("3"));
    const QString first = file(QStringLiteral("first.txt"));
    const QString second = file(QStringLiteral("second.txt"));
    QVERIFY(writeAll(first, "a1.com\r\na2.com\r\na3.com\r\n"));
    QVERIFY(writeAll(second, "b1.com\r\nb2.com\r\n"));
    const int connectionsBefore = m_server->connectionCount();
    answerDialog(first);
    form->Command11_Click();
    QTRY_COMPARE_WITH_TIMEOUT(form->listModel()->countState(State::Querying), 3, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount() - connectionsBefore, 3, 5000);

    m_server->setScript(FakeWhoisServer::replyAtOnce(
        "No match for domain.\r\n>>> Last update of whois database: 2024-01-01T00:00:00Z <<<\r\n"));
    answerDialog(second);
    form->Command11_Click();
    QCOMPARE(domains(*form), (QStringList{"b1.com", "b2.com"}));
    QCOMPARE(form->listModel()->countState(State::Waiting), 2);
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        QCOMPARE(form->Winsockme(i).chanrow, 0);
        QVERIFY(!form->Timer1(i).isEnabled());
    }

    const DomainListModel *m = form->listModel();
    QTRY_COMPARE_WITH_TIMEOUT(m->countState(State::Finished), 2, 10000);
    QCOMPARE(m->result(1), Result::Free);
    QCOMPARE(m->result(2), Result::Free);
    QVERIFY(!form->RichTextBox1->toPlainText().contains(QStringLiteral("a1.com")));
}

QTEST_MAIN(TestListFiles)
#include "tst_listfiles.moc"
