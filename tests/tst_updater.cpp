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
using Answer = MessageBox::Answer;
Q_DECLARE_METATYPE(Manifest::UpdateCheck)
Q_DECLARE_METATYPE(MessageBox::Answer)

static const QString ManifestPath = QStringLiteral("/update/update.html");
static const QString Completion = QStringLiteral("程序已经升级为最新版本，是否开始运行本程序？");
static const QString UpToDate = QStringLiteral("当前程序已经是最新版本，无需升级");

static bool writeFile(const QString &path, const QByteArray &data, bool program = false)
{
    QFile f(path);
    return f.open(QFile::WriteOnly) && f.write(data) == data.size() && (!program || f.setPermissions(f.permissions() | QFile::ExeOwner));
}

// One update of the program folder `folder` as the updater makes it, through `files`: the old
// install, a download cut short and never staged, then the changed program, a changed file, a
// new file and update.dat downloaded, staged and committed. False when a file could not be written.
static bool runUpdate(const QString &folder, StagedFiles &files)
{
    bool written = writeFile(folder + "/Quorvex", "old Quorvex", true) && writeFile(folder + "/one.txt", "old one")
                   && writeFile(folder + "/update.dat", "081217") && writeFile(StagedFiles::temporaryPath(folder, "part"), "new t");
    for (const auto &[name, data] : {std::pair{"Quorvex", "new Quorvex"}, {"one.txt", "new one"}, {"three.txt", "new three"}, {"update.dat", "081218"}}) {
        const QString part = StagedFiles::temporaryPath(folder, "part");
        written = writeFile(part, data, name == QLatin1String("Quorvex")) && written;
        files.add(part, name);
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
    QStringList m_boxes;   // texts shown, the program folder written as "."
    QStringList m_started; // relative to the program folder
    Answer m_answer = Answer::Yes;
    bool m_launchWorks = true;

    // Every file of the program folder as "name=content", with "*" after an executable's name.
    QStringList snapshot() const
    {
        QStringList entries;
        for (const QFileInfo &fi : QDir(m_dir->path()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile f(fi.filePath());
            entries.append(fi.fileName() + (fi.isExecutable() ? "*=" : "=") + (f.open(QFile::ReadOnly) ? f.readAll() : "?"));
        }
        return entries;
    }

    bool put(const QString &name, const QByteArray &data, QFile::Permissions extra = {})
    {
        QFile f(m_dir->filePath(name));
        return f.open(QFile::WriteOnly) && f.write(data) == data.size() && f.setPermissions(f.permissions() | extra);
    }

    // Makes part of the install one this user may not replace: "folder" (the program folder
    // without write bits), a file name (that file without write bits) or "package" (a build
    // for a package manager). Write bits are taken away from everybody, so this holds for
    // root as well.
    void lockDown(const QString &how)
    {
        constexpr QFile::Permissions writeBits = QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
        if (how == QLatin1String("package")) {
            SelfUpdate::setPackageManagedOverride(true);
        } else if (how == QLatin1String("folder")) {
            QVERIFY(QFile::setPermissions(m_dir->path(), QFile::permissions(m_dir->path()) & ~writeBits));
        } else if (how == QLatin1String("sub")) {
            QVERIFY(QDir(m_dir->path()).mkdir(how)); // a folder where a file is to go
        } else if (!how.isEmpty()) {
            QVERIFY(QFile::setPermissions(m_dir->filePath(how), QFile::permissions(m_dir->filePath(how)) & ~writeBits));
        }
    }

private slots:
    void cleanup()
    {
        SelfUpdate::setPackageManagedOverride(std::nullopt);
        QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        ProgramFolder::setOverride(m_dir->path());
        m_server = std::make_unique<FakeHttpServer>();
        QVERIFY(m_dir->isValid() && m_server->listen());
        m_config.updateBase = m_server->baseUrl();
        m_boxes = m_started = QStringList();
        m_launchWorks = true;
        MessageBox::setHook([this](const MessageBox::Shown &shown) {
            m_boxes.append(QString(shown.text).replace(m_dir->path(), QStringLiteral(".")));
            return shown.question ? m_answer : Answer::Ok;
        });
        ProcessLauncher::setHook([this](const QString &program, const QStringList &arguments) {
            m_started.append((QStringList{QDir(m_dir->path()).relativeFilePath(program)} + arguments).join(u' '));
            return m_launchWorks;
        });
    }

    void fetchtext_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("text");
        QTest::newRow("404 body returned") << Response{404, "<html>Not Found</html>"} << "<html>Not Found</html>";
        QTest::newRow("gb2312 chinese") << Response{200, "081218|\xd6\xd0\xce\xc4|Quorvex"} << "081218|中文|Quorvex";
        QTest::newRow("utf-8 not tried") << Response{200, "\xe4\xb8\xad\xe6\x96\x87"} << "涓\uE15F枃";
        // A GB18030 byte-order mark and leading spaces are text like any other.
        QTest::newRow("bom kept") << Response{200, "\x84\x31\x95\x33 081218"} << QStringLiteral("\uFEFF 081218");
        QTest::newRow("empty body") << Response{200, {}} << QString();
        QTest::newRow("broken transfer") << Response{200, QByteArray(4000, 'a'), 1000} << QString();
        QTest::newRow("silent server") << Response{200, "x", -1, true} << QString();
    }

    void fetchtext()
    {
        QFETCH(Response, response);
        m_server->setResponse(ManifestPath, response);
        const QDeadlineTimer bound(2500);
        QTEST(HttpFetch::fetchtext(m_server->baseUrl() + ManifestPath, 500), "text");
        QVERIFY(!bound.hasExpired());
    }

    void integerPart_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("value"); // empty: not a number
        QTest::newRow("spaces and line break") << " 081218\r\n" << "81218";
        QTest::newRow("long fraction never rounds up") << "81217.99999999999999" << "81217";
        QTest::newRow("largest whole part, long fraction") << "2147483647.9999999999" << "2147483647";
        QTest::newRow("beyond 32 bits") << "2147483648" << "";
        QTest::newRow("beyond 32 bits with zeros in front") << "0002147483648.0" << "";
        QTest::newRow("negative rounds down") << "-0.5" << "-1";
        QTest::newRow("smallest whole part, fraction") << "-2147483648.5" << "-2147483648";
        QTest::newRow("below 32 bits") << "-2147483649" << "";
        QTest::newRow("exponent") << "8.1218e4" << "81218";
        QTest::newRow("exponent leaves a fraction") << "8.12185E4" << "81218";
        QTest::newRow("negative exponent") << "81218e-1" << "8121";
        QTest::newRow("huge exponent") << "1e9999999999999" << "";
        QTest::newRow("zero with huge exponent") << "0.000e9999999999999" << "0";
        QTest::newRow("point only in front") << ".5" << "0";
        QTest::newRow("point at the end") << "5." << "5";
        for (const char *bad : {"", ".", "-", "1e", "0x10", "1,5", "81218a", "v1.3", "1 2", "\xef\xbc\x98"})
            QTest::newRow(bad) << QString::fromUtf8(bad) << "";
    }

    void integerPart()
    {
        QFETCH(QString, text);
        const std::optional<qint32> value = Manifest::integerPart(text);
        QTEST(value ? QString::number(*value) : QString(), "value");
    }

    void versions_data()
    {
        QTest::addColumn<QString>("manifest");
        QTest::addColumn<QString>("dat");   // update.dat beside the updater
        QTest::addColumn<bool>("splash");   // the splash hands over to the updater (build 081217)
        QTest::addColumn<Check>("updater");
        QTest::newRow("081217") << "081217|v1.2|Quorvex" << "081217" << false << Check::UpToDate;
        QTest::newRow("081218") << "081218|v1.3|Quorvex" << "081217\r\n" << true << Check::Newer;
        QTest::newRow("81217.99999999999999") << "81217.99999999999999|v1.3|Quorvex" << "081217" << false << Check::UpToDate;
        QTest::newRow("2147483647.9999999999") << "2147483647.9999999999|v|Quorvex" << "081217" << true << Check::Newer;
        QTest::newRow("100101") << "100101|v2.0|Quorvex" << "081217" << true << Check::Newer;
        QTest::newRow("name anywhere in the text") << "081218|v|Quorvex.exe" << "081217" << true << Check::Newer;
        QTest::newRow("name missing") << "081218|v1.3|update" << "081217" << false << Check::Newer;
        QTest::newRow("name in other case") << "081218|v1.3|quorvex" << "081217" << false << Check::Newer;
        QTest::newRow("two fields") << "081218|Quorvex 1.3" << "081217" << true << Check::Newer;
        QTest::newRow("one field") << "081218 Quorvex" << "081217" << false << Check::Unavailable;
        QTest::newRow("field 0 not a number") << "v1.3|x|Quorvex" << "081217" << false << Check::Unavailable;
        QTest::newRow("empty") << "" << "081217" << false << Check::Unavailable;
        QTest::newRow("update.dat missing or empty is 0") << "000001|v" << "" << false << Check::Newer;
    }

    void versions()
    {
        QFETCH(QString, manifest);
        QFETCH(QString, dat);
        QTEST(Manifest::newerThanBuild(manifest), "splash");
        QTEST(Manifest::compare(Manifest::split(manifest), Manifest::installedVersion(dat)), "updater");
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("name"); // empty: refused
        QTest::newRow("line break at the end") << "Quorvex\r\n" << "Quorvex";
        QTest::newRow("chinese") << "说明.txt" << "说明.txt";
        QTest::newRow("dots inside") << "a..b" << "a..b";
        QTest::newRow("emoji") << "\U0001F600.txt" << "\U0001F600.txt";
        for (const char *unsafe : {"../evil", "/etc/passwd", "sub/x", "..\\evil", ".", "..", ".profile", "",
                                   "\r\n", "a\tb", "a\nb"})
            QTest::newRow(unsafe) << unsafe << "";
        // Invisible or reordering characters could make one name look like another.
        int n = 0;
        for (const char *hidden : {"Quorvex\u202Etxt.exe", "Quor\u200Bvex", "Quor\uFEFFvex", "Quorvex\u2028", "a\u2029b",
                                   "a\u0085b", "a\U000E0001b"})
            QTest::addRow("invisible or reordering %d", ++n) << QString::fromUtf8(hidden) << "";
    }

    void fileNames()
    {
        QFETCH(QString, field);
        const QString name = Manifest::fileName(field);
        QTEST(Manifest::isSafeFileName(name) ? name : QString(), "name");
    }

    void progress_data()
    {
        QTest::addColumn<float>("fraction");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("settle"); // Timer2 switched on
        QTest::newRow("0") << 0.0f << "已经完成：0%" << false;
        QTest::newRow("0.5") << 0.5f << "已经完成：50%" << false;
        QTest::newRow("0.994") << 0.994f << "已经完成：99%" << false;
        QTest::newRow("0.996") << 0.996f << "已经完成：100%" << true;
        QTest::newRow("1") << 1.0f << "已经完成：100%" << true;
        QTest::newRow("1.005 is not 100%") << 1.005f << "已经完成：101%" << false;
    }

    void progress()
    {
        QFETCH(float, fraction);
        Updater::Form1 form(m_config);
        form.DL_Progress(fraction);
        QTEST(form.lblProg->text(), "caption");
        QTEST(form.Timer2->isEnabled(), "settle");
    }

    void splashTicks_data()
    {
        QTest::addColumn<QString>("manifest");
        QTest::addColumn<QString>("lock");
        QTest::addColumn<bool>("launchWorks");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("started");
        QTest::addColumn<bool>("mainShown");
        const QString newer = QStringLiteral("发现新版本，系统正在关闭本程序，进行软件升级");
        const QString v = "081218|v1.3|Quorvex";
        const QStringList none, updater{"update"}, packaged{QStringLiteral("发现新版本 081218，请通过系统的软件包管理器升级。")};
        QTest::newRow("same version") << "081217|v1.2|Quorvex" << "" << true << none << none << true;
        QTest::newRow("newer: update started") << v << "" << true << QStringList{newer} << updater << false;
        QTest::newRow("newer without the name") << "081218|v1.3|update" << "" << true << none << none << true;
        QTest::newRow("update will not start") << v << "" << false << QStringList{newer, "无法启动升级程序：./update"}
                                               << updater << true;
        QTest::newRow("read-only program folder") << v << "folder" << true << packaged << none << true;
        QTest::newRow("read-only listed file") << v << "Quorvex" << true << packaged << none << true;
        QTest::newRow("read-only file not listed") << "081218|v1.3|Quorvex|one.txt" << "update.dat" << true
                                                   << QStringList{newer} << updater << false;
        QTest::newRow("package-managed build") << " 081218 |v1.3|Quorvex" << "package" << true << packaged << none << true;
    }

    void splashTicks()
    {
        QFETCH(QString, manifest);
        QFETCH(bool, mainShown);
        QFETCH(bool, launchWorks);
        QFETCH(QString, lock);
        m_launchWorks = launchWorks;
        QVERIFY(put("Quorvex", "old Quorvex", QFile::ExeOwner) && put("update.dat", "081217"));
        lockDown(lock);
        m_server->setResponse(ManifestPath, {200, manifest.toUtf8()});
        std::unique_ptr<QWidget> main;
        Form2 splash(m_config, [&main] { return (main = std::make_unique<QWidget>()).get(); });
        splash.Timer1->setEnabled(false); // ticked by hand
        QSignalSpy ended(&splash, &Form2::endProgram);
        splash.show();
        splash.Timer1_Timer();
        QVERIFY(!splash.skinChecked());
        splash.Timer1_Timer();
        QVERIFY(splash.skinChecked() && m_server->requestedPaths().isEmpty());
        splash.Timer1_Timer();
        QCOMPARE(m_server->requestedPaths(), QStringList{ManifestPath});
        QTEST(m_boxes, "boxes");
        QTEST(m_started, "started");
        QCOMPARE(ended.size(), mainShown ? 0 : 1);
        QCOMPARE(main && main->isVisible(), mainShown);
        QVERIFY(!splash.isVisible());
    }

    void update_data()
    {
        QTest::addColumn<QString>("manifest");
        QTest::addColumn<QString>("lock");       // what this user may not replace (see lockDown)
        QTest::addColumn<Response>("two");       // the server's answer for two.sh
        QTest::addColumn<Answer>("answer");      // to the one question
        QTest::addColumn<QString>("box");        // how the one message box starts
        QTest::addColumn<QStringList>("label3"); // Label3 as each file was complete
        QTest::addColumn<QStringList>("started");
        QTest::addColumn<QStringList>("folder"); // snapshot() at the end

        const QString three = "081218|v1.3|one.txt|two.sh|Quorvex\r\n";
        const Response ok{200, "new two"};
        const QStringList labels{"正在下载one.txt", "正在下载two.sh", "正在下载Quorvex"}, first = labels.mid(0, 1);
        // Whatever fails, every old file stays as it was (run bits too) and no temporary file is left.
        const QStringList old{"Quorvex*=old Quorvex", "one.txt=old one", "two.sh*=old two", "update.dat=081217"};
        const QStringList all{"Quorvex*=new Quorvex", "one.txt=new one", "two.sh*=new two", "update.dat=081217"};
        const QStringList none, main{"Quorvex --skip-update-check"};
        const QString packaged = QStringLiteral("发现新版本 081218，请通过系统的软件包管理器升级。");
        QTest::newRow("three files, yes") << three << "" << ok << Answer::Yes << Completion << labels << main << all;
        QTest::newRow("three files, no") << three << "" << ok << Answer::No << Completion << labels << none << all;
        QTest::newRow("404 on the second, old program started")
            << three << "" << Response{404, "gone"} << Answer::Yes << "下载two.sh失败：服务器返回状态 404" << first << main << old;
        QTest::newRow("second cut short, nothing started")
            << three << "" << Response{200, QByteArray(8000, 'n'), 3000} << Answer::No << "下载two.sh失败：" << first << none << old;
        QTest::newRow("last cannot be put in place")
            << "081218|v1.3|one.txt|two.sh|sub" << "sub" << ok << Answer::Yes << "无法备份文件 sub"
            << QStringList{"正在下载one.txt", "正在下载two.sh", "正在下载sub"} << main << old;
        QTest::newRow("read-only program folder") << three << "folder" << ok << Answer::Yes << packaged << none << main << old;
        QTest::newRow("read-only listed file") << three << "two.sh" << ok << Answer::Yes << packaged << none << main << old;
        QTest::newRow("package-managed build") << three << "package" << ok << Answer::Yes << packaged << none << main << old;
        QTest::newRow("up to date") << "081217|v1.2|one.txt" << "" << ok << Answer::Yes
                                    << "当前程序已经是最新版本，无需升级" << none << main << old;
        QTest::newRow("two fields") << "081218|v1.3\r\n" << "" << ok << Answer::Yes << Completion << none << main << old;
        QTest::newRow("unsafe name") << "081218|v|one.txt|../evil" << "" << ok << Answer::Yes
                                     << "升级信息中含有不安全的文件名：../evil" << none << none << old;
        QTest::newRow("name reversed by U+202E") << "081218|v|one.txt|evil\u202Etxt.sh" << "" << ok << Answer::Yes
                                                 << "升级信息中含有不安全的文件名：evil<U+202E>txt.sh" << none << none << old;
        QTest::newRow("field 0 not a number") << "v1.3|x|one.txt" << "" << ok << Answer::Yes
                                              << "无法获取升级信息，请稍后再试" << none << main << old;
    }

    void update()
    {
        QFETCH(QString, manifest);
        QFETCH(Response, two);
        QFETCH(Answer, answer);
        QFETCH(QString, box);
        QFETCH(QString, lock);
        m_answer = answer;
        QVERIFY(put("Quorvex", "old Quorvex", QFile::ExeOwner) && put("one.txt", "old one")
                && put("two.sh", "old two", QFile::ExeOwner) && put("update.dat", "081217"));
        lockDown(lock);
        m_server->setResponse(ManifestPath, {200, Gb18030::encode(manifest)});
        m_server->setResponse("/update/one.txt", {200, "new one"});
        m_server->setResponse("/update/two.sh", two);
        m_server->setResponse("/update/Quorvex", {200, "new Quorvex"});
        m_server->setResponse("/update/sub", {200, "new sub"});

        Updater::Form1 form(m_config);
        form.Timer2->setInterval(300); // the settle time, shortened; still well above Timer1's 100 ms
        QStringList saved;
        int early = 0; // "100%" before the file is whole would let the next file start too soon
        connect(form.DL, &DL::Progress, this, [&](float f) {
            if (f == 1.0f)
                saved.append(form.Label3->text());
            else if (ProgressText::percent(f) == QLatin1String("100%"))
                ++early;
        });
        form.show();
        QTRY_VERIFY_WITH_TIMEOUT(form.hasEnded(), 10000);
        QVERIFY2(m_boxes.size() == 1 && m_boxes.first().startsWith(box), qPrintable(m_boxes.join(" | ")));
        QTEST(saved, "label3");
        QCOMPARE(early, 0);
        QTEST(m_started, "started");
        QTEST(snapshot(), "folder");
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("display"); // offscreen platform; otherwise no display at all
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // standard output contains it
        QTest::addColumn<QString>("err"); // standard error contains it
        const QString version = QStringLiteral(" 2.4 (081217)\n");
        for (const QString program : {"Quorvex", "update"}) {
            const auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s %s", qPrintable(program), name); };
            row("--help") << program << QStringList{"--help"} << false << 0 << "--version" << "";
            row("-h") << program << QStringList{"-h"} << false << 0 << "--help" << "";
            row("--version") << program << QStringList{"--version"} << false << 0 << program + version << "";
            row("-v") << program << QStringList{"-v"} << false << 0 << program + version << "";
            // QApplication's own options are no reason to refuse, and "-reverse" is never -r -e -v ...
            row("Qt's options pass") << program << QStringList{"-style", "fusion", "-reverse", "--frobnicate"} << true << 1 << ""
                                     << "Unknown option 'frobnicate'.";
            row("no display") << program << QStringList() << false << 1 << "" << "需要图形会话";
            row("unknown option") << program << QStringList{"--frobnicate"} << true << 1 << "" << "frobnicate";
            row("stray argument") << program << QStringList{"list.txt"} << true << 1 << "" << "list.txt";
        }
    }

    void commandLine()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(bool, display);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (display)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QDir(qEnvironmentVariable("QUORVEX_PROGRAM_DIR")).filePath(program), arguments);
        QVERIFY2(process.waitForFinished(20000), qPrintable(process.errorString()));
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QString stdOut = QString::fromUtf8(process.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QTEST(process.exitCode(), "exitCode");
        QVERIFY2(stdOut.contains(out) && stdErr.contains(err), qPrintable(stdOut + stdErr));
    }

    // Each program started as the one before asked, the first being Quorvex, until the main
    // window opens. update.dat ahead of the build, which once made the splash and the updater
    // start each other for ever, opens it at once; mirrors that disagree (every other fetch
    // publishes the older version) open it after one round.
    void noHandOverLoop_data()
    {
        QTest::addColumn<QStringList>("manifests"); // served in turn, one per start
        QTest::addColumn<QByteArray>("dat");
        QTest::addColumn<QStringList>("started");
        const QString newer = "081218|v1.3|Quorvex", older = "081217|v1.2|Quorvex";
        QTest::newRow("update.dat ahead of the build") << QStringList{newer} << QByteArray("081218") << QStringList();
        QTest::newRow("mirrors that disagree") << QStringList{newer, older} << QByteArray("081217")
                                               << QStringList{"update", "Quorvex --skip-update-check"};
    }
    void noHandOverLoop()
    {
        QFETCH(QStringList, manifests);
        QFETCH(QByteArray, dat);
        QVERIFY(put("Quorvex", "Quorvex", QFile::ExeOwner) && put("update.dat", dat));
        bool mainShown = false;
        for (int start = 0; start < 6 && !mainShown && start <= m_started.size(); ++start) {
            m_server->setResponse(ManifestPath, {200, manifests.at(start % manifests.size()).toUtf8()});
            const QStringList line = start == 0 ? QStringList{"Quorvex"} : m_started.at(start - 1).split(u' ');
            if (line.first() == QLatin1String("Quorvex")) {
                CommandLine commandLine(line.first(), {}); // as Quorvex's own main reads it
                commandLine.acceptSkipUpdateCheck();
                QCOMPARE(commandLine.refuseRest(line), -1);
                std::unique_ptr<QWidget> main;
                Form2 splash(m_config, [&main] { return (main = std::make_unique<QWidget>()).get(); });
                if (commandLine.skipUpdateCheck())
                    splash.skipVersionCheck();
                splash.Timer1->setEnabled(false);
                for (int tick = 0; tick < 3; ++tick)
                    splash.Timer1_Timer();
                mainShown = main && main->isVisible();
            } else {
                Updater::Form1 form(m_config);
                form.Form_Activate();
                QVERIFY(form.hasEnded());
            }
        }
        QVERIFY2(mainShown, qPrintable(m_started.join(" | ")));
        QTEST(m_started, "started");
    }

    // An update stopped after any one of its steps, as if the updater were killed there, and a
    // program started afterwards: the folder ends all old or, once the update had begun to put
    // files in place with all of them whole, all new, without a temporary, backup or journal
    // file, and the user is told once. A staged file damaged meanwhile means all old; while
    // the updater is still at work, the other program leaves the folder alone.
    void interruptedUpdate_data()
    {
        QTest::addColumn<int>("stop");      // the step the update stops after; 0: it never does
        QTest::addColumn<QString>("next");  // the program started next: Quorvex or update
        QTest::addColumn<QString>("ends");  // old, new, or as left (the updater at work)
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("meanwhile"); // "damaged": every staged file cut short; "at work": an updater holds the folder
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
        QVERIFY(runUpdate(dry.path(), files) && firstCommit > 1 && steps > firstCommit);
        const QString completed = StagedFiles::outcomeText(StagedFiles::Outcome::Completed),
                      rolledBack = StagedFiles::outcomeText(StagedFiles::Outcome::RolledBack);
        for (int stop = 1; stop <= steps; ++stop) {
            const QString next = stop % 2 ? "Quorvex" : "update";
            QStringList boxes{stop >= firstCommit ? completed : rolledBack};
            if (next == "update")
                boxes << UpToDate;
            QTest::addRow("stopped after step %d, then %s", stop, qPrintable(next))
                << stop << next << (stop >= firstCommit ? "new" : "old") << boxes << "";
        }
        QTest::newRow("never stopped") << 0 << "Quorvex" << "new" << QStringList() << "";
        QTest::newRow("a staged file damaged") << firstCommit << "Quorvex" << "old" << QStringList{rolledBack} << "damaged";
        QTest::newRow("updater at work, Quorvex started") << firstCommit << "Quorvex" << "as left" << QStringList() << "at work";
        QTest::newRow("updater at work, update started") << firstCommit << "update" << "as left"
                                                         << QStringList{"另一个升级程序正在运行，请稍后再试。"} << "at work";
    }
    void interruptedUpdate()
    {
        QFETCH(int, stop);
        QFETCH(QString, next);
        QFETCH(QString, ends);
        QFETCH(QString, meanwhile);
        {
            StagedFiles files(m_dir->path());
            QVERIFY(files.lock());
            files.setStepHook([stop](int step) { return step != stop; });
            QVERIFY(runUpdate(m_dir->path(), files));
        } // a stopped one leaves everything as it was
        if (meanwhile == "damaged") {
            for (const QString &part : QDir(m_dir->path()).entryList({".quorvex-*.part"}, QDir::Files | QDir::Hidden))
                QVERIFY(QFile::resize(m_dir->filePath(part), 1));
        }
        StagedFiles atWork(m_dir->path()); // as the updater still running would
        QVERIFY(meanwhile != "at work" || atWork.lock());
        const QStringList left = snapshot();

        // Started again: the updater finds the server publishing the version it has, or a newer
        // one while another updater is at work; Quorvex gets as far as its version check.
        m_server->setResponse(ManifestPath, {200, meanwhile == "at work" ? "081218|v1.3|Quorvex" : "081217|v1.2|Quorvex"});
        if (next == "Quorvex") {
            Form2 splash(m_config, {});
            splash.Timer1->setEnabled(false);
            splash.Timer1_Timer();
            splash.Timer1_Timer();
        } else {
            Updater::Form1 form(m_config);
            form.Form_Activate();
        }
        const QStringList old{"Quorvex*=old Quorvex", "one.txt=old one", "update.dat=081217"};
        const QStringList all{"Quorvex*=new Quorvex", "one.txt=new one", "three.txt=new three", "update.dat=081218"};
        QCOMPARE(snapshot(), ends == "old" ? old : ends == "new" ? all : left);
        QTEST(m_boxes, "boxes");
    }
};

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
