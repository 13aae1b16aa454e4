// List files without a window: the bytes each save writes, the lines an import reads, and
// writes and reads that fail.
#include "TestFiles.h"
#include "listfiles/ListFile.h"
#include "listfiles/ListFileIo.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

class TestListFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); } // a write past a file-size cap fails with EFBIG instead

    // kind: "list" the generated list (and rest list) of `lines`, "free" the free-names text of
    // `lines` joined by LF, "read" the lines read from `bytes`.
    void bytes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("list of three") << "list" << QStringList{"a.com", "b.net", "c.cn"} << QByteArray("a.com\r\nb.net\r\nc.cn\r\n");
        QTest::newRow("empty list") << "list" << QStringList{} << QByteArray("\r\n");
        QTest::newRow("list drops leading empties, keeps spaces")
            << "list" << QStringList{"", "", "a.com", "", " b .com "} << QByteArray("a.com\r\n\r\n b .com \r\n");
        QTest::newRow("list in GB18030") << "list" << QStringList{QStringLiteral("已经被注册")}
                                         << QByteArray("\xD2\xD1\xBE\xAD\xB1\xBB\xD7\xA2\xB2\xE1\r\n");
        QTest::newRow("free names: every line end CR LF, and one more")
            << "free" << QStringList{"a.cn", "b.com", "", "c\rd"} << QByteArray("a.cn\r\nb.com\r\n\r\nc\r\nd\r\n");
        QTest::newRow("no final line end") << "read" << QStringList{"x.com", "y.com"} << QByteArray("x.com\r\ny.com");
        QTest::newRow("CR LF: one empty row") << "read" << QStringList{""} << QByteArray("\r\n");
        QTest::newRow("0 bytes") << "read" << QStringList{} << QByteArray();
        QTest::newRow("one character, no line end") << "read" << QStringList{"a", "b"} << QByteArray("a\r\nb");
        QTest::newRow("lone CR ends a line, lone LF does not") << "read" << QStringList{"a", "b\nc", "d"} << QByteArray("a\rb\nc\r\nd\r");
        QTest::newRow("keeps spaces and blank lines")
            << "read" << QStringList{" a.com ", "", "\tB.com", ""} << QByteArray(" a.com \r\n\r\n\tB.com\r\n\r\n");
        QTest::newRow("GB2312") << "read" << QStringList{QStringLiteral("中文.com"), QStringLiteral("测试")}
                                << QByteArray("\xD6\xD0\xCE\xC4.com\r\n\xB2\xE2\xCA\xD4");
        QTest::newRow("four-byte characters") << "read" << QStringList{QStringLiteral("\U00020000\u2E91")}
                                              << QByteArray("\x95\x32\x82\x36\x81\x39\x81\x30");
        QTest::newRow("binary") << "read" << QStringList{QString("a") + QChar(0) + u'b', QStringLiteral("\uFFFD\uFFFD"), QString(200000, u'z')}
                                << QByteArray("a\0b\r\n\xFF\x81\r\n", 9) + QByteArray(200000, 'z');
        // A file cut inside its last character keeps its last line, the broken bytes shown as such.
        QTest::newRow("unfinished last character") << "read" << QStringList{"a.com", QStringLiteral("b\uFFFD")} << QByteArray("a.com\r\nb\xD6");
        QTest::newRow("unfinished four-byte character") << "read" << QStringList{QStringLiteral("\uFFFD")} << QByteArray("\x81\x30\x81");
        // A broken character just before a line end cannot swallow it: still two lines.
        QTest::newRow("broken character before a CR")
            << "read" << QStringList{QStringLiteral("\uFFFD"), QStringLiteral("\uFFFD")} << QByteArray("\x95\x33\r\x9F");
    }
    void bytes()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, bytes);
        if (kind == u"read")
            QCOMPARE(ListFile::splitLines(bytes), lines);
        else
            QCOMPARE(kind == u"list" ? ListFile::generatedListBytes(lines) : ListFile::freeNamesBytes(lines.join(u'\n')), bytes);
    }

    // A write that fails, a full disk among them, says why and leaves an older file whole; a read
    // that fails says why.
    void failures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("write");
        for (const bool write : {true, false}) {
            for (const char *file : {"no/such.txt", "folder"})
                QTest::addRow("%s %s", write ? "write to" : "read from", file) << file << write;
        }
        QTest::newRow("write to a full disk") << "full.txt" << true;
    }
    void failures()
    {
        QFETCH(QString, file);
        QFETCH(bool, write);
        QTemporaryDir dir;
        const QString path = dir.filePath(file);
        QVERIFY(file != u"folder" || QDir().mkdir(path));
        QVERIFY(file != u"full.txt" || writeFile(path, "old.com\r\n"));
        QString error;
        QStringList lines{"kept"};
        rlimit cap{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &cap) == 0);
        const rlimit before = cap;
        cap.rlim_cur = file == u"full.txt" ? 4 : cap.rlim_cur;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &cap) == 0);
        const bool done = write ? ListFileIo::write(path, "a.com\r\nb.com\r\n", &error) : ListFileIo::readLines(path, &lines, &error);
        setrlimit(RLIMIT_FSIZE, &before);
        QVERIFY(!done && !error.isEmpty());
        QCOMPARE(lines, QStringList{"kept"});
        if (file == u"full.txt")
            QCOMPARE(readFile(path), QByteArray("old.com\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestListFiles)
#include "tst_listfiles.moc"
