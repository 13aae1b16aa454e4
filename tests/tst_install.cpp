// The installed tree: `cmake --install` into a scratch prefix must lay out exactly the
// program folder, the launcher, the desktop entry and the icon, and the installed launcher
// must bring the program up to its main window, also after the prefix has been moved.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QStringList InstalledFiles = {
    QStringLiteral("bin/quorvex"),
    QStringLiteral("lib/quorvex/Quorvex"),
    QStringLiteral("lib/quorvex/update"),
    QStringLiteral("lib/quorvex/winaqua.mys"),
    QStringLiteral("lib/quorvex/update.dat"),
    QStringLiteral("share/applications/quorvex.desktop"),
    QStringLiteral("share/icons/hicolor/scalable/apps/quorvex.svg"),
};

constexpr QFile::Permissions AnyExec = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

// How long the program must stay up after its update check before it counts as started:
// the splash opens the main window right after the check fails.
constexpr int StayUpMs = 2000;

QString cmakeOf(const QString &buildDir)
{
    // The cmake that configured the build knows how to install it.
    QFile cache(buildDir + QStringLiteral("/CMakeCache.txt"));
    if (cache.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QByteArray key = "CMAKE_COMMAND:INTERNAL=";
        while (!cache.atEnd()) {
            const QByteArray line = cache.readLine().trimmed();
            if (line.startsWith(key))
                return QString::fromLocal8Bit(line.mid(key.size()));
        }
    }
    return QStandardPaths::findExecutable(QStringLiteral("cmake"));
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// key -> value of the [Desktop Entry] group; keys keep their locale suffix ("Name[zh_CN]").
QHash<QString, QString> desktopEntry(const QString &path)
{
    QHash<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inGroup = false;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0)
            keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return keys;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void exactlyTheseFiles();
    void permissions_data();
    void permissions();
    void installedCopies_data();
    void installedCopies();
    void desktopEntryKeys_data();
    void desktopEntryKeys();
    void desktopEntryHasChineseName();
    void launcherStartsMainWindow_data();
    void launcherStartsMainWindow();

private:
    QString m_buildDir;
    QString m_sourceDir;
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_prefix;
};

void TestInstall::initTestCase()
{
    m_buildDir = qEnvironmentVariable("QUORVEX_BUILD_DIR");
    m_sourceDir = qEnvironmentVariable("QUORVEX_SOURCE_DIR");
    QVERIFY2(QFileInfo(m_buildDir + QStringLiteral("/CMakeCache.txt")).isFile(), "QUORVEX_BUILD_DIR is not a build folder");
    QVERIFY2(QFileInfo(m_sourceDir + QStringLiteral("/CMakeLists.txt")).isFile(), "QUORVEX_SOURCE_DIR is not the source folder");

    const QString cmake = cmakeOf(m_buildDir);
    QVERIFY2(!cmake.isEmpty(), "no cmake to install with");

    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_prefix = m_root->filePath(QStringLiteral("prefix"));

    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(cmake, {QStringLiteral("--install"), m_buildDir, QStringLiteral("--prefix"), m_prefix});
    QVERIFY2(install.waitForFinished(60000), "cmake --install did not finish");
    const QByteArray log = install.readAll();
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, log.constData());
}

void TestInstall::exactlyTheseFiles()
{
    // Everything under the prefix that is not a directory, links included.
    QStringList found;
    QSet<QString> dirs;
    QDirIterator it(m_prefix, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir prefix(m_prefix);
    while (it.hasNext()) {
        it.next();
        const QString rel = prefix.relativeFilePath(it.filePath());
        if (it.fileInfo().isDir() && !it.fileInfo().isSymLink())
            dirs.insert(rel);
        else
            found.append(rel);
    }
    found.sort();
    QStringList expected = InstalledFiles;
    expected.sort();
    QCOMPARE(found, expected);

    // No stray empty folders either: every folder is on the way to an installed file.
    QSet<QString> needed;
    for (const QString &file : InstalledFiles) {
        for (QString d = QFileInfo(file).path(); d != QLatin1String("."); d = QFileInfo(d).path())
            needed.insert(d);
    }
    QCOMPARE(dirs, needed);
}

void TestInstall::permissions_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("executable");

    QTest::newRow("launcher") << "bin/quorvex" << true;
    QTest::newRow("main program") << "lib/quorvex/Quorvex" << true;
    QTest::newRow("updater") << "lib/quorvex/update" << true;
    QTest::newRow("skin") << "lib/quorvex/winaqua.mys" << false;
    QTest::newRow("installed version") << "lib/quorvex/update.dat" << false;
    QTest::newRow("desktop entry") << "share/applications/quorvex.desktop" << false;
    QTest::newRow("icon") << "share/icons/hicolor/scalable/apps/quorvex.svg" << false;
}

void TestInstall::permissions()
{
    QFETCH(QString, file);
    QFETCH(bool, executable);

    const QFileInfo info(m_prefix + QLatin1Char('/') + file);
    QVERIFY2(info.isFile(), qPrintable(file));
    const QFile::Permissions p = info.permissions();
    // Installed for every user of the machine: readable by all, and runnable by all or by none.
    QVERIFY(p.testFlag(QFile::ReadOther));
    QVERIFY(!p.testFlag(QFile::WriteOther));
    if (executable)
        QCOMPARE(p & AnyExec, AnyExec);
    else
        QCOMPARE(p & AnyExec, QFile::Permissions());
}

void TestInstall::installedCopies_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("origin"); // "source:" or "build:" relative path

    QTest::newRow("skin") << "lib/quorvex/winaqua.mys" << "source:shared/skin/winaqua.mys";
    QTest::newRow("installed version") << "lib/quorvex/update.dat" << "build:program/update.dat";
    QTest::newRow("desktop entry") << "share/applications/quorvex.desktop" << "source:packaging/quorvex.desktop";
    QTest::newRow("icon") << "share/icons/hicolor/scalable/apps/quorvex.svg" << "source:packaging/quorvex.svg";
}

void TestInstall::installedCopies()
{
    QFETCH(QString, installed);
    QFETCH(QString, origin);

    const qsizetype colon = origin.indexOf(QLatin1Char(':'));
    const QString base = origin.left(colon) == QLatin1String("source") ? m_sourceDir : m_buildDir;
    const QByteArray expected = contents(base + QLatin1Char('/') + origin.mid(colon + 1));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(contents(m_prefix + QLatin1Char('/') + installed), expected);
}

void TestInstall::desktopEntryKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("type") << "Type" << "Application";
    QTest::newRow("name") << "Name" << "Quorvex";
    // Started through the launcher on PATH, never the program folder directly.
    QTest::newRow("exec") << "Exec" << "quorvex";
    QTest::newRow("icon") << "Icon" << "quorvex";
    QTest::newRow("categories") << "Categories" << "Network;Utility;";
    QTest::newRow("terminal") << "Terminal" << "false";
}

void TestInstall::desktopEntryKeys()
{
    QFETCH(QString, key);
    QFETCH(QString, value);

    const auto keys = desktopEntry(m_prefix + QStringLiteral("/share/applications/quorvex.desktop"));
    QVERIFY2(keys.contains(key), qPrintable(key));
    QCOMPARE(keys.value(key), value);
}

void TestInstall::desktopEntryHasChineseName()
{
    const auto keys = desktopEntry(m_prefix + QStringLiteral("/share/applications/quorvex.desktop"));
    const QString name = keys.value(QStringLiteral("Name[zh_CN]"));
    QVERIFY2(name.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))), qPrintable(name));
}

void TestInstall::launcherStartsMainWindow_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("where installed") << "installed";
    QTest::newRow("prefix moved") << "moved";
    QTest::newRow("through a link") << "link";
}

void TestInstall::launcherStartsMainWindow()
{
    QFETCH(QString, how);

    QString prefix = m_prefix;
    QString launcher = m_prefix + QStringLiteral("/bin/quorvex");
    auto restore = qScopeGuard([this, &prefix] {
        if (prefix != m_prefix)
            QDir().rename(prefix, m_prefix);
    });
    if (how == QLatin1String("moved")) {
        const QString moved = m_root->filePath(QStringLiteral("elsewhere/other"));
        QVERIFY(QDir().mkpath(QFileInfo(moved).path()));
        QVERIFY(QDir().rename(m_prefix, moved));
        prefix = moved;
        launcher = moved + QStringLiteral("/bin/quorvex");
    } else if (how == QLatin1String("link")) {
        const QString linkDir = m_root->filePath(QStringLiteral("linkbin"));
        QVERIFY(QDir().mkpath(linkDir));
        launcher = linkDir + QStringLiteral("/quorvex");
        QFile::remove(launcher);
        QVERIFY(QFile::link(m_prefix + QStringLiteral("/bin/quorvex"), launcher));
    }

    // The splash's update check goes through this loopback proxy, which hangs up at once:
    // the check fails fast without leaving the machine, and its arrival shows the program
    // got as far as the splash.
    QTcpServer proxy;
    QVERIFY(proxy.listen(QHostAddress::LocalHost));
    int proxied = 0;
    connect(&proxy, &QTcpServer::newConnection, &proxy, [&proxy, &proxied] {
        while (QTcpSocket *s = proxy.nextPendingConnection()) {
            ++proxied;
            s->abort();
            s->deleteLater();
        }
    });
    const QString proxyUrl = QStringLiteral("http://127.0.0.1:%1").arg(proxy.serverPort());

    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.insert(QString::fromLatin1(name), proxyUrl);
    env.remove(QStringLiteral("no_proxy"));
    env.remove(QStringLiteral("NO_PROXY"));
    // Nothing of the build may help: the installed tree must stand on its own.
    env.remove(QStringLiteral("QUORVEX_PROGRAM_DIR"));

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setWorkingDirectory(m_root->path());
    auto stop = qScopeGuard([&program] {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    });
    program.start(launcher, {});
    QVERIFY2(program.waitForStarted(5000), qPrintable(program.errorString()));

    QTRY_VERIFY2_WITH_TIMEOUT(proxied > 0 || program.state() == QProcess::NotRunning,
                              "no update check within 15 s", 15000);
    QVERIFY2(program.state() == QProcess::Running,
             qPrintable(QStringLiteral("ended before its update check (exit %1): %2")
                            .arg(program.exitCode())
                            .arg(QString::fromLocal8Bit(program.readAll()))));

    QTest::qWait(StayUpMs);
    QVERIFY2(program.state() == QProcess::Running,
             qPrintable(QStringLiteral("ended after its update check (exit %1): %2")
                            .arg(program.exitCode())
                            .arg(QString::fromLocal8Bit(program.readAll()))));

    program.terminate();
    QVERIFY(program.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
