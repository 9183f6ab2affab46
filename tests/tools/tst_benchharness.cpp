// The benchmark's own arithmetic and process handling: a wrong median or a
// misread profile would put wrong figures in front of people.
#include "Harness.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace ostrel::bench;

class BenchHarnessTest : public QObject {
    Q_OBJECT

private slots:
    void summary_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<double>("median");
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::newRow("one") << QList<double>{7} << 7.0 << 7.0 << 7.0;
        QTest::newRow("odd, unsorted") << QList<double>{9, 1, 5, 3, 7} << 5.0 << 1.0 << 9.0;
        QTest::newRow("even takes the middle two") << QList<double>{4, 1, 3, 10} << 3.5 << 1.0 << 10.0;
        QTest::newRow("outlier leaves the median") << QList<double>{100, 101, 99, 5000, 100} << 100.0 << 99.0 << 5000.0;
    }
    void summary()
    {
        QFETCH(QList<double>, values);
        const auto s = summarize(values);
        QFETCH(double, median);
        QFETCH(double, min);
        QFETCH(double, max);
        QVERIFY(s.has_value());
        QCOMPARE(s->median, median);
        QCOMPARE(s->min, min);
        QCOMPARE(s->max, max);
        QCOMPARE(s->runs, int(values.size()));
    }

    void emptySeriesHasNoSummary() { QVERIFY(!summarize({}).has_value()); }

    void childExitAndOutput()
    {
        QString error;
        const auto ok = runChild({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("printf out; printf err >&2")},
                                 true, &error);
        QVERIFY2(ok, qPrintable(error));
        QCOMPARE(ok->exitCode, 0);
        QCOMPARE(ok->out, QByteArray("out"));
        QCOMPARE(ok->errTail, QByteArray("err"));
        QVERIFY(ok->peakRssKiB > 0);
        QVERIFY(ok->wallMs > 0);

        const auto failed = runChild({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("exit 3")}, false, &error);
        QVERIFY(failed);
        QCOMPARE(failed->exitCode, 3);

        const auto killed = runChild({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("kill -9 $$")}, false, &error);
        QVERIFY(killed);
        QCOMPARE(killed->exitCode, -1);
        QCOMPARE(killed->signal, 9);
    }

    void childPeakMemoryIsTheChilds()
    {
        // A child that touches 64 MiB reports at least that, whatever this process holds.
        QString error;
        const auto run = runChild({QStringLiteral("sh"), QStringLiteral("-c"),
                                   QStringLiteral("exec dd if=/dev/zero of=/dev/null bs=64M count=1 status=none")},
                                  false, &error);
        QVERIFY2(run, qPrintable(error));
        QCOMPARE(run->exitCode, 0);
        QVERIFY2(run->peakRssKiB >= 64 * 1024, qPrintable(QString::number(run->peakRssKiB)));
    }

    void measuredChildIsNotLiftedBySpawner()
    {
        // This process holds 256 MiB; a spawned `true` inherits that figure,
        // the measured one reports its own few MiB.
        QByteArray ballast(256 * 1024 * 1024, 'x');
        for (qsizetype i = 0; i < ballast.size(); i += 4096)
            ballast[i] = char(i);
        QString error;
        const auto plain = runChild({QStringLiteral("true")}, false, &error);
        QVERIFY2(plain, qPrintable(error));
        QVERIFY2(plain->peakRssKiB >= 256 * 1024, qPrintable(QString::number(plain->peakRssKiB)));

        const auto measured = runMeasuredChild({QStringLiteral("true")}, &error);
        QVERIFY2(measured, qPrintable(error));
        QCOMPARE(measured->exitCode, 0);
        QVERIFY2(measured->peakRssKiB > 0 && measured->peakRssKiB < 32 * 1024,
                 qPrintable(QString::number(measured->peakRssKiB)));

        const auto big = runMeasuredChild(
            {QStringLiteral("dd"), QStringLiteral("if=/dev/zero"), QStringLiteral("of=/dev/null"), QStringLiteral("bs=64M"),
             QStringLiteral("count=1"), QStringLiteral("status=none")},
            &error);
        QVERIFY2(big, qPrintable(error));
        QVERIFY2(big->peakRssKiB >= 64 * 1024 && big->peakRssKiB < 128 * 1024, qPrintable(QString::number(big->peakRssKiB)));

        const auto failed = runMeasuredChild({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("exit 4")}, &error);
        QVERIFY(failed);
        QCOMPARE(failed->exitCode, 4);
        QVERIFY(ballast.size() > 0);
    }

    void childInFolder()
    {
        QTemporaryDir dir;
        QString error;
        const auto run = runChild({QStringLiteral("pwd")}, true, &error, dir.path());
        QVERIFY2(run, qPrintable(error));
        QCOMPARE(QString::fromLocal8Bit(run->out).trimmed(), QFileInfo(dir.path()).canonicalFilePath());
    }

    void missingProgramIsAnError()
    {
        QString error;
        QVERIFY(!runChild({QStringLiteral("ostrel-no-such-program")}, false, &error));
        QVERIFY2(error.contains(QLatin1String("ostrel-no-such-program")), qPrintable(error));
        QVERIFY(!runChild({}, false, &error));
    }

    void callgrindTable()
    {
        const QByteArray text =
            "--------------------------------------------------------------------------------\n"
            "Profile data file 'cg.out' (creator: callgrind-3.19.0)\n"
            "Events recorded:  Ir\n"
            "--------------------------------------------------------------------------------\n"
            "Ir                  \n"
            "--------------------------------------------------------------------------------\n"
            "19,735,771 (100.0%)  PROGRAM TOTALS\n"
            "\n"
            "--------------------------------------------------------------------------------\n"
            "Ir                   file:function\n"
            "--------------------------------------------------------------------------------\n"
            "12,936,592 (65.55%)  ./nptl/./nptl/pthread_create.c:start_thread [/usr/lib/x86_64-linux-gnu/libc.so.6]\n"
            " 9,914,549 (50.24%)  ???:libpff_folder_determine_sub_messages [/usr/lib/x86_64-linux-gnu/libpff.so.1]\n"
            "   812,004 ( 4.11%)  /work/main/kit/pst/PSTActor.cpp:buildFolder [/work/main/build/ostrel-bench]\n";
        const auto two = parseCallgrindAnnotate(text, 2);
        QVERIFY(two);
        QCOMPARE(two->total, 19735771);
        QCOMPARE(two->top.size(), 2);
        QCOMPARE(two->top[1].cost, 9914549);
        QCOMPARE(two->top[1].percent, 50.24);
        QCOMPARE(two->top[1].function,
                 QStringLiteral("???:libpff_folder_determine_sub_messages [/usr/lib/x86_64-linux-gnu/libpff.so.1]"));
        const auto all = parseCallgrindAnnotate(text, 10);
        QCOMPARE(all->top.size(), 3);
        QCOMPARE(all->top[2].percent, 4.11);

        QVERIFY(!parseCallgrindAnnotate("valgrind: no data\n", 10));
    }

    void archiveKeys()
    {
        const QString a = archiveKey(QStringLiteral("messages=10"), "writer-1");
        QCOMPARE(a.size(), 16);
        QCOMPARE(archiveKey(QStringLiteral("messages=10"), "writer-1"), a);
        QVERIFY(archiveKey(QStringLiteral("messages=11"), "writer-1") != a);
        QVERIFY(archiveKey(QStringLiteral("messages=10"), "writer-2") != a);
        // The settings end where the writer begins.
        QVERIFY(archiveKey(QStringLiteral("messages=1"), "0writer-1") != a);
    }
};

QTEST_GUILESS_MAIN(BenchHarnessTest)
#include "tst_benchharness.moc"
