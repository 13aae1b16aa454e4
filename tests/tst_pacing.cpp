// Pacing of a registry that limits us: the pace of one host on its own (times handed in),
// then the query run without a window against loopback registries that limit, with short
// constants in place of the product's.
#include "FakeHttpServer.h"
#include "FakeWhoisServer.h"

#include "run/HostPace.h"
#include "run/QueryChannel.h"
#include "run/QueryRun.h"
#include "run/TaskListStore.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

namespace {

// The product's constants, as the run uses them unless told otherwise.
const PaceRules Product;

// "l" a limit (from a query sent now), "a" an answer, "t" a time-out; a number before a
// letter repeats it; "+N" lets N ms pass. Returns maxBusy/spacing/nextBackoff/heldFor and
// "G" once given up.
QString play(HostPace &p, const QString &events, qint64 &now)
{
    const auto number = [&events](qsizetype &i) {
        qint64 n = 0;
        while (i < events.size() && events.at(i).isDigit())
            n = n * 10 + events.at(i++).digitValue();
        return n;
    };
    for (qsizetype i = 0; i < events.size();) {
        if (events.at(i) == u' ') {
            ++i;
        } else if (events.at(i) == u'+') {
            ++i;
            now += number(i);
        } else {
            const qint64 n = qMax<qint64>(1, number(i));
            const QChar e = events.at(i++);
            for (qint64 k = 0; k < n; ++k) {
                if (e == u'l')
                    p.limited(now, now);
                else if (e == u'a')
                    p.answered();
                else if (e == u't' && p.timedOut())
                    p.limited(now, now);
            }
        }
    }
    return QStringLiteral("%1/%2/%3/%4%5").arg(p.maxBusy()).arg(p.spacingMs()).arg(p.nextBackoffMs())
        .arg(qMax<qint64>(0, p.heldUntil() - now)).arg(p.givenUp() ? "G" : "");
}

} // namespace

class TestPacing : public QObject
{
    Q_OBJECT
private slots:
    void hostPace_data();
    void hostPace();
    void repeatsOfOneLimitCountOnce();
    void heldHostWaits();
};

void TestPacing::hostPace_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("after"); // maxBusy/spacing/next back-off/held for, G given up
    QTest::newRow("fresh: the whole run's pace") << "" << "20/100/15000/0";
    QTest::newRow("answers change nothing") << "50a" << "20/100/15000/0";
    QTest::newRow("first limit: half as many, held 15 s") << "l" << "10/100/30000/15000";
    QTest::newRow("second limit doubles the hold") << "l+15000l" << "5/100/60000/30000";
    QTest::newRow("down to one in flight") << "a+15000l+30000l+60000l+120000l+240000l" << "1/200/480000/240000";
    QTest::newRow("then spacing doubles") << "a+15000l+30000l+60000l+120000l+240000l+480000l" << "1/400/600000/480000";
    QTest::newRow("spacing stops at 60 s") << "a4l lalalalalalalalalala" << "1/60000/600000/600000";
    QTest::newRow("20 answers: spacing halves first") << "a+15000l+30000l+60000l+120000l+240000l+480000l+600000 20a"
                                                   << "1/200/15000/0";
    QTest::newRow("19 answers are not enough") << "a+15000l+30000l+60000l+120000l+240000l+480000l+600000 19a"
                                               << "1/400/600000/0";
    QTest::newRow("then one more in flight") << "l+15000 20a" << "11/100/15000/0";
    QTest::newRow("never past the run's channels") << "l+15000 400a" << "20/100/15000/0";
    QTest::newRow("two time-outs are no limit") << "2t" << "20/100/15000/0";
    QTest::newRow("the third is") << "3t" << "10/100/30000/15000";
    QTest::newRow("an answer breaks the row of time-outs") << "2ta2t" << "20/100/15000/0";
    QTest::newRow("never answered: gives up after three holds") << "l+15000l+30000l+60000l" << "2/100/120000/0G";
    QTest::newRow("never answered: three holds are not yet") << "l+15000l+30000l" << "2/100/120000/60000";
    QTest::newRow("answered: three holds at the ceiling, then gives up")
        << "a6l+600000l+600000l+600000l+600000l" << "1/3200/600000/0G";
    QTest::newRow("answered: an answer between ceiling holds starts over")
        << "a6l+600000l+600000la+600000l+600000l" << "1/6400/600000/600000";
}

void TestPacing::hostPace()
{
    QFETCH(QString, events);
    QFETCH(QString, after);
    HostPace p(Product, 20);
    qint64 now = 1000;
    QCOMPARE(play(p, events, now), after);
}

void TestPacing::repeatsOfOneLimitCountOnce()
{
    // Twenty channels met the limit at once: one hold, one step down.
    HostPace p(Product, 20);
    for (int i = 0; i < 20; ++i)
        p.limited(5000 + i, 4000 + i);
    QCOMPARE(p.maxBusy(), 10);
    QCOMPARE(p.heldUntil(), 5000 + 15000);
    // A query sent after that limit is new evidence.
    p.limited(21000, 20500);
    QCOMPARE(p.maxBusy(), 5);
    QCOMPARE(p.heldUntil(), 21000 + 30000);
    // The server's own word on when to come back.
    p.limited(60000, 59000, 2000);
    QCOMPARE(p.heldUntil(), 62000);
}

void TestPacing::heldHostWaits()
{
    HostPace p(Product, 4);
    QVERIFY(p.mayStart(0, 3));
    QVERIFY(!p.mayStart(0, 4));
    p.limited(100, 100);
    QVERIFY(!p.mayStart(15099, 0));
    QVERIFY(p.mayStart(15100, 1));
    QVERIFY(!p.mayStart(15100, 2));
    p.limited(16000, 15500);
    p.limited(50000, 49000); // one in flight: now spacing
    QCOMPARE(p.spacingMs(), 200);
    p.started(200000);
    QVERIFY(!p.mayStart(200199, 0));
    QVERIFY(p.mayStart(200200, 0));
}

QTEST_GUILESS_MAIN(TestPacing)
#include "tst_pacing.moc"
