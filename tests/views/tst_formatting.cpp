#include "views/Formatting.h"

#include <QTest>
#include <QTimeZone>

using namespace ostrel;

class TestFormatting : public QObject {
    Q_OBJECT
private slots:
    void rowDateLabel_data()
    {
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("expected");
        const QDateTime now(QDate(2026, 5, 7), QTime(14, 30));  // a Thursday
        const QLocale en(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("today: a time") << QDateTime(QDate(2026, 5, 7), QTime(9, 5)) << en.toString(QTime(9, 5), QLocale::ShortFormat);
        QTest::newRow("today, just after midnight") << QDateTime(QDate(2026, 5, 7), QTime(0, 1))
                                                    << en.toString(QTime(0, 1), QLocale::ShortFormat);
        QTest::newRow("yesterday") << QDateTime(QDate(2026, 5, 6), QTime(23, 59)) << "Yesterday";
        QTest::newRow("four days ago: weekday") << QDateTime(QDate(2026, 5, 3), QTime(12, 0)) << "Sun";
        QTest::newRow("just within seven days") << QDateTime(QDate(2026, 4, 30), QTime(14, 31)) << "Thu";
        QTest::newRow("seven days exactly: date") << QDateTime(QDate(2026, 4, 30), QTime(14, 30))
                                                  << en.toString(QDate(2026, 4, 30), QLocale::ShortFormat);
        QTest::newRow("last month: date") << QDateTime(QDate(2026, 4, 2), QTime(8, 0))
                                          << en.toString(QDate(2026, 4, 2), QLocale::ShortFormat);
        QTest::newRow("tomorrow: weekday") << QDateTime(QDate(2026, 5, 8), QTime(8, 0)) << "Fri";
    }
    void rowDateLabel()
    {
        QFETCH(QDateTime, date);
        QFETCH(QString, expected);
        const QDateTime now(QDate(2026, 5, 7), QTime(14, 30));
        QCOMPARE(ostrel::rowDateLabel(date.toMSecsSinceEpoch() / 1000.0, now, QLocale(QLocale::English, QLocale::UnitedStates)),
                 expected);
    }

    void fileSizeText_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << qint64(0) << "Zero KB";
        QTest::newRow("one byte is never bytes") << qint64(1) << "1 KB";
        QTest::newRow("999 bytes") << qint64(999) << "1 KB";
        QTest::newRow("84 KB") << qint64(84'000) << "84 KB";
        QTest::newRow("612.4 KB rounds") << qint64(612'400) << "612 KB";
        QTest::newRow("5 MB") << qint64(5'000'000) << "5 MB";
        QTest::newRow("2.4 MB") << qint64(2'400'000) << "2.4 MB";
        QTest::newRow("2.45 MB, one decimal") << qint64(2'449'000) << "2.4 MB";
        QTest::newRow("1.5 GB") << qint64(1'500'000'000) << "1.5 GB";
        QTest::newRow("2.25 GB") << qint64(2'254'000'000) << "2.25 GB";
    }
    void fileSizeText()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, expected);
        QCOMPARE(ostrel::fileSizeText(bytes, QLocale(QLocale::English, QLocale::UnitedStates)), expected);
    }

    void germanSizesUseTheirComma()
    {
        QCOMPARE(ostrel::fileSizeText(2'400'000, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("2,4 MB"));
    }

    void senderDisplay_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("expected");
        QTest::newRow("name and address") << "  Ada Lovelace\t" << "ada@example.org" << "Ada Lovelace <ada@example.org>";
        QTest::newRow("name only") << "Ada" << "" << "Ada";
        QTest::newRow("address only") << "" << " ada@example.org " << "ada@example.org";
        QTest::newRow("neither") << " " << "" << QString(QChar(0x2014));
        QTest::newRow("line breaks are not blanks") << "Ada\n" << "" << "Ada\n";
    }
    void senderDisplay()
    {
        QFETCH(QString, sender);
        QFETCH(QString, email);
        QFETCH(QString, expected);
        QCOMPARE(ostrel::senderDisplay(sender, email), expected);
    }

    void counts()
    {
        QCOMPARE(messageCountText(0), QStringLiteral("No messages"));
        QCOMPARE(messageCountText(1), QStringLiteral("1 message"));
        QCOMPARE(messageCountText(100), QStringLiteral("100 messages"));
        QCOMPARE(searchResultsText(1, QStringLiteral("report")), QStringLiteral("1 results for \u201Creport\u201D"));
        QCOMPARE(searchResultsText(0, QStringLiteral("%1")), QStringLiteral("0 results for \u201C%1\u201D"));
    }
};

QTEST_MAIN(TestFormatting)
#include "tst_formatting.moc"
