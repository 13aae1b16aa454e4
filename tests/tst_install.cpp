// `cmake --install` into a scratch prefix lays out exactly the program folder, the launcher,
// the desktop entry, the icons, the metainfo and Debian's documents, and the installed
// launcher brings the program up on its own. Where lintian and appstreamcli are installed,
// the Debian package made from this build and its metainfo pass them without a warning.
#include "config/ProgramFiles.h"

#include <QtGui>
#include <QtNetwork>
#include <QtTest>

#include <filesystem>

// The application id: the names of the desktop entry, the metainfo and the icons.
static const QString AppId = QStringLiteral("io.github.quorvex.Quorvex");

class TestInstall : public QObject
{
    Q_OBJECT
    QTemporaryDir m_prefix;
    QString m_version; // as the installed program tells it

    // Runs a program to its end; returns its exit code, -1 when it could not run or crashed.
    static int run(const QString &program, const QStringList &arguments, QString *output = nullptr, int ms = 120000,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        const bool finished = process.waitForFinished(ms);
        if (output)
            *output = QString::fromUtf8(process.readAll());
        return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QByteArray installed(const QString &path) const
    {
        QFile file(m_prefix.filePath(path));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        if (!path.endsWith(QLatin1String(".gz")))
            return file.readAll();
        QProcess gunzip;
        gunzip.start("gzip", {"-dc", file.fileName()});
        gunzip.waitForFinished(10000);
        return gunzip.readAllStandardOutput();
    }

private slots:
    void initTestCase()
    {
        QString output;
        QVERIFY2(run("cmake", {"--install", qEnvironmentVariable("QUORVEX_BUILD_DIR"), "--prefix", m_prefix.path()}, &output) == 0,
                 qPrintable(output));
        QVERIFY(run(m_prefix.filePath("lib/quorvex/Quorvex"), {"--version"}, &output) == 0);
        m_version = output.section(u' ', 1, 1); // "Quorvex 2.4 (081217)"
        QVERIFY2(!m_version.isEmpty(), qPrintable(output));
    }

    void installedTree()
    {
        QStringList found; // every file with its mode
        for (QDirIterator it(m_prefix.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories); it.hasNext();) {
            const std::filesystem::perms mode = std::filesystem::symlink_status(it.next().toStdString()).permissions();
            found << QDir(m_prefix.path()).relativeFilePath(it.filePath()) + QStringLiteral(" %1").arg(int(mode) & 0777, 0, 8);
        }
        found.sort();
        const QString folder = QStringLiteral("lib/quorvex/");
        QStringList expected{"bin/quorvex 755", folder + ProgramFiles::Main + " 755", folder + ProgramFiles::Updater + " 755",
                             folder + ProgramFiles::InstalledVersion + " 644", folder + ProgramFiles::Skin + " 644",
                             "share/applications/" + AppId + ".desktop 644",
                             "share/doc/quorvex/changelog.gz 644", "share/doc/quorvex/copyright 644",
                             "share/icons/hicolor/scalable/apps/" + AppId + ".svg 644", "share/man/man1/quorvex.1.gz 644",
                             "share/metainfo/" + AppId + ".metainfo.xml 644"};
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            const QString icon = QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId);
            expected << icon + " 644";
            // Drawn at its size, not blank: the tile's corner is clear and its middle is not.
            QImageReader reader(m_prefix.filePath(icon));
            QVERIFY2(reader.format() == "png", qPrintable(icon));
            const QImage image = reader.read();
            QVERIFY2(image.size() == QSize(size, size), qPrintable(icon));
            QVERIFY2(qAlpha(image.pixel(0, 0)) == 0 && qAlpha(image.pixel(size / 2, size / 2)) > 0, qPrintable(icon));
        }
        expected.sort();
        QCOMPARE(found, expected);

        const QStringList lines = QString::fromUtf8(installed("share/applications/" + AppId + ".desktop")).split(u'\n');
        // Started through the launcher on PATH, never from the program folder directly; one
        // main category, so menus list it once.
        for (const QString &line : QStringList{"[Desktop Entry]", "Type=Application", "Name=Quorvex", "Name[zh_CN]=Quorvex 批量域名查询", "Exec=quorvex",
                                               "Icon=" + AppId, "Terminal=false", "Categories=Network;"})
            QVERIFY2(lines.contains(line), qPrintable(line));
        // The metainfo names itself and its desktop entry by the same id.
        const QString metainfo = QString::fromUtf8(installed("share/metainfo/" + AppId + ".metainfo.xml"));
        QVERIFY2(metainfo.contains("<id>" + AppId + "</id>") && metainfo.contains(">" + AppId + ".desktop</launchable>"),
                 qPrintable(metainfo));
    }

    void documents_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("start");    // the text begins so; %1 is the program's version
        QTest::addColumn<QString>("contains"); // and holds this
        QTest::newRow("machine-readable copyright")
            << "share/doc/quorvex/copyright" << "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
            << "Copyright: 2026 Quorvex developers\nLicense: Expat\n";
        QTest::newRow("changelog of this version")
            << "share/doc/quorvex/changelog.gz" << "quorvex (%1) " << "\n -- Quorvex developers <";
        QTest::newRow("manual page of this version") << "share/man/man1/quorvex.1.gz" << ".TH QUORVEX 1 " << "\"Quorvex %1\"";
        QTest::newRow("metainfo of this version") << "share/metainfo/" + AppId + ".metainfo.xml"
                                                  << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" << "<release version=\"%1\"";
    }

    void documents()
    {
        QFETCH(QString, path);
        QFETCH(QString, start);
        QFETCH(QString, contains);
        const QString text = QString::fromUtf8(installed(path));
        QVERIFY2(text.startsWith(start.arg(m_version)) && text.contains(contains.arg(m_version)), qPrintable(text.left(300)));
        if (path.endsWith(QLatin1String(".gz"))) {
            // gzip -n: no file name and no time stamp, so two builds give the same bytes.
            QFile file(m_prefix.filePath(path));
            const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(8) : QByteArray();
            QVERIFY(head.size() == 8 && head.startsWith("\x1f\x8b") && !(head.at(3) & 0x08) && head.mid(4) == QByteArray(4, '\0'));
        }
    }

    void metainfoValidates()
    {
        const QString appstreamcli = QStandardPaths::findExecutable("appstreamcli");
        if (appstreamcli.isEmpty())
            QSKIP("appstreamcli is not installed (package appstream)");
        QString output;
        // --strict: infos fail as well; only pedantic hints may stay.
        const int code = run(appstreamcli, {"validate", "--no-net", "--strict", "--explain",
                                            m_prefix.filePath("share/metainfo/" + AppId + ".metainfo.xml")}, &output);
        QVERIFY2(code == 0, qPrintable(output));
        const QString desktopValidate = QStandardPaths::findExecutable("desktop-file-validate");
        if (!desktopValidate.isEmpty())
            QVERIFY2(run(desktopValidate, {m_prefix.filePath("share/applications/" + AppId + ".desktop")}, &output) == 0 && output.isEmpty(),
                     qPrintable(output));
    }

    void packageIsLintianClean()
    {
        const QString lintian = QStandardPaths::findExecutable("lintian");
        const QString cpack = QStandardPaths::findExecutable("cpack");
        if (lintian.isEmpty() || cpack.isEmpty() || QStandardPaths::findExecutable("dpkg-deb").isEmpty())
            QSKIP("lintian, cpack or dpkg-deb is not installed");
        QTemporaryDir out;
        QString output;
        const QString build = qEnvironmentVariable("QUORVEX_BUILD_DIR");
        QVERIFY2(run(cpack, {"-G", "DEB", "--config", build + "/CPackConfig.cmake", "-B", out.path()}, &output) == 0, qPrintable(output));
        const QStringList debs = QDir(out.path()).entryList({"*.deb"}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        QVERIFY(debs.first().startsWith(QStringLiteral("quorvex_%1_").arg(m_version)));
        // Infos are listed too; the README says why the ones left stay. Hardening tags count
        // whatever their level: a lost bindnow is only an info to lintian.
        const int code = run(lintian, {"--fail-on", "error,warning", "--display-info", out.filePath(debs.first())}, &output, 280000);
        const QStringList tags = output.split(u'\n', Qt::SkipEmptyParts).filter(QRegularExpression("^([EW]: |I: .*hardening-)"));
        QVERIFY2(code == 0 && tags.isEmpty(), qPrintable(output));
    }

    // Without a platform named, an X11 or a Wayland session will do; with neither the program
    // says so and ends before Qt gives up on a display.
    void needsAGraphicalSession_data()
    {
        QTest::addColumn<QString>("session"); // the variable set
        QTest::newRow("X11") << "DISPLAY";
        QTest::newRow("Wayland") << "WAYLAND_DISPLAY";
        QTest::newRow("neither") << "";
    }
    void needsAGraphicalSession()
    {
        QFETCH(QString, session);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(name);
        if (!session.isEmpty())
            env.insert(session, QStringLiteral("no-such-display"));
        QString output;
        run(m_prefix.filePath(QStringLiteral("lib/quorvex/") + ProgramFiles::Main), {}, &output, 20000, env);
        QVERIFY2(output.contains(QStringLiteral("需要图形会话")) == session.isEmpty(), qPrintable(output));
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
