// Which files the window takes for archives: the drop rule and the open
// panel's filters, over PST and OST names in every case, other files and
// drops of two files.
#include "viewmodel/ArchiveFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

using namespace ostrel;

namespace {
// The glob patterns of a filter such as "Text (*.txt *.md)".
QStringList patternsOf(const QString &filter)
{
    const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = filter.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open)
        return {};
    return filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QUrl file(const QString &name)
{
    return QUrl::fromLocalFile(QStringLiteral("/archives/") + name);
}
}  // namespace

class TestArchiveFiles : public QObject {
    Q_OBJECT

private slots:
    void archiveNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("archive");
        QTest::newRow(".pst") << "mail.pst" << true;
        QTest::newRow(".PST") << "MAIL.PST" << true;
        QTest::newRow(".Pst") << "Mail.Pst" << true;
        QTest::newRow(".ost") << "mailbox.ost" << true;
        QTest::newRow(".OST") << "MAILBOX.OST" << true;
        QTest::newRow(".oSt") << "mailbox.oSt" << true;
        QTest::newRow("with a path") << "/home/a b/Outlook Files/archive.pst" << true;
        QTest::newRow("two dots") << "backup.2024.ost" << true;
        QTest::newRow(".txt") << "notes.txt" << false;
        QTest::newRow("archive then another extension") << "mail.pst.txt" << false;
        QTest::newRow("longer extension") << "mail.psts" << false;
        QTest::newRow("no extension") << "pst" << false;
        QTest::newRow("extension only in the folder") << "/mail.ost/notes" << false;
        QTest::newRow("empty") << "" << false;
    }
    void archiveNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, archive);
        QCOMPARE(isArchiveFileName(name), archive);
    }

    void drops_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QUrl>("opened");  // empty: nothing is opened
        QTest::newRow(".pst") << QList<QUrl>{file("a.pst")} << file("a.pst");
        QTest::newRow(".PST") << QList<QUrl>{file("B.PST")} << file("B.PST");
        QTest::newRow(".ost") << QList<QUrl>{file("c.ost")} << file("c.ost");
        QTest::newRow(".OST") << QList<QUrl>{file("D.OST")} << file("D.OST");
        QTest::newRow(".txt") << QList<QUrl>{file("e.txt")} << QUrl();
        QTest::newRow("nothing") << QList<QUrl>{} << QUrl();
        QTest::newRow("two archives: the first") << QList<QUrl>{file("f.pst"), file("g.ost")} << file("f.pst");
        QTest::newRow("two files, the archive first") << QList<QUrl>{file("h.OST"), file("i.txt")} << file("h.OST");
        QTest::newRow("two files, the archive second") << QList<QUrl>{file("j.txt"), file("k.pst")} << QUrl();
        QTest::newRow("not a local file") << QList<QUrl>{QUrl("https://example.org/l.pst")} << QUrl();
    }
    void drops()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QUrl, opened);
        QCOMPARE(droppedArchive(urls), opened.isEmpty() ? std::nullopt : std::optional<QUrl>(opened));
    }

    void panelFilters_data()
    {
        // Matched the way the panel matches, ignoring case.
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("shown");
        QTest::newRow("archives: .pst") << 0 << "a.pst" << true;
        QTest::newRow("archives: .PST") << 0 << "B.PST" << true;
        QTest::newRow("archives: .ost") << 0 << "c.ost" << true;
        QTest::newRow("archives: .OST") << 0 << "D.OST" << true;
        QTest::newRow("archives: .txt") << 0 << "e.txt" << false;
        QTest::newRow("archives: no extension") << 0 << "pst" << false;
        QTest::newRow("all files: .txt") << 1 << "e.txt" << true;
        QTest::newRow("all files: .OST") << 1 << "D.OST" << true;
        QTest::newRow("all files: no extension") << 1 << "README" << true;
    }
    void panelFilters()
    {
        QFETCH(int, filter);
        QFETCH(QString, name);
        QFETCH(bool, shown);
        const QStringList filters = archiveNameFilters();
        QCOMPARE(filters, QStringList({"PST and OST archives (*.pst *.ost)", "All files (*)"}));
        QCOMPARE(QDir::match(patternsOf(filters.at(filter)), name), shown);
        // The panel's archive filter and the drop rule agree.
        if (filter == 0)
            QCOMPARE(isArchiveFileName(name), shown);
    }
};

QTEST_GUILESS_MAIN(TestArchiveFiles)
#include "tst_archivefiles.moc"
