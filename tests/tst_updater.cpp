#include "FakeHttpServer.h"
#include "manifest/Manifest.h"
#include "platform/MessageBox.h"
#include "platform/ProcessLauncher.h"
#include "platform/ProgramFolder.h"
#include "platform/WindowTimer.h"
#include "updater/DL.h"
#include "updater/Form1.h"
#include "updater/ProgressText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Response = FakeHttpServer::Response;
using Perms = QFileDevice::Permissions;

namespace {

const QString ManifestPath = QStringLiteral("/update/update.html");
const QString UpToDateText = QStringLiteral("当前程序已经是最新版本，无需升级");
const QString UnavailableText = QStringLiteral("无法获取升级信息，请稍后再试");
const QString CompletionText = QStringLiteral("程序已经升级为最新版本，是否开始运行本程序？");
const QString UnsafeText = QStringLiteral("升级信息中含有不安全的文件名：");

enum class Outcome { UpToDate, Newer, Unavailable };

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes, Perms perms = {})
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    return perms == Perms() || QFile::setPermissions(path, perms);
}

Response piecewise(const QByteArray &body, int pieces, int delayMs)
{
    Response r;
    r.body = body;
    r.pieceSize = qMax<int>(1, int(body.size() / pieces));
    r.pieceDelayMs = delayMs;
    return r;
}

} // namespace

Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(Manifest::UpdateCheck)
Q_DECLARE_METATYPE(MessageBox::Answer)

class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Version rules and names, without a window.
    void installedVersion_data();
    void installedVersion();
    void compare_data();
    void compare();
    void fileNames_data();
    void fileNames();

    // Progress text and its handler.
    void percent_data();
    void percent();
    void progressHandler_data();
    void progressHandler();
    void repeatedHundredMovesOneFile();

    // The window.
    void windowLayout();
    void skinLoadedFromProgramFolder();
    void checksOnceAfterFirstShow();
    void firstCheck_data();
    void firstCheck();
    void label1ShowsFieldUnchanged();
    void twoFieldManifest_data();
    void twoFieldManifest();
    void unsafeNamesRefused_data();
    void unsafeNamesRefused();
    void trailingLineBreakNotInName();
    void threeFilesInManifestOrder();
    void failedDownloadKeepsOldFile_data();
    void failedDownloadKeepsOldFile();
    void permissionsKeptAndProgramsExecutable();
    void neverHundredBeforeSaved();
    void wholeUpdateEndToEnd();

private:
    std::unique_ptr<Updater::Form1> makeForm();
    QString path(const QString &name) const { return m_dir->path() + QLatin1Char('/') + name; }
    QStringList folderEntries() const;
    void runDownload(Updater::Form1 &form);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeHttpServer> m_server;
    QList<MessageBox::Shown> m_boxes;
    MessageBox::Answer m_answer = MessageBox::Answer::Yes;
    QStringList m_started;
};

void TestUpdater::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    ProgramFolder::setOverride(m_dir->path());
    m_server = std::make_unique<FakeHttpServer>();
    QVERIFY(m_server->listen());
    m_boxes.clear();
    m_answer = MessageBox::Answer::Yes;
    MessageBox::setHook([this](const MessageBox::Shown &shown) {
        m_boxes.append(shown);
        return shown.question ? m_answer : MessageBox::Answer::Ok;
    });
    m_started.clear();
    ProcessLauncher::setHook([this](const QString &program) {
        m_started.append(program);
        return true;
    });
}

void TestUpdater::cleanup()
{
    MessageBox::setHook({});
    ProcessLauncher::setHook({});
    ProgramFolder::setOverride(QString());
    m_server.reset();
    m_dir.reset();
}

std::unique_ptr<Updater::Form1> TestUpdater::makeForm()
{
    ServerConfig config;
    config.updateBase = m_server->baseUrl();
    auto form = std::make_unique<Updater::Form1>(config);
    form->setFetchTimeout(3000);
    form->DL->setIdleTimeout(3000);
    return form;
}

QStringList TestUpdater::folderEntries() const
{
    QStringList names = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

// Ticks the run by hand until the completion question or a stop: each file starts on a
// Timer1 tick and moves on once its "100%" switched Timer2 on.
void TestUpdater::runDownload(Updater::Form1 &form)
{
    for (int guard = 0; guard < 20 && !form.hasEnded() && !form.hasStopped(); ++guard) {
        form.Timer1_Timer();
        if (form.hasEnded())
            break;
        QTRY_VERIFY_WITH_TIMEOUT(form.Timer2->isEnabled() || form.hasStopped(), 5000);
        if (form.hasStopped())
            break;
        QVERIFY(!form.DL->isRunning());
        form.Timer2_Timer();
    }
}

void TestUpdater::installedVersion_data()
{
    QTest::addColumn<QString>("dat");
    QTest::addColumn<int>("version");

    QTest::newRow("build") << "081217" << 81217;
    QTest::newRow("with line break") << "081217\r\n" << 81217;
    QTest::newRow("fraction") << "81217.9" << 81217;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("not a number") << "version one" << 0;
    QTest::newRow("two lines") << "081217\r\n081218\r\n" << 0;
}

void TestUpdater::installedVersion()
{
    QFETCH(QString, dat);
    QFETCH(int, version);
    QCOMPARE(Manifest::installedVersion(dat), version);
}

void TestUpdater::compare_data()
{
    QTest::addColumn<QString>("manifest");
    QTest::addColumn<int>("installed");
    QTest::addColumn<Manifest::UpdateCheck>("expected");

    using C = Manifest::UpdateCheck;
    QTest::newRow("equal") << "081217|v1.2" << 81217 << C::UpToDate;
    QTest::newRow("older") << "081216|v1.1|Quorvex" << 81217 << C::UpToDate;
    QTest::newRow("newer") << "081218|v1.3|Quorvex" << 81217 << C::Newer;
    QTest::newRow("81217.9 equals 81217") << "81217.9|v" << 81217 << C::UpToDate;
    QTest::newRow("name not needed") << "081218|v1.3|update" << 81217 << C::Newer;
    QTest::newRow("anything beats a missing update.dat") << "000001|v" << 0 << C::Newer;
    QTest::newRow("empty manifest") << "" << 81217 << C::Unavailable;
    QTest::newRow("one field") << "081218" << 81217 << C::Unavailable;
    QTest::newRow("version not a number") << "new|v1.3|Quorvex" << 81217 << C::Unavailable;
    QTest::newRow("error page") << "<html>Not Found</html>" << 81217 << C::Unavailable;
}

void TestUpdater::compare()
{
    QFETCH(QString, manifest);
    QFETCH(int, installed);
    QFETCH(Manifest::UpdateCheck, expected);
    QCOMPARE(Manifest::compare(Manifest::split(manifest), installed), expected);
}

void TestUpdater::fileNames_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");

    QTest::newRow("plain") << "Quorvex" << "Quorvex" << true;
    QTest::newRow("crlf at the end") << "Quorvex\r\n" << "Quorvex" << true;
    QTest::newRow("lf at the end") << "update.dat\n" << "update.dat" << true;
    QTest::newRow("chinese") << "说明.txt" << "说明.txt" << true;
    QTest::newRow("spaces kept") << " a b " << " a b " << true;
    QTest::newRow("dot inside") << "a..b" << "a..b" << true;
    QTest::newRow("empty") << "" << "" << false;
    QTest::newRow("only a line break") << "\r\n" << "" << false;
    QTest::newRow("parent") << ".." << ".." << false;
    QTest::newRow("current") << "." << "." << false;
    QTest::newRow("hidden") << ".bashrc" << ".bashrc" << false;
    QTest::newRow("climbs out") << "../evil" << "../evil" << false;
    QTest::newRow("slash") << "sub/file" << "sub/file" << false;
    QTest::newRow("absolute") << "/etc/passwd" << "/etc/passwd" << false;
    QTest::newRow("backslash") << "..\\evil" << "..\\evil" << false;
    QTest::newRow("tab") << "a\tb" << "a\tb" << false;
    QTest::newRow("line break inside") << "a\r\nb" << "a\r\nb" << false;
    QTest::newRow("nul") << QString("a") + QChar(0) + "b" << QString("a") + QChar(0) + "b" << false;
    QTest::newRow("c1 control") << QString("a") + QChar(0x85) << QString("a") + QChar(0x85) << false;
}

void TestUpdater::fileNames()
{
    QFETCH(QString, field);
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(Manifest::fileName(field), name);
    QCOMPARE(Manifest::isSafeFileName(name), safe);
}

void TestUpdater::percent_data()
{
    QTest::addColumn<float>("fraction");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0.0f << "0%";
    QTest::newRow("0.4") << 0.4f << "40%";
    QTest::newRow("0.5") << 0.5f << "50%";
    QTest::newRow("0.125 half up") << 0.125f << "13%";
    QTest::newRow("0.005 half up") << 0.005f << "1%";
    QTest::newRow("0.0049") << 0.0049f << "0%";
    QTest::newRow("0.994") << 0.994f << "99%";
    QTest::newRow("0.9949") << 0.9949f << "99%";
    QTest::newRow("0.995") << 0.995f << "100%";
    QTest::newRow("0.996") << 0.996f << "100%";
    QTest::newRow("1") << 1.0f << "100%";
    QTest::newRow("1.004") << 1.004f << "100%";
    QTest::newRow("1.005") << 1.005f << "101%";
    QTest::newRow("12.5") << 12.5f << "1250%";
}

void TestUpdater::percent()
{
    QFETCH(float, fraction);
    QFETCH(QString, text);
    QCOMPARE(ProgressText::percent(fraction), text);
}

void TestUpdater::progressHandler_data()
{
    QTest::addColumn<float>("fraction");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("timer2");

    QTest::newRow("0") << 0.0f << QStringLiteral("已经完成：0%") << false;
    QTest::newRow("0.5") << 0.5f << QStringLiteral("已经完成：50%") << false;
    QTest::newRow("0.994 (largest before saved)") << 0.994f << QStringLiteral("已经完成：99%") << false;
    QTest::newRow("0.996") << 0.996f << QStringLiteral("已经完成：100%") << true;
    QTest::newRow("1") << 1.0f << QStringLiteral("已经完成：100%") << true;
    QTest::newRow("1.01 is not 100%") << 1.01f << QStringLiteral("已经完成：101%") << false;
}

void TestUpdater::progressHandler()
{
    QFETCH(float, fraction);
    QFETCH(QString, caption);
    QFETCH(bool, timer2);

    auto form = makeForm();
    form->DL_Progress(fraction);
    QCOMPARE(form->lblProg->text(), caption);
    QCOMPARE(form->Timer2->isEnabled(), timer2);
}

void TestUpdater::repeatedHundredMovesOneFile()
{
    auto form = makeForm();
    form->updinfo = Manifest::split(QStringLiteral("081218|v|a|b|c"));
    form->DL_Progress(0.996f);
    form->DL_Progress(1.0f);
    form->DL_Progress(1.0f);
    QVERIFY(form->Timer2->isEnabled());
    QCOMPARE(form->fileidx, qint16(2));
    form->Timer2_Timer();
    QCOMPARE(form->fileidx, qint16(3));
    QVERIFY(form->Timer1->isEnabled());
}

void TestUpdater::windowLayout()
{
    auto form = makeForm();
    QCOMPARE(form->windowTitle(), QStringLiteral("软件升级"));
    QCOMPARE(form->size(), QSize(393, 80));
    QCOMPARE(form->Label1->geometry(), QRect(8, 8, 273, 17));
    QCOMPARE(form->DL->geometry(), QRect(8, 32, 377, 17));
    QCOMPARE(form->Label3->geometry(), QRect(8, 56, 217, 17));
    QCOMPARE(form->lblProg->geometry(), QRect(288, 56, 97, 17));
    QCOMPARE(form->Label1->text(), QStringLiteral("本程序正在升级成v1.2版本，请稍后……"));
    QCOMPARE(form->Label3->text(), QStringLiteral("正在下载****文件"));
    QCOMPARE(form->lblProg->text(), QStringLiteral("已完成 0%"));
    QCOMPARE(form->Timer1->interval(), 100);
    QCOMPARE(form->Timer2->interval(), 2000);
    QVERIFY(!form->Timer1->isEnabled());
    QVERIFY(!form->Timer2->isEnabled());
    QCOMPARE(form->fileidx, qint16(2));
}

void TestUpdater::skinLoadedFromProgramFolder()
{
    const QByteArray sheet = "QWidget { background: #eef3f8; }";
    QVERIFY(writeFile(path("winaqua.mys"), sheet));
    auto form = makeForm();
    QCOMPARE(form->styleSheet(), QString::fromUtf8(sheet));
}

void TestUpdater::checksOnceAfterFirstShow()
{
    m_server->setResponse(ManifestPath, 200, "081217|v1.2");
    QVERIFY(writeFile(path("update.dat"), "081217"));
    auto form = makeForm();
    QTest::qWait(50);
    QVERIFY(m_server->requestedPaths().isEmpty()); // nothing before the window is shown
    form->show();
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 5000);
    form->show();
    QTest::qWait(100);
    form->Form_Activate();
    QCOMPARE(m_server->requestedPaths(), QStringList{ManifestPath});
    QCOMPARE(m_boxes.size(), 1);
}

void TestUpdater::firstCheck_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QByteArray>("dat"); // "<none>": no update.dat
    QTest::addColumn<Outcome>("outcome");

    QTest::newRow("equal") << 200 << QByteArray("081217|v1.2|Quorvex") << QByteArray("081217") << Outcome::UpToDate;
    QTest::newRow("older") << 200 << QByteArray("081216|v1.1|Quorvex") << QByteArray("081217") << Outcome::UpToDate;
    QTest::newRow("newer") << 200 << QByteArray("081218|v1.3|Quorvex") << QByteArray("081217") << Outcome::Newer;
    QTest::newRow("81217.9 not newer") << 200 << QByteArray("81217.9|v|Quorvex") << QByteArray("081217")
                                       << Outcome::UpToDate;
    QTest::newRow("100101 newer") << 200 << QByteArray("100101|v2|Quorvex") << QByteArray("081217") << Outcome::Newer;
    QTest::newRow("dat with line break") << 200 << QByteArray("081217|v") << QByteArray("081217\r\n")
                                         << Outcome::UpToDate;
    QTest::newRow("dat missing is 0") << 200 << QByteArray("000001|v") << QByteArray("<none>") << Outcome::Newer;
    QTest::newRow("dat empty is 0") << 200 << QByteArray("000000|v") << QByteArray() << Outcome::UpToDate;
    QTest::newRow("dat garbage is 0") << 200 << QByteArray("000001|v") << QByteArray("abc") << Outcome::Newer;
    QTest::newRow("status not looked at") << 404 << QByteArray("081218|v1.3") << QByteArray("081217")
                                          << Outcome::Newer;
    QTest::newRow("error page") << 404 << QByteArray("<html>Not Found</html>") << QByteArray("081217")
                                << Outcome::Unavailable;
    QTest::newRow("empty manifest") << 200 << QByteArray() << QByteArray("081217") << Outcome::Unavailable;
    QTest::newRow("one field") << 200 << QByteArray("081218") << QByteArray("081217") << Outcome::Unavailable;
    QTest::newRow("version not a number") << 200 << QByteArray("v1.3|x|Quorvex") << QByteArray("081217")
                                          << Outcome::Unavailable;
    QTest::newRow("server gone") << -1 << QByteArray() << QByteArray("081217") << Outcome::Unavailable;
    QTest::newRow("server silent") << -2 << QByteArray() << QByteArray("081217") << Outcome::Unavailable;
}

void TestUpdater::firstCheck()
{
    QFETCH(int, status);
    QFETCH(QByteArray, manifest);
    QFETCH(QByteArray, dat);
    QFETCH(Outcome, outcome);

    if (dat != "<none>")
        QVERIFY(writeFile(path("update.dat"), dat));
    if (status >= 0) {
        m_server->setResponse(ManifestPath, status, manifest);
    } else if (status == -2) {
        Response silent;
        silent.neverAnswer = true;
        m_server->setResponse(ManifestPath, silent);
    }
    auto form = makeForm();
    form->setFetchTimeout(300);
    if (status == -1)
        m_server->close();
    QSignalSpy ended(form.get(), &Updater::Form1::ended);
    form->Form_Activate();

    switch (outcome) {
    case Outcome::Newer:
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(form->Timer1->isEnabled());
        QVERIFY(m_started.isEmpty());
        QCOMPARE(ended.size(), 0);
        QCOMPARE(form->Label1->text(),
                 QStringLiteral("本程序正在生成") + form->updinfo.at(1) + QStringLiteral("版本，请稍后……"));
        break;
    case Outcome::UpToDate:
    case Outcome::Unavailable:
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().text, outcome == Outcome::UpToDate ? UpToDateText : UnavailableText);
        QVERIFY(!m_boxes.first().question);
        QVERIFY(!form->Timer1->isEnabled());
        QCOMPARE(m_started, QStringList{path("Quorvex")});
        QCOMPARE(ended.size(), 1);
        break;
    }
}

void TestUpdater::label1ShowsFieldUnchanged()
{
    m_server->setResponse(ManifestPath, 200, "081218| v 1.3 beta |a.txt");
    QVERIFY(writeFile(path("update.dat"), "081217"));
    auto form = makeForm();
    form->Form_Activate();
    QCOMPARE(form->Label1->text(), QStringLiteral("本程序正在生成 v 1.3 beta 版本，请稍后……"));
    QCOMPARE(form->Label3->text(), QStringLiteral("正在下载****文件"));
    QCOMPARE(form->lblProg->text(), QStringLiteral("已完成 0%"));
}

void TestUpdater::twoFieldManifest_data()
{
    QTest::addColumn<MessageBox::Answer>("answer");
    QTest::addColumn<bool>("startsMain");
    QTest::newRow("yes") << MessageBox::Answer::Yes << true;
    QTest::newRow("no") << MessageBox::Answer::No << false;
}

void TestUpdater::twoFieldManifest()
{
    QFETCH(MessageBox::Answer, answer);
    QFETCH(bool, startsMain);

    m_answer = answer;
    m_server->setResponse(ManifestPath, 200, "081218|v1.3\r\n");
    QVERIFY(writeFile(path("update.dat"), "081217"));
    auto form = makeForm();
    QSignalSpy ended(form.get(), &Updater::Form1::ended);
    QElapsedTimer clock;
    clock.start();
    form->show(); // real timers: the question comes on the first Timer1 tick
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
    QVERIFY2(clock.elapsed() >= 90, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(m_boxes.size(), 1);
    QVERIFY(m_boxes.first().question);
    QCOMPARE(m_boxes.first().text, CompletionText);
    QCOMPARE(m_boxes.first().title, QStringLiteral("升级完成"));
    QCOMPARE(m_started, startsMain ? QStringList{path("Quorvex")} : QStringList());
    QCOMPARE(m_server->requestedPaths(), QStringList{ManifestPath}); // nothing downloaded
    QVERIFY(!form->Timer1->isEnabled());
    QTest::qWait(250);
    QCOMPARE(m_boxes.size(), 1); // asked once
}

void TestUpdater::unsafeNamesRefused_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QString>("shown");

    QTest::newRow("parent folder") << QByteArray("081218|v|ok.txt|../evil") << QStringLiteral("../evil");
    QTest::newRow("absolute") << QByteArray("081218|v|/tmp/evil") << QStringLiteral("/tmp/evil");
    QTest::newRow("sub folder") << QByteArray("081218|v|sub/evil") << QStringLiteral("sub/evil");
    QTest::newRow("backslash") << QByteArray("081218|v|..\\evil") << QStringLiteral("..\\evil");
    QTest::newRow("dot") << QByteArray("081218|v|.") << QStringLiteral(".");
    QTest::newRow("dot dot") << QByteArray("081218|v|..") << QStringLiteral("..");
    QTest::newRow("hidden") << QByteArray("081218|v|.profile") << QStringLiteral(".profile");
    QTest::newRow("empty field") << QByteArray("081218|v|ok.txt||b") << QString();
    QTest::newRow("trailing bar and line break") << QByteArray("081218|v|ok.txt|\r\n") << QString();
    QTest::newRow("tab") << QByteArray("081218|v|a\tb") << QStringLiteral("a\tb");
    QTest::newRow("line break inside") << QByteArray("081218|v|a\nb.txt") << QStringLiteral("a\nb.txt");
}

void TestUpdater::unsafeNamesRefused()
{
    QFETCH(QByteArray, manifest);
    QFETCH(QString, shown);

    m_server->setResponse(ManifestPath, 200, manifest);
    QVERIFY(writeFile(path("update.dat"), "081217"));
    const QStringList before = folderEntries();
    auto form = makeForm();
    QSignalSpy ended(form.get(), &Updater::Form1::ended);
    form->Form_Activate();

    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().text, UnsafeText + shown);
    QCOMPARE(ended.size(), 1);
    QVERIFY(!form->Timer1->isEnabled());
    form->Timer1_Timer(); // even a stray tick downloads nothing
    QTest::qWait(50);
    QCOMPARE(m_server->requestedPaths(), QStringList{ManifestPath});
    QVERIFY(m_started.isEmpty());
    QCOMPARE(folderEntries(), before);
}

void TestUpdater::trailingLineBreakNotInName()
{
    m_server->setResponse(ManifestPath, 200, "081218|v1.3|a.txt\r\n");
    m_server->setResponse("/update/a.txt", 200, "new a");
    QVERIFY(writeFile(path("update.dat"), "081217"));
    auto form = makeForm();
    form->Form_Activate();
    QCOMPARE(form->updinfo.value(2), QStringLiteral("a.txt"));
    runDownload(*form);
    QVERIFY(form->hasEnded());
    QCOMPARE(m_server->requestedPaths(), (QStringList{ManifestPath, "/update/a.txt"}));
    QCOMPARE(readAll(path("a.txt")), QByteArray("new a"));
    QCOMPARE(folderEntries(), (QStringList{"a.txt", "update.dat"}));
}

void TestUpdater::threeFilesInManifestOrder()
{
    const QStringList names{"one.txt", "two.txt", "three.txt"};
    m_server->setResponse(ManifestPath, 200, "081218|v1.3|one.txt|two.txt|three.txt");
    for (const QString &n : names) {
        QVERIFY(writeFile(path(n), "old " + n.toLatin1()));
        m_server->setResponse("/update/" + n, piecewise(QByteArray(3000, 'x') + n.toLatin1(), 5, 30));
    }
    QVERIFY(writeFile(path("update.dat"), "081217"));

    auto form = makeForm();
    // Shorter than 2000 ms, still well above Timer1's 100 ms so a tick of Timer1 always
    // comes between two of Timer2, as the run expects.
    const int settle = 300;
    form->Timer2->setInterval(settle);

    // At each file request: what Label3 said, which files were already new, and how long
    // after the previous file reached 1 the request came.
    QStringList label3AtRequest;
    QList<int> replacedAtRequest;
    QList<qint64> gapAtRequest;
    QElapsedTimer sinceDone;
    connect(form->DL, &DL::Progress, this, [&](float f) {
        if (f == 1.0f)
            sinceDone.start();
    });
    connect(m_server.get(), &FakeHttpServer::requestReceived, this, [&](const QString &p) {
        if (p == ManifestPath)
            return;
        label3AtRequest.append(form->Label3->text());
        int replaced = 0;
        for (const QString &n : names)
            replaced += readAll(path(n)).startsWith("xxx") ? 1 : 0;
        replacedAtRequest.append(replaced);
        gapAtRequest.append(sinceDone.isValid() ? sinceDone.elapsed() : -1);
    });

    form->show();
    QTRY_VERIFY_WITH_TIMEOUT(form->hasEnded(), 15000);

    QCOMPARE(m_server->requestedPaths(),
             (QStringList{ManifestPath, "/update/one.txt", "/update/two.txt", "/update/three.txt"}));
    QCOMPARE(label3AtRequest,
             (QStringList{"正在下载one.txt", "正在下载two.txt", "正在下载three.txt"}));
    QCOMPARE(replacedAtRequest, (QList<int>{0, 1, 2}));
    QCOMPARE(gapAtRequest.first(), qint64(-1));
    for (int i = 1; i < gapAtRequest.size(); ++i)
        QVERIFY2(gapAtRequest[i] >= settle - 10, qPrintable(QString::number(gapAtRequest[i])));
    for (const QString &n : names)
        QCOMPARE(readAll(path(n)), QByteArray(3000, 'x') + n.toLatin1());
    QCOMPARE(form->lblProg->text(), QStringLiteral("已经完成：100%"));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().text, CompletionText);
    QCOMPARE(m_started, QStringList{path("Quorvex")});
}

void TestUpdater::failedDownloadKeepsOldFile_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QString>("reason");

    {
        Response r;
        r.status = 404;
        r.body = "<html>Not Found</html>";
        QTest::newRow("404") << r << QStringLiteral("服务器返回状态 404");
    }
    {
        Response r;
        r.status = 500;
        r.body = "oops";
        QTest::newRow("500") << r << QStringLiteral("服务器返回状态 500");
    }
    {
        Response r = piecewise(QByteArray(8000, 'n'), 8, 20);
        r.breakAfter = 5000;
        QTest::newRow("broken mid-body") << r << QStringLiteral("网络错误");
    }
    {
        Response r;
        r.body = QByteArray(8000, 'n');
        r.breakAfter = 5000;
        // Qt may take this close for the end of the body; the length check must not.
        QTest::newRow("broken at once") << r << QString();
    }
    {
        Response r;
        r.neverAnswer = true;
        QTest::newRow("no answer") << r << QStringLiteral("下载超时");
    }
}

void TestUpdater::failedDownloadKeepsOldFile()
{
    QFETCH(Response, response);
    QFETCH(QString, reason);

    m_server->setResponse(ManifestPath, 200, "081218|v1.3|one.txt|two.txt|three.txt");
    m_server->setResponse("/update/one.txt", 200, "new one");
    m_server->setResponse("/update/two.txt", response);
    m_server->setResponse("/update/three.txt", 200, "new three");
    QVERIFY(writeFile(path("one.txt"), "old one"));
    QVERIFY(writeFile(path("two.txt"), "old two"));
    QVERIFY(writeFile(path("three.txt"), "old three"));
    QVERIFY(writeFile(path("update.dat"), "081217"));

    auto form = makeForm();
    form->DL->setIdleTimeout(300);
    QSignalSpy ended(form.get(), &Updater::Form1::ended);
    QSignalSpy progress(form->DL, &DL::Progress);
    form->Form_Activate();
    runDownload(*form);

    QVERIFY(form->hasStopped());
    QCOMPARE(ended.size(), 0); // the window stays with the reason on it
    QVERIFY(!form->Timer1->isEnabled());
    QVERIFY(!form->Timer2->isEnabled());
    QVERIFY2(form->Label3->text().startsWith(QStringLiteral("下载two.txt失败：") + reason),
             qPrintable(form->Label3->text()));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().text, form->Label3->text());
    int completed = 0; // only one.txt ever reached 1
    for (const QList<QVariant> &args : progress)
        completed += args.at(0).toFloat() == 1.0f ? 1 : 0;
    QCOMPARE(completed, 1);

    QCOMPARE(readAll(path("one.txt")), QByteArray("new one"));
    QCOMPARE(readAll(path("two.txt")), QByteArray("old two"));
    QCOMPARE(readAll(path("three.txt")), QByteArray("old three"));
    QVERIFY(!m_server->requestedPaths().contains("/update/three.txt"));
    QCOMPARE(folderEntries(), (QStringList{"one.txt", "three.txt", "two.txt", "update.dat"})); // no temporaries left
    form->Timer1_Timer(); // a stopped run stays stopped
    QVERIFY(!form->DL->isRunning());
}

void TestUpdater::permissionsKeptAndProgramsExecutable()
{
    const Perms rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;
    const Perms rwr = rw | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const Perms exe = QFileDevice::ExeOwner | QFileDevice::ExeUser;

    m_server->setResponse(ManifestPath, 200, "081218|v|Quorvex|update|private.dat|shared.dat|fresh.txt");
    for (const char *n : {"Quorvex", "update", "private.dat", "shared.dat", "fresh.txt"})
        m_server->setResponse(QStringLiteral("/update/") + n, 200, QByteArray("new ") + n);
    // The main program arrives new; the updater replaces one that lost its execute bit.
    QVERIFY(writeFile(path("update"), "old", rwr));
    QVERIFY(writeFile(path("private.dat"), "old", rw));
    QVERIFY(writeFile(path("shared.dat"), "old", rwr | QFileDevice::WriteGroup));
    QVERIFY(writeFile(path("update.dat"), "081217"));

    auto form = makeForm();
    form->Form_Activate();
    runDownload(*form);
    QVERIFY(form->hasEnded());

    QVERIFY(QFileInfo(path("Quorvex")).isExecutable());
    QVERIFY(QFile::permissions(path("Quorvex")) & QFileDevice::ExeOwner);
    QVERIFY(QFile::permissions(path("update")) & QFileDevice::ExeOwner);
    QCOMPARE(QFile::permissions(path("update")), rwr | exe | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    QCOMPARE(QFile::permissions(path("private.dat")), rw);
    QCOMPARE(QFile::permissions(path("shared.dat")), rwr | QFileDevice::WriteGroup);
    QVERIFY(!(QFile::permissions(path("fresh.txt")) & QFileDevice::ExeOwner));
    QCOMPARE(readAll(path("private.dat")), QByteArray("new private.dat"));
}

void TestUpdater::neverHundredBeforeSaved()
{
    const QByteArray body = QByteArray(20000, 'z');
    QVERIFY(writeFile(path("big.bin"), "old"));
    m_server->setResponse("/update/big.bin", piecewise(body, 40, 5));

    DL dl;
    dl.setSourceUrl(m_server->baseUrl() + "/update/big.bin");
    dl.setSaveFolder(m_dir->path());
    QList<float> seen;
    QList<bool> savedWhenSeen;
    connect(&dl, &DL::Progress, this, [&](float f) {
        seen.append(f);
        savedWhenSeen.append(readAll(path("big.bin")) == body);
    });
    QSignalSpy failed(&dl, &DL::Failed);
    dl.StartDownload();
    QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty() && seen.last() == 1.0f, 10000);
    bool identity = false;
    for (const auto &h : m_server->requests().first().headers)
        identity |= h.first.toLower() == "accept-encoding" && h.second == "identity";
    QVERIFY(identity); // no compression, so the length can be checked

    QVERIFY(failed.isEmpty());
    QVERIFY(seen.size() > 3); // progress was reported along the way
    for (int i = 0; i < seen.size(); ++i) {
        const bool hundred = ProgressText::percent(seen[i]) == QLatin1String("100%");
        QVERIFY2(hundred == savedWhenSeen[i], qPrintable(QString::number(seen[i])));
        if (i + 1 < seen.size())
            QVERIFY(seen[i] <= DL::MaxUnsaved);
    }
    QCOMPARE(seen.count(1.0f), 1);
}

void TestUpdater::wholeUpdateEndToEnd()
{
    // A small program folder at version 081217.
    QVERIFY(writeFile(path("Quorvex"), "#!/bin/sh\necho old\n", QFileDevice::Permissions(0x7755)));
    QVERIFY(writeFile(path("update"), "#!/bin/sh\necho old updater\n", QFileDevice::Permissions(0x7755)));
    QVERIFY(writeFile(path("update.dat"), "081217"));
    QVERIFY(writeFile(path("winaqua.mys"), "QLabel { color: #123; }"));
    QVERIFY(writeFile(path("notes.txt"), "keep me"));

    const QByteArray newMain = "#!/bin/sh\necho 081218\n" + QByteArray(50000, '#');
    const QByteArray newUpdater = "#!/bin/sh\necho new updater\n";
    const QByteArray newSkin = "QLabel { color: #234; }";
    const QByteArray label = QByteArray::fromHex("d0c2b0e6") + " 1.3"; // "新版 1.3" in GB2312
    m_server->setResponse(ManifestPath, 200, "081218|" + label + "|Quorvex|update|winaqua.mys|update.dat\r\n");
    {
        Response r = piecewise(newMain, 10, 10);
        r.chunked = true;
        m_server->setResponse("/update/Quorvex", r);
    }
    m_server->setResponse("/update/update", 200, newUpdater);
    m_server->setResponse("/update/winaqua.mys", 200, newSkin);
    m_server->setResponse("/update/update.dat", 200, "081218");

    auto form = makeForm();
    QCOMPARE(form->styleSheet(), QStringLiteral("QLabel { color: #123; }"));
    form->Timer2->setInterval(300);
    QSignalSpy ended(form.get(), &Updater::Form1::ended);
    form->show();
    QTRY_VERIFY_WITH_TIMEOUT(form->Label1->text().contains(QStringLiteral("新版 1.3")), 5000);
    QCOMPARE(form->Label1->text(), QStringLiteral("本程序正在生成新版 1.3版本，请稍后……"));
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);

    QCOMPARE(m_server->requestedPaths(),
             (QStringList{ManifestPath, "/update/Quorvex", "/update/update", "/update/winaqua.mys",
                          "/update/update.dat"}));
    QCOMPARE(readAll(path("Quorvex")), newMain);
    QCOMPARE(readAll(path("update")), newUpdater);
    QCOMPARE(readAll(path("winaqua.mys")), newSkin);
    QCOMPARE(readAll(path("update.dat")), QByteArray("081218"));
    QCOMPARE(readAll(path("notes.txt")), QByteArray("keep me"));
    QVERIFY(QFileInfo(path("Quorvex")).isExecutable());
    QVERIFY(QFileInfo(path("update")).isExecutable());
    QCOMPARE(folderEntries(), (QStringList{"Quorvex", "notes.txt", "update", "update.dat", "winaqua.mys"}));
    QCOMPARE(form->Label3->text(), QStringLiteral("正在下载update.dat"));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().text, CompletionText);
    QCOMPARE(m_started, QStringList{path("Quorvex")});

    // Started again, the updater finds the new version in place.
    m_boxes.clear();
    m_started.clear();
    auto again = makeForm();
    again->Form_Activate();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().text, UpToDateText);
    QCOMPARE(m_started, QStringList{path("Quorvex")});
}

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
