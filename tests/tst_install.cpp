// `cmake --install` into a scratch prefix lays out exactly the program folder, the launcher,
// the desktop entry and the icon, and the installed launcher brings the program up on its own.
#include <QtNetwork>
#include <QtTest>

#include <filesystem>

class TestInstall : public QObject
{
    Q_OBJECT
    QTemporaryDir m_prefix;

private slots:
    void initTestCase()
    {
        QProcess install;
        install.start("cmake", {"--install", qEnvironmentVariable("QUORVEX_BUILD_DIR"), "--prefix", m_prefix.path()});
        QVERIFY2(install.waitForFinished(60000) && install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
                 install.readAllStandardError().constData());
    }

    void installedTree()
    {
        QStringList found; // every file with its mode
        for (QDirIterator it(m_prefix.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories); it.hasNext();) {
            const std::filesystem::perms mode = std::filesystem::symlink_status(it.next().toStdString()).permissions();
            found << QDir(m_prefix.path()).relativeFilePath(it.filePath()) + QStringLiteral(" %1").arg(int(mode) & 0777, 0, 8);
        }
        found.sort();
        QCOMPARE(found, (QStringList{"bin/quorvex 755", "lib/quorvex/Quorvex 755", "lib/quorvex/update 755", "lib/quorvex/update.dat 644",
                                     "lib/quorvex/winaqua.mys 644", "share/applications/quorvex.desktop 644",
                                     "share/icons/hicolor/scalable/apps/quorvex.svg 644"}));
        QFile entry(m_prefix.filePath("share/applications/quorvex.desktop"));
        const QStringList lines = entry.open(QIODevice::ReadOnly) ? QString::fromUtf8(entry.readAll()).split(u'\n') : QStringList();
        // Started through the launcher on PATH, never from the program folder directly.
        for (const char *line : {"[Desktop Entry]", "Type=Application", "Name=Quorvex", "Name[zh_CN]=Quorvex 批量域名查询", "Exec=quorvex",
                                 "Icon=quorvex", "Terminal=false", "Categories=Network;Utility;"})
            QVERIFY2(lines.contains(QString::fromUtf8(line)), line);
    }

    void launcherStartsAndStaysUp()
    {
        // The splash's update check goes to this loopback proxy, which hangs up at once: whatever
        // update server the build was configured with, the check fails fast and stays on the machine.
        QTcpServer proxy;
        QVERIFY(proxy.listen(QHostAddress::LocalHost));
        connect(&proxy, &QTcpServer::newConnection, &proxy, [&proxy] { delete proxy.nextPendingConnection(); });
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            env.insert(name, QStringLiteral("http://127.0.0.1:%1").arg(proxy.serverPort()));
        // Nothing of the build may help: the installed tree must stand on its own.
        for (const char *name : {"no_proxy", "NO_PROXY", "QUORVEX_PROGRAM_DIR"})
            env.remove(name);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(m_prefix.filePath("bin/quorvex"));
        // Started, and still running well after the splash has handed over to the main window.
        QVERIFY2(!program.waitForFinished(3000) && program.state() == QProcess::Running, program.readAllStandardError().constData());
        program.terminate();
        QVERIFY(program.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
