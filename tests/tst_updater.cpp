#include "FakeHttpServer.h"
#include "httpfetch/HttpFetch.h"
#include "manifest/Manifest.h"
#include "platform/CommandLine.h"
#include "platform/MessageBox.h"
#include "platform/ProcessLauncher.h"
#include "platform/ProgramFolder.h"
#include "platform/SelfUpdate.h"
#include "platform/StagedFiles.h"
#include "platform/WindowTimer.h"
#include "startup/Form2.h"
#include "text/Gb18030.h"
#include "updater/DL.h"
#include "updater/Form1.h"
#include "updater/ProgressText.h"

#include <QLabel>
#include <QtTest>

using Response = FakeHttpServer::Response;
using Check = Manifest::UpdateCheck;
Q_DECLARE_METATYPE(Manifest::UpdateCheck)

static const QString Newer = QStringLiteral("发现新版本，系统正在关闭本程序，进行软件升级");
static const QString Packaged = QStringLiteral("发现新版本 081218，请通过系统的软件包管理器升级。");
static const QString Completion = QStringLiteral("程序已经升级为最新版本，是否开始运行本程序？");
static const QString UpToDate = QStringLiteral("当前程序已经是最新版本，无需升级");
static const QString Same = QStringLiteral("081217|v1.2|Quorvex"), Later = QStringLiteral("081218|v1.3|Quorvex");
// The install every test starts from, as snapshot() shows it ("*": executable).
static const QStringList Old{"Quorvex*=old Quorvex", "one.txt=old one.txt", "two.sh*=old two.sh", "update.dat=081217"};

static bool writeFile(const QString &path, const QByteArray &data, bool program = false)
{
    QFile f(path);
    return f.open(QFile::WriteOnly) && f.write(data) == data.size() && (!program || f.setPermissions(f.permissions() | QFile::ExeOwner));
}

static bool installOld(const QString &folder)
{
    bool written = true;
    for (const QString &entry : Old)
        written = writeFile(folder + '/' + entry.section('=', 0, 0).remove('*'), entry.section('=', 1).toUtf8(), entry.contains('*')) && written;
    return written;
}

// One update of `folder` as the updater makes it, through `files`: the program, a changed
// file, a new file and update.dat staged (their temporary files appended to `parts`) and
// committed. False when a file could not be written.
static bool runUpdate(const QString &folder, StagedFiles &files, QStringList &parts)
{
    bool written = installOld(folder);
    for (const QString name : {"Quorvex", "one.txt", "three.txt", "update.dat"}) {
        parts.append(StagedFiles::temporaryPath(folder, "part"));
        written = writeFile(parts.last(), name == "update.dat" ? "081218" : "new " + name.toUtf8(), name == "Quorvex") && written;
        files.add(parts.last(), name);
    }
    files.commit();
    return written;
}

// The road of an update: the manifest fetch, the version rules, the splash and the updater,
// against a loopback server and a temporary program folder.
class TestUpdater : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeHttpServer> m_server;
    ServerConfig m_config;
    QList<MessageBox::Shown> m_shown;
    QStringList m_log;    // programs started (relative to the program folder) and main windows opened
    QStringList m_labels; // Label3 as each file was whole
    int m_early = 0;      // "100%" shown before the file was whole: the next file would start too soon
    bool m_launchWorks = true;

    // Every file of the program folder as "name=content", with "*" after an executable's name.
    QStringList snapshot() const
    {
        QStringList entries;
        for (const QFileInfo &fi : QDir(m_dir->path()).entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile f(fi.filePath());
            entries.append(fi.fileName() + (fi.isExecutable() ? "*=" : "=") + (f.open(QFile::ReadOnly) ? f.readAll() : "?"));
        }
        entries.sort();
        return entries;
    }

    // The texts of the boxes shown, each cut to the length of the one expected at its place.
    QStringList shown(const QStringList &expected) const
    {
        QStringList texts;
        for (const MessageBox::Shown &box : m_shown)
            texts << box.text.left(expected.value(texts.size(), box.text).size());
        return texts;
    }

    // The old install, a server with "new <name>" for every file, then the scene word by word:
    // "folder" or a file's name loses the write bits of everybody (so root's too), "package"
    // makes a build for a package manager, "sub" puts a folder where a file is to go, "dat=V"
    // writes update.dat, "404" and "cut" spoil two.sh, "no" answers No, "nolaunch" starts nothing.
    void prepare(const QString &scene)
    {
        constexpr QFile::Permissions writeBits = QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
        QVERIFY(installOld(m_dir->path()));
        for (const QString name : {"one.txt", "two.sh", "Quorvex", "update", "sub"})
            m_server->setResponse("/update/" + name, {200, "new " + name.toUtf8()});
        for (const QString &word : scene.split(u' ', Qt::SkipEmptyParts)) {
            const QString path = word == "folder" ? m_dir->path() : m_dir->filePath(word);
            if (word == "package")
                SelfUpdate::setPackageManagedOverride(true);
            else if (word == "sub")
                QVERIFY(QDir(m_dir->path()).mkdir(word));
            else if (word.startsWith("dat="))
                QVERIFY(writeFile(m_dir->filePath("update.dat"), word.mid(4).toUtf8()));
            else if (word == "404" || word == "cut")
                m_server->setResponse("/update/two.sh", word == "404" ? Response{404, "gone"} : Response{200, QByteArray(8000, 'n'), 3000});
            else if (word == "no")
                MessageBox::recordAndAnswer(&m_shown, MessageBox::Answer::No);
            else if (word == "nolaunch")
                m_launchWorks = false;
            else
                QVERIFY(QFile::setPermissions(path, QFile::permissions(path) & ~writeBits));
        }
    }

    // Starts `line` ("Quorvex" or "update"), then each program the one before started, up to
    // six, while the server publishes manifests[i] at the i-th start (the last one from then
    // on). Quorvex's splash is ticked up to its version check; the updater runs to its end.
    void run(QString line, const QStringList &manifests)
    {
        for (int start = 0; start < 6 && !line.isEmpty(); ++start) {
            m_server->setResponse("/update/update.html", {200, Gb18030::encode(manifests.value(start, manifests.last()))});
            const QStringList arguments = line.split(u' ');
            const qsizetype logged = m_log.size();
            if (arguments.first() == QLatin1String("Quorvex")) {
                CommandLine commandLine(arguments.first(), {}); // as Quorvex's own main reads it
                commandLine.acceptSkipUpdateCheck();
                QCOMPARE(commandLine.refuseRest(arguments), -1);
                std::unique_ptr<QWidget> main;
                Form2 splash(m_config, [&] { m_log.append("main window"); return (main = std::make_unique<QWidget>()).get(); });
                QSignalSpy ended(&splash, &Form2::endProgram);
                splash.Timer1->setEnabled(false); // ticked by hand
                if (commandLine.skipUpdateCheck())
                    splash.skipVersionCheck();
                splash.show();
                for (int tick = 0; tick < 3; ++tick)
                    splash.Timer1_Timer();
                // Closed, and either the main window is open or the program ends.
                QVERIFY(!splash.isVisible() && (main ? main->isVisible() && ended.isEmpty() : ended.size() == 1));
            } else {
                Updater::Form1 form(m_config);
                form.Timer2->setInterval(300); // the settle time, shortened; still well above Timer1's 100 ms
                connect(form.DL, &DL::Progress, this, [&](float f) {
                    if (f == 1.0f)
                        m_labels.append(form.Label3->text());
                    else if (ProgressText::percent(f) == QLatin1String("100%"))
                        ++m_early;
                });
                form.show();
                QTRY_VERIFY_WITH_TIMEOUT(form.hasEnded(), 10000);
            }
            line = m_log.size() > logged && m_log.last() != "main window" ? m_log.last() : QString();
        }
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        ProgramFolder::setOverride(m_dir->path());
        m_server = std::make_unique<FakeHttpServer>();
        QVERIFY(m_dir->isValid() && m_server->listen());
        m_config.updateBase = m_server->baseUrl();
        m_shown.clear();
        m_log = m_labels = QStringList();
        m_early = 0;
        m_launchWorks = true;
        MessageBox::recordAndAnswer(&m_shown, MessageBox::Answer::Yes);
        ProcessLauncher::setHook([this](const QString &program, const QStringList &arguments) {
            m_log.append((QStringList{QDir(m_dir->path()).relativeFilePath(program)} + arguments).join(u' '));
            return m_launchWorks;
        });
    }

    void cleanup()
    {
        SelfUpdate::setPackageManagedOverride(std::nullopt);
        QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void fetchtext_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("text");
        QTest::newRow("404 body returned") << Response{404, "<html>Not Found</html>"} << "<html>Not Found</html>";
        QTest::newRow("gb2312 chinese") << Response{200, "081218|\xd6\xd0\xce\xc4|Quorvex"} << "081218|中文|Quorvex";
        QTest::newRow("utf-8 not tried") << Response{200, "\xe4\xb8\xad\xe6\x96\x87"} << "涓\uE15F枃";
        QTest::newRow("bom kept") << Response{200, "\x84\x31\x95\x33 081218"} << QStringLiteral("\uFEFF 081218");
        QTest::newRow("broken transfer") << Response{200, QByteArray(4000, 'a'), 1000} << QString();
        QTest::newRow("silent server") << Response{200, "x", -1, true} << QString();
    }

    void fetchtext()
    {
        QFETCH(Response, response);
        m_server->setResponse("/update.html", response);
        const QDeadlineTimer bound(2500);
        QTEST(HttpFetch::fetchtext(m_server->baseUrl() + "/update.html", 500), "text");
        QVERIFY(!bound.hasExpired());
    }

    // A manifest field read as a version (its whole part, rounded down, within 32 bits) or as
    // a file name (one file of the program folder, nothing that hides); empty: refused.
    void fields_data()
    {
        QTest::addColumn<bool>("version");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        const std::pair<const char *, const char *> versions[] = {
            {" 081218\r\n", "81218"}, {"81217.99999999999999", "81217"}, {"2147483647.9999999999", "2147483647"},
            {"2147483648", ""}, {"-0.5", "-1"}, {"-2147483648.5", "-2147483648"}, {"-2147483649", ""},
            {"8.12185E4", "81218"}, {"81218e-1", "8121"}, {"1e9999999999999", ""}, {"0.000e9999999999999", "0"},
            {".5", "0"}, {"5.", "5"}, {"", ""}, {".", ""}, {"-", ""}, {"1e", ""}, {"0x10", ""}, {"1,5", ""},
            {"81218a", ""}, {"v1.3", ""}, {"1 2", ""}, {"\xef\xbc\x98", ""}};
        const auto row = [](bool version, const char *field) -> QTestData & {
            const QString text = QString::fromUtf8(field);
            return QTest::addRow("%s '%s'", version ? "version" : "name", qPrintable(Manifest::visibleName(text))) << version << text;
        };
        for (const auto &[field, value] : versions)
            row(true, field) << value;
        for (const char *safe : {"Quorvex\r\n", "说明.txt", "a..b", "\U0001F600.txt"})
            row(false, safe) << QString::fromUtf8(safe).trimmed();
        // Names that leave the folder or hide, and characters that make one name look like another.
        for (const char *unsafe : {"../evil", "/etc/passwd", "sub/x", "..\\evil", ".", "..", ".profile", "", "\r\n", "a\tb",
                                   "a\nb", "Quorvex\u202Etxt.exe", "Quor\u200Bvex", "Quor\uFEFFvex", "Quorvex\u2028",
                                   "a\u2029b", "a\u0085b", "a\U000E0001b"})
            row(false, unsafe) << "";
    }

    void fields()
    {
        QFETCH(bool, version);
        QFETCH(QString, field);
        const std::optional<qint32> number = Manifest::integerPart(field);
        const QString name = Manifest::fileName(field);
        QTEST(version ? (number ? QString::number(*number) : QString())
                      : (Manifest::isSafeFileName(name) ? name : QString()), "value");
    }

    void versions_data()
    {
        QTest::addColumn<QString>("manifest");
        QTest::addColumn<QString>("dat");     // update.dat beside the updater
        QTest::addColumn<bool>("splash");     // the splash hands over to the updater (build 081217)
        QTest::addColumn<Check>("updater");
        QTest::newRow("081218") << Later << "081217\r\n" << true << Check::Newer;
        QTest::newRow("name anywhere in the text") << "081218|v|Quorvex.exe" << "081217" << true << Check::Newer;
        QTest::newRow("name missing") << "081218|v1.3|update" << "081217" << false << Check::Newer;
        QTest::newRow("name in other case") << "081218|v1.3|quorvex" << "081217" << false << Check::Newer;
        QTest::newRow("two fields") << "081218|Quorvex 1.3" << "081217" << true << Check::Newer;
        QTest::newRow("one field") << "081218 Quorvex" << "081217" << false << Check::Unavailable;
        QTest::newRow("update.dat missing or empty is 0") << "000001|v" << "" << false << Check::Newer;
    }

    void versions()
    {
        QFETCH(QString, manifest);
        QFETCH(QString, dat);
        QTEST(Manifest::newerThanBuild(manifest), "splash");
        QTEST(Manifest::compare(Manifest::split(manifest), Manifest::installedVersion(dat)), "updater");
    }

    void progress_data()
    {
        QTest::addColumn<float>("fraction");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("settle"); // Timer2 switched on
        // 0.005 is a half; 1.005 is not 100%.
        for (const auto &[fraction, percent, settle] :
             {std::tuple{0.0f, "0%", false}, {0.005f, "1%", false}, {0.994f, "99%", false}, {0.996f, "100%", true}, {1.005f, "101%", false}})
            QTest::addRow("%s", percent) << fraction << QStringLiteral("已经完成：") + percent << settle;
    }

    void progress()
    {
        QFETCH(float, fraction);
        Updater::Form1 form(m_config);
        form.DL_Progress(fraction);
        QTEST(form.lblProg->text(), "caption");
        QTEST(form.Timer2->isEnabled(), "settle");
    }

    void road_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QStringList>("manifests"); // see run
        QTest::addColumn<QString>("scene");         // see prepare
        QTest::addColumn<QStringList>("boxes");     // how each box starts
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<int>("whole"); // files downloaded whole, in the manifest's order
        const QString three = "081218|v1.3|one.txt|two.sh|Quorvex\r\n";
        const QStringList none, main{"main window"}, back{"Quorvex --skip-update-check", "main window"}, over = QStringList{"update"} + back;
        QTest::newRow("same version") << "Quorvex" << QStringList{Same} << "" << none << main << 0;
        QTest::newRow("newer, three files") << "Quorvex" << QStringList{three} << "" << QStringList{Newer, Completion} << over << 3;
        QTest::newRow("updater will not start") << "Quorvex" << QStringList{Later} << "nolaunch"
                                                << QStringList{Newer, "无法启动升级程序："} << QStringList{"update", "main window"} << 0;
        QTest::newRow("read-only listed file") << "Quorvex" << QStringList{Later} << "Quorvex" << QStringList{Packaged} << main << 0;
        QTest::newRow("read-only file not listed, new program listed")
            << "Quorvex" << QStringList{"081218|v1.3|Quorvex|update"} << "update.dat" << QStringList{Newer, Completion} << over << 2;
        QTest::newRow("package-managed build") << "Quorvex" << QStringList{" 081218 |v1.3|Quorvex"} << "package" << QStringList{Packaged} << main << 0;
        QTest::newRow("update.dat ahead of the build") << "Quorvex" << QStringList{Later} << "dat=081218" << none << main << 0;
        QTest::newRow("mirrors that disagree") << "Quorvex" << QStringList{Later, Same} << "" << QStringList{Newer, UpToDate} << over << 0;
        QTest::newRow("three files, no") << "update" << QStringList{three} << "no" << QStringList{Completion} << none << 3;
        QTest::newRow("404 on the second") << "update" << QStringList{three} << "404" << QStringList{"下载two.sh失败：服务器返回状态 404"} << back << 1;
        QTest::newRow("second cut short, no") << "update" << QStringList{three} << "cut no" << QStringList{"下载two.sh失败："} << none << 1;
        QTest::newRow("last cannot be backed up") << "update" << QStringList{"081218|v1.3|one.txt|two.sh|sub"} << "sub"
                                                  << QStringList{"无法备份文件 sub"} << back << 3;
        QTest::newRow("read-only program folder") << "update" << QStringList{three} << "folder" << QStringList{Packaged} << back << 0;
        QTest::newRow("read-only listed file, updater") << "update" << QStringList{three} << "two.sh" << QStringList{Packaged} << back << 0;
        QTest::newRow("first name reversed by U+202E") << "update" << QStringList{"081218|v|evil\u202Etxt.sh|one.txt"} << ""
                                                       << QStringList{"升级信息中含有不安全的文件名：evil<U+202E>txt.sh"} << none << 0;
        QTest::newRow("field 0 not a number") << "update" << QStringList{"v1.3|x|one.txt"} << ""
                                              << QStringList{"无法获取升级信息，请稍后再试"} << back << 0;
    }

    // From the first program on, each one started as the one before asked: what the user is
    // told and asked, what is started, which files arrive, and the program folder, which holds
    // every listed file new once the update is complete and is as it was otherwise.
    void road()
    {
        QFETCH(QString, first);
        QFETCH(QStringList, manifests);
        QFETCH(QString, scene);
        QFETCH(QStringList, boxes);
        QFETCH(int, whole);
        prepare(scene);
        QStringList folder = snapshot();
        run(first, manifests);
        QCOMPARE(shown(boxes), boxes);
        QTEST(m_log, "log");
        const QStringList names = manifests.first().trimmed().split(u'|').mid(2);
        QCOMPARE(m_labels, QStringList(names.mid(0, whole)).replaceInStrings(QRegularExpression("^"), "正在下载"));
        QCOMPARE(m_early, 0);
        for (const QString &name : boxes.contains(Completion) ? names : QStringList()) {
            const bool program = folder.removeAll(name + "*=old " + name) || name == QLatin1String("update");
            folder.removeAll(name + "=old " + name);
            folder.append(name + (program ? "*=new " : "=new ") + name);
        }
        folder.sort();
        QCOMPARE(snapshot(), folder);
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("display"); // offscreen platform; otherwise no display at all
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says"); // on standard output for 0, on standard error otherwise
        // QApplication's own options are no reason to refuse, and "-reverse" is never -r -e -v ...
        const QStringList qt{"-style", "fusion", "-reverse", "--frobnicate"};
        QTest::newRow("Quorvex -h") << "Quorvex" << QStringList{"-h"} << false << 0 << "--help";
        QTest::newRow("update -v") << "update" << QStringList{"-v"} << false << 0 << "update 2.4 (081217)\n";
        QTest::newRow("Quorvex, Qt's options") << "Quorvex" << QStringList{"--skip-update-check"} + qt << true << 1 << "Unknown option 'frobnicate'.";
        QTest::newRow("update, Qt's options") << "update" << qt << true << 1 << "Unknown option 'frobnicate'.";
        QTest::newRow("no display") << "update" << QStringList() << false << 1 << "需要图形会话";
        QTest::newRow("stray argument") << "Quorvex" << QStringList{"list.txt"} << true << 1 << "list.txt";
    }

    void commandLine()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(bool, display);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (display)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QDir(qEnvironmentVariable("QUORVEX_PROGRAM_DIR")).filePath(program), arguments);
        QVERIFY2(process.waitForFinished(20000), qPrintable(process.errorString()));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, exitCode);
        const QString said = QString::fromUtf8(exitCode ? process.readAllStandardError() : process.readAllStandardOutput());
        QVERIFY2(said.contains(says), qPrintable(said));
    }

    // An update stopped after any one of its steps, as if the updater were killed there, and a
    // program started afterwards: the folder ends all old or, once the update had begun to put
    // files in place with all of them whole, all new, without a temporary, backup or journal
    // file, and the user is told once. A staged file damaged meanwhile means all old; while
    // the updater is still at work, the other program leaves the folder alone.
    void interruptedUpdate_data()
    {
        QTest::addColumn<int>("stop");          // the step the update stops after; 0: it never does
        QTest::addColumn<QString>("meanwhile"); // see interruptedUpdate
        QTest::addColumn<QString>("next");      // the program started next
        QTest::addColumn<QString>("ends");      // old, new, or left: as the update left it
        QTest::addColumn<QStringList>("boxes");
        // Which steps there are, and from which one the update is putting files in place.
        QTemporaryDir dry;
        StagedFiles files(dry.path());
        QVERIFY(files.lock());
        int steps = 0, firstCommit = 0;
        files.setStepHook([&](int step) {
            steps = step;
            firstCommit = firstCommit ? firstCommit : (files.committing() ? step : 0);
            return true;
        });
        QStringList parts;
        QVERIFY(runUpdate(dry.path(), files, parts) && firstCommit > 1 && steps > firstCommit);
        const QString completed = StagedFiles::outcomeText(StagedFiles::Outcome::Completed),
                      rolledBack = StagedFiles::outcomeText(StagedFiles::Outcome::RolledBack);
        for (int stop = 1; stop <= steps; ++stop) {
            const QString next = stop % 2 ? "Quorvex" : "update";
            QTest::addRow("stopped after step %d, then %s", stop, qPrintable(next))
                << stop << "" << next << (stop >= firstCommit ? "new" : "old")
                << QStringList{stop >= firstCommit ? completed : rolledBack} + QStringList(next == "update" ? 1 : 0, UpToDate);
        }
        QTest::newRow("never stopped") << 0 << "" << "Quorvex" << "new" << QStringList();
        QTest::newRow("a staged file damaged") << firstCommit << "damaged" << "Quorvex" << "old" << QStringList{rolledBack};
        QTest::newRow("a rename fails") << firstCommit << "lost" << "Quorvex" << "old" << QStringList();
        QTest::newRow("updater at work") << firstCommit << "at work" << "Quorvex" << "left"
                                         << QStringList{Newer, "另一个升级程序正在运行，请稍后再试。"};
    }

    void interruptedUpdate()
    {
        QFETCH(int, stop);
        QFETCH(QString, meanwhile);
        QFETCH(QString, next);
        QFETCH(QString, ends);
        QFETCH(QStringList, boxes);
        QStringList parts;
        {
            // "lost": update.dat's staged file goes as the commit begins, which goes on, so its
            // rename fails and the updater itself rolls back.
            StagedFiles files(m_dir->path());
            QVERIFY(files.lock());
            files.setStepHook([&](int step) { return step != stop || (meanwhile == "lost" && QFile::remove(parts.last())); });
            QVERIFY(runUpdate(m_dir->path(), files, parts));
        } // a stopped one leaves everything as it was
        for (const QString &part : meanwhile == "damaged" ? parts : QStringList()) { // each changed, its size kept
            QFile f(part);
            QVERIFY(f.open(QFile::ReadWrite) && f.write("X") == 1);
        }
        // A start that tells nothing must find nothing to clean up; the others also find a
        // download cut short, which no journal names.
        if (!boxes.isEmpty())
            QVERIFY(writeFile(StagedFiles::temporaryPath(m_dir->path(), "part"), "cut short"));
        StagedFiles atWork(m_dir->path()); // as an updater still running would
        QVERIFY(meanwhile != "at work" || atWork.lock());
        const QStringList left = snapshot();
        // The server publishes the version either program has, or a newer one while the
        // updater is at work.
        run(next, {meanwhile == "at work" ? Later : Same});
        const QStringList all{"Quorvex*=new Quorvex", "one.txt=new one.txt", "three.txt=new three.txt", "two.sh*=old two.sh", "update.dat=081218"};
        QCOMPARE(snapshot(), ends == "old" ? Old : ends == "new" ? all : left);
        QCOMPARE(shown(boxes), boxes);
        if (boxes.isEmpty())
            QCOMPARE(left, snapshot());
    }
};

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
