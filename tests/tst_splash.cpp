#include "FakeHttpServer.h"
#include "manifest/Manifest.h"
#include "platform/MessageBox.h"
#include "platform/ProcessLauncher.h"
#include "platform/ProgramFolder.h"
#include "platform/WindowTimer.h"
#include "startup/Form2.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using Response = FakeHttpServer::Response;

Q_DECLARE_METATYPE(std::optional<qint32>)

namespace {
const QString ManifestPath = QStringLiteral("/update/update.html");
const QString NewVersionText = QStringLiteral("发现新版本，系统正在关闭本程序，进行软件升级");
} // namespace

class TestSplash : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void integerPart_data();
    void integerPart();
    void newerThanBuild_data();
    void newerThanBuild();

    void versionCheck_data();
    void versionCheck();
    void ticksActInOrder();
    void realTimerOpensMainWindow();
    void updaterThatCannotStartOpensMainWindow();
    void unreachableServerOpensMainWindow();
    void windowShape();

private:
    std::unique_ptr<Form2> makeSplash();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeHttpServer> m_server;
    QList<MessageBox::Shown> m_boxes;
    QStringList m_started;
    bool m_launchWorks = true;
    std::unique_ptr<QWidget> m_main;
    int m_mainMade = 0;
};

void TestSplash::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    ProgramFolder::setOverride(m_dir->path());
    m_server = std::make_unique<FakeHttpServer>();
    QVERIFY(m_server->listen());
    m_boxes.clear();
    MessageBox::recordAndAnswer(&m_boxes);
    m_started.clear();
    m_launchWorks = true;
    ProcessLauncher::setHook([this](const QString &program) {
        m_started.append(program);
        return m_launchWorks;
    });
    m_main.reset();
    m_mainMade = 0;
}

void TestSplash::cleanup()
{
    MessageBox::setHook({});
    ProcessLauncher::setHook({});
    ProgramFolder::setOverride(QString());
    m_main.reset();
    m_server.reset();
    m_dir.reset();
}

std::unique_ptr<Form2> TestSplash::makeSplash()
{
    ServerConfig config;
    config.updateBase = m_server->baseUrl();
    auto splash = std::make_unique<Form2>(config, [this] {
        ++m_mainMade;
        m_main = std::make_unique<QWidget>();
        return m_main.get();
    });
    splash->setFetchTimeout(3000);
    return splash;
}

void TestSplash::integerPart_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint32>>("expected");

    QTest::newRow("build version") << "081217" << std::optional<qint32>(81217);
    QTest::newRow("leading zeros") << "000100" << std::optional<qint32>(100);
    QTest::newRow("fraction rounds down") << "81217.9" << std::optional<qint32>(81217);
    QTest::newRow("negative rounds down") << "-1.5" << std::optional<qint32>(-2);
    QTest::newRow("spaces around") << " 081218 " << std::optional<qint32>(81218);
    QTest::newRow("line break after") << "081218\r\n" << std::optional<qint32>(81218);
    QTest::newRow("exponent") << "1e5" << std::optional<qint32>(100000);
    QTest::newRow("largest") << "2147483647" << std::optional<qint32>(2147483647);
    QTest::newRow("too large") << "2147483648" << std::optional<qint32>();
    QTest::newRow("empty") << "" << std::optional<qint32>();
    QTest::newRow("word") << "Quorvex" << std::optional<qint32>();
    QTest::newRow("trailing letters") << "081218a" << std::optional<qint32>();
    QTest::newRow("inf") << "inf" << std::optional<qint32>();
    QTest::newRow("nan") << "nan" << std::optional<qint32>();
    QTest::newRow("hex") << "0x10" << std::optional<qint32>();
    QTest::newRow("comma decimal") << "81217,9" << std::optional<qint32>();
}

void TestSplash::integerPart()
{
    QFETCH(QString, text);
    QFETCH(std::optional<qint32>, expected);
    QCOMPARE(Manifest::integerPart(text), expected);
}

void TestSplash::newerThanBuild_data()
{
    QTest::addColumn<QString>("manifest");
    QTest::addColumn<bool>("newer");

    QTest::newRow("same version") << "081217|v1.2|Quorvex" << false;
    QTest::newRow("next day") << "081218|v1.3|Quorvex" << true;
    QTest::newRow("81217.9 is 81217") << "81217.9|v1.3|Quorvex" << false;
    QTest::newRow("100101") << "100101|v2.0|Quorvex" << true;
    QTest::newRow("older") << "081216|v1.1|Quorvex" << false;
    QTest::newRow("newer but no name") << "081218|v1.3|update|update.dat" << false;
    QTest::newRow("name only inside a file name") << "081218|v1.3|Quorvex.exe" << true;
    QTest::newRow("name in the label") << "081218|Quorvex 1.3" << true;
    QTest::newRow("name case differs") << "081218|v1.3|quorvex" << false;
    QTest::newRow("no fields, name only") << "Quorvex" << false;
    QTest::newRow("version not a number") << "v1.3|x|Quorvex" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("error page") << "<html>404 Not Found</html>" << false;
}

void TestSplash::newerThanBuild()
{
    QFETCH(QString, manifest);
    QFETCH(bool, newer);
    QCOMPARE(Manifest::newerThanBuild(manifest), newer);
}

void TestSplash::versionCheck_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<bool>("update");
    QTest::addColumn<int>("srvver");

    QTest::newRow("081217: no update") << 200 << QByteArray("081217|v1.2|Quorvex") << false << 81217;
    QTest::newRow("081218: update") << 200 << QByteArray("081218|v1.3|Quorvex") << true << 81218;
    QTest::newRow("81217.9: no update") << 200 << QByteArray("81217.9|v1.3|Quorvex") << false << 81217;
    QTest::newRow("100101: update") << 200 << QByteArray("100101|v2.0|Quorvex") << true << 100101;
    QTest::newRow("no name: no update") << 200 << QByteArray("081218|v1.3|update.dat") << false << 0;
    QTest::newRow("name in file name") << 200 << QByteArray("081218|v1.3|Quorvex.exe\r\n") << true << 81218;
    QTest::newRow("gb2312 label") << 200 << QByteArray("081218|") + QByteArray::fromHex("d6d0cec4") + "|Quorvex"
                                  << true << 81218;
    QTest::newRow("error page: no update") << 404 << QByteArray("<html>Not Found</html>") << false << 0;
    QTest::newRow("empty: no update") << 200 << QByteArray() << false << 0;
    QTest::newRow("version not a number") << 200 << QByteArray("soon|v1.3|Quorvex") << false << 0;
}

void TestSplash::versionCheck()
{
    QFETCH(int, status);
    QFETCH(QByteArray, manifest);
    QFETCH(bool, update);
    QFETCH(int, srvver);

    m_server->setResponse(ManifestPath, status, manifest);
    auto splash = makeSplash();
    splash->Timer1->setEnabled(false); // the test ticks by hand
    QSignalSpy ended(splash.get(), &Form2::endProgram);
    splash->show();
    for (int i = 0; i < 3; ++i)
        splash->Timer1_Timer();

    QCOMPARE(splash->buildver, QStringLiteral("081217"));
    QCOMPARE(splash->srvver, srvver);
    QCOMPARE(m_server->requestedPaths(), QStringList{ManifestPath});
    QVERIFY(!splash->isVisible());
    QVERIFY(!splash->Timer1->isEnabled());
    if (update) {
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().text, NewVersionText);
        QVERIFY(!m_boxes.first().question);
        QCOMPARE(m_started, QStringList{m_dir->path() + QStringLiteral("/update")});
        QCOMPARE(ended.size(), 1);
        QCOMPARE(m_mainMade, 0); // the main window is never created
    } else {
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(m_started.isEmpty());
        QCOMPARE(ended.size(), 0);
        QCOMPARE(m_mainMade, 1);
        QVERIFY(m_main->isVisible());
    }
}

void TestSplash::ticksActInOrder()
{
    m_server->setResponse(ManifestPath, 200, "081217|v1.2|Quorvex");
    auto splash = makeSplash();
    splash->Timer1->setEnabled(false);
    splash->show();

    splash->Timer1_Timer();
    QCOMPARE(splash->ticks, qint16(1));
    QVERIFY(!splash->skinChecked());
    QVERIFY(m_server->requestedPaths().isEmpty());
    QVERIFY(splash->buildver.isEmpty());

    splash->Timer1_Timer();
    QVERIFY(splash->skinChecked());
    QVERIFY(m_server->requestedPaths().isEmpty());
    QCOMPARE(m_mainMade, 0);

    splash->Timer1_Timer();
    QCOMPARE(m_server->requestedPaths().size(), 1);
    QCOMPARE(m_mainMade, 1);

    for (int i = 0; i < 5; ++i)
        splash->Timer1_Timer();
    QCOMPARE(m_server->requestedPaths().size(), 1);
    QCOMPARE(m_mainMade, 1);
    QVERIFY(m_boxes.isEmpty());
}

void TestSplash::realTimerOpensMainWindow()
{
    m_server->setResponse(ManifestPath, 200, "081217|v1.2|Quorvex");
    QElapsedTimer clock;
    clock.start();
    auto splash = makeSplash();
    QVERIFY(splash->Timer1->isEnabled()); // running from creation
    QCOMPARE(splash->Timer1->interval(), 100);
    splash->show();
    QTRY_VERIFY_WITH_TIMEOUT(m_main && m_main->isVisible(), 5000);
    QVERIFY2(clock.elapsed() >= 250, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(splash->ticks, qint16(3));
    QVERIFY(!splash->isVisible());
    QTest::qWait(300); // nothing acts after the third tick
    QCOMPARE(m_server->requestedPaths().size(), 1);
    QCOMPARE(m_mainMade, 1);
}

void TestSplash::updaterThatCannotStartOpensMainWindow()
{
    m_server->setResponse(ManifestPath, 200, "081218|v1.3|Quorvex");
    m_launchWorks = false;
    auto splash = makeSplash();
    splash->Timer1->setEnabled(false);
    QSignalSpy ended(splash.get(), &Form2::endProgram);
    for (int i = 0; i < 3; ++i)
        splash->Timer1_Timer();

    QCOMPARE(m_boxes.size(), 2);
    QCOMPARE(m_boxes[0].text, NewVersionText);
    QVERIFY(m_boxes[1].text.contains(m_dir->path() + QStringLiteral("/update")));
    QCOMPARE(ended.size(), 0);
    QCOMPARE(m_mainMade, 1);
    QVERIFY(m_main->isVisible());
}

void TestSplash::unreachableServerOpensMainWindow()
{
    const QString base = m_server->baseUrl();
    m_server->close();
    ServerConfig config;
    config.updateBase = base;
    Form2 splash(config, [this] {
        ++m_mainMade;
        m_main = std::make_unique<QWidget>();
        return m_main.get();
    });
    splash.Timer1->setEnabled(false);
    for (int i = 0; i < 3; ++i)
        splash.Timer1_Timer();
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(m_started.isEmpty());
    QCOMPARE(m_mainMade, 1);
}

void TestSplash::windowShape()
{
    auto splash = makeSplash();
    splash->Timer1->setEnabled(false);
    splash->show();
    QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(splash->size(), QSize(444, 102));
    QCOMPARE(splash->Image1->geometry(), QRect(8, 2, 425, 93));
    QCOMPARE(splash->Image1->pixmap().size(), QSize(425, 93));
    QCOMPARE(splash->Line1->geometry(), QRect(0, 0, 1, 102));
    QCOMPARE(splash->Line2->geometry(), QRect(443, 0, 1, 102));
    QCOMPARE(splash->Line3->geometry(), QRect(0, 101, 444, 1));
    QCOMPARE(splash->Line4->geometry(), QRect(0, 0, 444, 1));
    QCOMPARE(splash->ticks, qint16(0));
    const QRect screen = splash->screen()->availableGeometry();
    QVERIFY(qAbs(splash->geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(splash->geometry().center().y() - screen.center().y()) <= 1);

    // The picture is drawn, not a blank box.
    const QImage picture = splash->Image1->pixmap().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 3)
        for (int x = 0; x < picture.width(); x += 3)
            colours.insert(picture.pixel(x, y));
    QVERIFY(colours.size() > 20);
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
