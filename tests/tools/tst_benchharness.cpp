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

    void functionNames_data()
    {
        QTest::addColumn<QString>("annotated");
        QTest::addColumn<QString>("name");
        QTest::newRow("file and object")
            << "kit/pst/PSTActor.cpp:ostrel::PSTActor::State::load(QUuid const&) [/work/b/ostrel-bench]"
            << "ostrel::PSTActor::State::load(QUuid const&)";
        QTest::newRow("unknown file") << "???:libpff_item_free [/usr/lib/libpff.so.1]" << "libpff_item_free";
        QTest::newRow("no object") << "/usr/include/c++/12/bits/std_function.h:ostrel::SerialExecutor::run()"
                                   << "ostrel::SerialExecutor::run()";
        QTest::newRow("no file keeps the scope") << "ostrel::pst::Heap::value(unsigned int) const"
                                                 << "ostrel::pst::Heap::value(unsigned int) const";
    }
    void functionNames()
    {
        QFETCH(QString, annotated);
        QFETCH(QString, name);
        QCOMPARE(functionName(annotated), name);
    }

    void distinctLines()
    {
        const QList<ProfileLine> lines{
            {900, 90, QStringLiteral("/work/a/x.cpp:ostrel::f() [bin]")},
            {890, 89, QStringLiteral("x.cpp:ostrel::f() [bin]")},
            {500, 50, QStringLiteral("y.cpp:ostrel::g() [bin]")},
            {400, 40, QStringLiteral("z.cpp:ostrel::h() [bin]")},
        };
        const auto two = distinctFunctions(lines, 2);
        QCOMPARE(two.size(), 2);
        QCOMPARE(two[0].function, QStringLiteral("ostrel::f()"));
        QCOMPARE(two[0].cost, 900);
        QCOMPARE(two[1].function, QStringLiteral("ostrel::g()"));
        QCOMPARE(distinctFunctions(lines, 10).size(), 3);
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

    void engines_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("engines");
        QTest::addColumn<bool>("valid");
        QTest::newRow("both, native first") << "both" << QStringList{"native", "libpff"} << true;
        QTest::newRow("native") << "native" << QStringList{"native"} << true;
        QTest::newRow("libpff") << "libpff" << QStringList{"libpff"} << true;
        QTest::newRow("automatic is no engine of its own") << "automatic" << QStringList{} << false;
        QTest::newRow("case matters") << "Native" << QStringList{} << false;
        QTest::newRow("empty") << "" << QStringList{} << false;
    }
    void engines()
    {
        QFETCH(QString, option);
        QFETCH(QStringList, engines);
        QFETCH(bool, valid);
        const auto list = engineList(option);
        QCOMPARE(list.has_value(), valid);
        if (valid)
            QCOMPARE(*list, engines);
    }

    void targets_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("limit");
        QTest::addColumn<bool>("strict");
        QTest::addColumn<bool>("met");
        QTest::addColumn<QString>("tail");
        QTest::newRow("below") << 12.0 << 15.0 << true << true << "(limit < 15.0 ms) met";
        QTest::newRow("at an at-most limit") << 20.0 << 20.0 << false << true << "(limit <= 20.0 ms) met";
        QTest::newRow("at an under limit") << 15.0 << 15.0 << true << false << "(limit < 15.0 ms) MISSED by 0.000 ms";
        QTest::newRow("above") << 45.5 << 30.0 << false << false << "(limit <= 30.0 ms) MISSED by 15.5 ms";
    }
    void targets()
    {
        QFETCH(double, value);
        QFETCH(double, limit);
        QFETCH(bool, strict);
        QFETCH(bool, met);
        QFETCH(QString, tail);
        const Target t{QStringLiteral("page"), value, limit, QStringLiteral("ms"), strict};
        QCOMPARE(ostrel::bench::met(t), met);
        const QString line = targetLine(t);
        QVERIFY2(line.endsWith(tail), qPrintable(line));
        QVERIFY2(line.contains(QStringLiteral(": %1 ms").arg(figure(value, QStringLiteral("ms")))), qPrintable(line));
    }

    void figures_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("text");
        QTest::newRow("MiB to a tenth") << 63.96 << "MiB" << "64.0";
        QTest::newRow("below 1 ms") << 0.4567 << "ms" << "0.457";
        QTest::newRow("a few ms") << 3.14159 << "ms" << "3.14";
        QTest::newRow("tens") << 12.345 << "ms" << "12.3";
        QTest::newRow("hundreds") << 456.7 << "B" << "457";
        QTest::newRow("thousands") << 1106000.4 << "ms" << "1106000";
        QTest::newRow("negative keeps its places") << -12.345 << "MiB" << "-12.3";
    }
    void figures()
    {
        QFETCH(double, value);
        QFETCH(QString, unit);
        QFETCH(QString, text);
        QCOMPARE(figure(value, unit), text);
    }

    void newestFirstOrder_data()
    {
        QTest::addColumn<QList<quint64>>("times");
        QTest::addColumn<QList<qsizetype>>("order");
        QTest::newRow("empty") << QList<quint64>{} << QList<qsizetype>{};
        QTest::newRow("reversed storage") << QList<quint64>{1, 2, 3} << QList<qsizetype>{2, 1, 0};
        QTest::newRow("ties keep storage order") << QList<quint64>{5, 9, 5, 9} << QList<qsizetype>{1, 3, 0, 2};
        QTest::newRow("no date sorts last, in storage order")
            << QList<quint64>{0, 7, 0, 3} << QList<qsizetype>{1, 3, 0, 2};
        QTest::newRow("newest anywhere comes first") << QList<quint64>{4, 3, 2, 1, 99} << QList<qsizetype>{4, 0, 1, 2, 3};
    }
    void newestFirstOrder()
    {
        QFETCH(QList<quint64>, times);
        QFETCH(QList<qsizetype>, order);
        QCOMPARE(newestFirst(times), order);
    }

    void spread_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<qint64>>("positions");
        QTest::newRow("nothing to spread over") << qint64(0) << 21 << QList<qint64>{};
        QTest::newRow("none asked") << qint64(10) << 0 << QList<qint64>{};
        QTest::newRow("one row") << qint64(1) << 21 << QList<qint64>{0};
        QTest::newRow("one asked") << qint64(100) << 1 << QList<qint64>{0};
        QTest::newRow("fewer rows than asked, each once") << qint64(4) << 21 << QList<qint64>{0, 1, 2, 3};
        QTest::newRow("first, last and between") << qint64(101) << 5 << QList<qint64>{0, 25, 50, 75, 100};
        QTest::newRow("uneven") << qint64(10) << 3 << QList<qint64>{0, 4, 9};
    }
    void spread()
    {
        QFETCH(qint64, total);
        QFETCH(int, count);
        QFETCH(QList<qint64>, positions);
        QCOMPARE(spreadPositions(total, count), positions);
    }

    void typing()
    {
        QCOMPARE(keystrokes(QStringLiteral("Bär")), (QStringList{"B", "Bä", "Bär"}));
        QVERIFY(keystrokes(QString()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(BenchHarnessTest)
#include "tst_benchharness.moc"
