// The detail view of what is not plain mail: attached messages opened to any
// depth and back, items shown as what they are, parts that could not be read,
// internet headers. Over archives held in memory.
#include "FakePlatform.h"
#include "MemoryArchive.h"
#include "MemoryEngine.h"
#include "StoredValue.h"
#include "TestSupport.h"
#include "pst/ItemRules.h"
#include "pst/RecordRules.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/AttachmentView.h"
#include "views/ItemText.h"
#include "views/MessageDetailView.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
namespace stored = ostrel::test::stored;
using rules::Tag;

class TestItemDetail : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    test::FakePlatform m_platform;

    // A view model over one memory archive whose Inbox holds messages, with
    // the Inbox selected.
    std::unique_ptr<ostrelViewModel> viewModelOver(const QList<test::MessageBuilder> &messages)
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        for (const test::MessageBuilder &message : messages)
            archive->addMessage(inbox, message);
        const QString path = m_dir->filePath(QStringLiteral("m.pst"));
        if (!test::touch(path))
            return nullptr;
        auto actor = std::make_unique<PSTActor>(EngineChoice::automatic,
                                                test::memoryEngines({{QStringLiteral("m.pst"), archive}}));
        auto vm = std::make_unique<ostrelViewModel>(m_platform, m_settings.get(), std::move(actor));
        if (!test::waitFor(vm->openPSTFile(QUrl::fromLocalFile(path))))
            return nullptr;
        if (vm->folders().isEmpty() || !test::waitFor(vm->selectFolder(vm->folders().at(0))))
            return nullptr;
        return vm;
    }

    // Selects the row with subject and waits until its message is read.
    static bool select(ostrelViewModel &vm, const QString &subject)
    {
        for (const MessageRow &row : vm.rows()) {
            if (row.subject == subject) {
                vm.selectMessage(row.id);
                return test::waitFor(vm.messageRead());
            }
        }
        return false;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<QSettings>(m_dir->filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        m_platform = test::FakePlatform();
    }

    void nestedMessagesOpenAndGoBack()
    {
        const auto third = test::mail("Third").text("deepest").attach("c.txt", "c");
        const auto second = test::mail("Second").text("middle").attachMessage(third);
        auto vm = viewModelOver(
            {test::mail("First").text("top").attach("a.txt", "a").attachMessage(second), test::mail("Other")});
        QVERIFY(vm);
        MessageDetailView view(*vm, m_platform);
        QVERIFY(select(*vm, "First"));
        QCOMPARE(view.subject()->text(), QStringLiteral("First"));
        QCOMPARE(view.nestingDepth(), 0);

        QStringList subjects;
        QStringList bodies;
        for (int depth = 1; depth <= 2; ++depth) {
            const QList<AttachmentView *> chips = view.attachmentViews();
            QVERIFY(!chips.isEmpty());
            AttachmentView *chip = chips.last();
            QVERIFY(chip->attachment().isMessage);
            QCOMPARE(chip->actionNames(), QStringList{"Open"});
            if (depth == 1) {
                QCOMPARE(chips.first()->actionNames(), QStringList{"Save as\u2026"});
            }
            QVERIFY(test::waitFor(view.openAttachedMessage(chip->attachment())));
            QCOMPARE(view.nestingDepth(), depth);
            subjects << view.subject()->text();
            bodies << view.plainText();
        }
        QCOMPARE(subjects, QStringList({"Second", "Third"}));
        QCOMPARE(bodies, QStringList({"middle", "deepest"}));
        QCOMPARE(view.attachmentViews().size(), 1);
        QCOMPARE(view.attachmentViews().at(0)->attachment().filename, QStringLiteral("c.txt"));

        view.goBack();
        QCOMPARE(view.subject()->text(), QStringLiteral("Second"));
        view.goBack();
        QCOMPARE(view.subject()->text(), QStringLiteral("First"));
        QCOMPARE(view.nestingDepth(), 0);
        view.goBack();  // nothing further out
        QCOMPARE(view.subject()->text(), QStringLiteral("First"));

        // A new selection leaves any opened message.
        QVERIFY(test::waitFor(view.openAttachedMessage(view.attachmentViews().last()->attachment())));
        QCOMPARE(view.nestingDepth(), 1);
        QVERIFY(select(*vm, "Other"));
        QCOMPARE(view.nestingDepth(), 0);
        QCOMPARE(view.subject()->text(), QStringLiteral("Other"));
    }

    void itemsShowAsWhatTheyAre_data()
    {
        QTest::addColumn<QString>("messageClass");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<quint16>("property");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("label");
        QTest::newRow("mail") << "IPM.Note" << "" << quint16(0x3A16) << "Acme" << "Company";
        QTest::newRow("contact") << "IPM.Contact" << "Contact" << quint16(0x3A16) << "Acme" << "Company";
        QTest::newRow("task") << "IPM.Task" << "Task" << quint16(0) << "" << "";
        QTest::newRow("note") << "IPM.StickyNote" << "Note" << quint16(0) << "" << "";
        QTest::newRow("report") << "REPORT.IPM.Note.NDR" << "Report" << quint16(0) << "" << "";
    }
    void itemsShowAsWhatTheyAre()
    {
        QFETCH(QString, messageClass);
        QFETCH(QString, kind);
        QFETCH(quint16, property);
        QFETCH(QString, value);
        QFETCH(QString, label);
        auto item = test::mail("Item").set(Tag::messageClass, stored::text(messageClass)).text("the text");
        if (property)
            item.set(property, stored::text(value));
        auto vm = viewModelOver({item});
        QVERIFY(vm);
        MessageDetailView view(*vm, m_platform);
        vm->selectMessage(vm->rows().at(0).id);
        QVERIFY(test::waitFor(vm->messageRead()));
        QCOMPARE(view.kindText(), kind);
        QCOMPARE(view.plainText(), QStringLiteral("the text"));
        if (!label.isEmpty())
            QCOMPARE(view.headerValue(label), kind.isEmpty() ? std::nullopt : std::optional<QString>(value));
    }

    void unreadablePartsSaySo_data()
    {
        QTest::addColumn<test::MessageBuilder>("message");
        QTest::addColumn<QString>("line");
        QTest::newRow("whole") << test::mail("Whole").text("x") << QString();
        QTest::newRow("recipients and attachments")
            << test::mail("Damaged").recipientsUnreadable("gone").attachmentsUnreadable("bad")
            << QStringLiteral("Could not be read: recipients, attachments");
        QTest::newRow("attached message says why")
            << test::mail("Damaged").attach("a.txt", "x").attachUnreadableMessage("message: nested too deep")
            << QStringLiteral("Could not be read: attached message \"Anhang_1\" (message: nested too deep)");
        QTest::newRow("readable attached message") << test::mail("Damaged").attachMessage(test::mail("Inner"))
                                                   << QString();
    }
    void unreadablePartsSaySo()
    {
        QFETCH(test::MessageBuilder, message);
        QFETCH(QString, line);
        auto vm = viewModelOver({message});
        QVERIFY(vm);
        MessageDetailView view(*vm, m_platform);
        vm->selectMessage(vm->rows().at(0).id);
        QVERIFY(test::waitFor(vm->messageRead()));
        QCOMPARE(view.unreadableText(), line);
    }

    void aMessageThatCouldNotBeReadSaysWhy()
    {
        MailMessage message;
        message.readFailure = QStringLiteral("block: bad checksum at 0x4400");
        message.recipientsFailure = QStringLiteral("ignored: the whole message is missing");
        QCOMPARE(unreadableLine(message), QStringLiteral("This message could not be read: block: bad checksum at 0x4400"));
    }

    void internetHeaders()
    {
        const QString headers = QStringLiteral("Received: from mx.example\r\nX-Mailer: test\r\n");
        auto vm = viewModelOver({test::mail("Plain"), test::mail("Headed").set(Tag::transportHeaders, stored::text(headers))});
        QVERIFY(vm);
        MessageDetailView view(*vm, m_platform);
        view.show();
        QVERIFY(select(*vm, "Plain"));
        QVERIFY(!view.offersHeaders());
        QCOMPARE(view.showHeaders(), nullptr);
        QVERIFY(select(*vm, "Headed"));
        QVERIFY(view.offersHeaders());
        QPlainTextEdit *text = view.showHeaders();
        QVERIFY(text);
        QCOMPARE(text->toPlainText(), QString(headers).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QVERIFY(text->isReadOnly());
        QVERIFY(text->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(QFontInfo(text->font()).fixedPitch());
    }
};

QTEST_MAIN(TestItemDetail)
#include "tst_itemdetail.moc"
