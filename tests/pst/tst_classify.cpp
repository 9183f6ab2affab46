#include "pst/RecordRules.h"

#include <QTest>

using namespace ostrel;

class TestClassify : public QObject {
    Q_OBJECT
private slots:
    void classifyFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<FolderType>("type");
        QTest::newRow("Inbox") << "Inbox" << FolderType::inbox;
        QTest::newRow("Posteingang") << "Posteingang" << FolderType::inbox;
        QTest::newRow("Gesendete Elemente") << "Gesendete Elemente" << FolderType::sent;
        QTest::newRow("Unsent Messages") << "Unsent Messages" << FolderType::sent;
        QTest::newRow("Drafts sent: row order") << "Drafts sent" << FolderType::sent;
        QTest::newRow("Entwürfe") << "Entwürfe" << FolderType::drafts;
        QTest::newRow("Gelöschte Elemente") << "Gelöschte Elemente" << FolderType::deleted;
        QTest::newRow("Gelöschte decomposed") << QStringLiteral("Gelo\u0308schte Elemente") << FolderType::deleted;
        QTest::newRow("GELÖSCHT upper") << QStringLiteral("GELÖSCHT") << FolderType::deleted;
        QTest::newRow("Deleted Items") << "Deleted Items" << FolderType::deleted;
        QTest::newRow("Papierkorb") << "Papierkorb" << FolderType::deleted;
        QTest::newRow("Archiv") << "Archiv" << FolderType::archive;
        QTest::newRow("Junk-E-Mail") << "Junk-E-Mail" << FolderType::spam;
        QTest::newRow("SPAM Search Folder 2") << "SPAM Search Folder 2" << FolderType::spam;
        QTest::newRow("Kalender") << "Kalender" << FolderType::calendar;
        QTest::newRow("Contacts") << "Contacts" << FolderType::contacts;
        QTest::newRow("Notizen") << "Notizen" << FolderType::notes;
        QTest::newRow("Task notes: row order") << "Task notes" << FolderType::notes;
        QTest::newRow("Aufgaben") << "Aufgaben" << FolderType::tasks;
        QTest::newRow("Outbox") << "Outbox" << FolderType::custom;
        QTest::newRow("fallback name") << "(unbenannt)" << FolderType::custom;
        QTest::newRow("empty") << "" << FolderType::custom;
        QTest::newRow("French") << QStringLiteral("Éléments supprimés") << FolderType::custom;
    }
    void classifyFolder()
    {
        QFETCH(QString, name);
        QFETCH(FolderType, type);
        QCOMPARE(ostrel::classifyFolder(name), type);
    }

    void mimeTypes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mime");
        QTest::newRow("REPORT.PDF") << "REPORT.PDF" << "application/pdf";
        QTest::newRow("archive.tar.gz") << "archive.tar.gz" << "application/octet-stream";
        QTest::newRow("no dot") << "README" << "application/octet-stream";
        QTest::newRow("jpeg") << "a.JPEG" << "image/jpeg";
        QTest::newRow("docx") << "a.docx" << "application/vnd.openxmlformats-officedocument.wordprocessingml.document";
        QTest::newRow("xlsx") << "a.xlsx" << "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
        QTest::newRow("htm") << "page.htm" << "text/html";
        QTest::newRow("dot in folder only") << "my.dir/file" << "application/octet-stream";
        QTest::newRow("generated name") << "Anhang_0" << "application/octet-stream";
    }
    void mimeTypes()
    {
        QFETCH(QString, name);
        QFETCH(QString, mime);
        QCOMPARE(mimeType(name), mime);
    }
};

QTEST_GUILESS_MAIN(TestClassify)
#include "tst_classify.moc"
