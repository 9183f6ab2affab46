#include "viewmodel/AnyError.h"
#include "viewmodel/SearchMatcher.h"
#include "viewmodel/ostrelViewModel.h"

#include <QTest>

using namespace ostrel;

Q_DECLARE_METATYPE(std::error_code)

namespace {
MailMessage message(const QString &subject, const QString &sender, const QString &email, const QString &body,
                    double date = 0)
{
    MailMessage m;
    m.id = QUuid::createUuid();
    m.subject = subject;
    m.sender = sender;
    m.senderEmail = email;
    m.bodyText = body;
    m.date = date;
    return m;
}
}  // namespace

class TestSearch : public QObject {
    Q_OBJECT
private slots:
    void containment_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("match");
        QTest::newRow("capitals find lower case") << "ALICE" << "Hi" << "alice" << "" << "" << true;
        QTest::newRow("capitals find accents") << "ALICE" << "Hi" << "Alicé" << "" << "" << true;
        QTest::newRow("accents find plain") << "résumé" << "Resume attached" << "" << "" << "" << true;
        QTest::newRow("umlaut folding") << "grusse" << "Grüße aus Köln" << "" << "" << "" << true;
        QTest::newRow("address") << "EXAMPLE.ORG" << "" << "" << "bob@example.org" << "" << true;
        QTest::newRow("body start") << "invoice" << "" << "" << "" << "Invoice 42 is due" << true;
        QTest::newRow("body after 120 characters")
            << "needle" << "" << "" << "" << QString(121, QLatin1Char('x')) + QStringLiteral(" needle") << false;
        QTest::newRow("body inside 120 after collapsing")
            << "needle" << "" << "" << "" << QString(50, QLatin1Char('x')) + QString(200, QLatin1Char(' ')) + "needle"
            << true;
        QTest::newRow("one space") << " " << "two words" << "" << "" << "" << true;
        QTest::newRow("one space, no space anywhere") << " " << "oneword" << "x" << "y" << "z" << false;
        QTest::newRow("not trimmed") << "alice " << "" << "alice" << "" << "" << false;
        QTest::newRow("no match") << "zebra" << "Hello" << "Bob" << "bob@x" << "body" << false;
        QTest::newRow("decomposed pattern") << QStringLiteral("Ko\u0308ln") << "Köln" << "" << "" << "" << true;
    }
    void containment()
    {
        QFETCH(QString, search);
        QFETCH(QString, subject);
        QFETCH(QString, sender);
        QFETCH(QString, email);
        QFETCH(QString, body);
        QFETCH(bool, match);
        const QList<MailMessage> list{message(subject, sender, email, body)};
        QCOMPARE(filterMessages(list, search, QLocale(QLocale::English)).size(), match ? 1 : 0);
    }

    // One matcher searches text after text: each new pattern matches as a
    // matcher made for it alone does, with nothing left of the one before.
    void reusedMatcher_data()
    {
        QTest::addColumn<QStringList>("patterns");
        QTest::addColumn<QString>("text");
        QTest::newRow("longer") << QStringList{"gr", "gru", "grus", "gruss", "grusse"} << QStringLiteral("Grüße aus Köln");
        QTest::newRow("shorter") << QStringList{"kolnx", "koln", "kol", "k"} << QStringLiteral("Grüße aus Köln");
        QTest::newRow("unrelated") << QStringList{"zebra", "aus", "", "Köln", "xyz"} << QStringLiteral("Grüße aus Köln");
        QTest::newRow("empty text") << QStringList{"a", ""} << QString();
    }
    void reusedMatcher()
    {
        QFETCH(QStringList, patterns);
        QFETCH(QString, text);
        SearchMatcher reused(QString(), QLocale(QLocale::German));
        QVERIFY(!reused.matches(text));
        for (const QString &pattern : patterns) {
            reused.setPattern(pattern);
            const SearchMatcher fresh(pattern, QLocale(QLocale::German));
            QCOMPARE(reused.pattern(), pattern);
            QCOMPARE(reused.matches(text), fresh.matches(text));
            QCOMPARE(reused.matches(text), !pattern.isEmpty() && !text.isEmpty()
                                               && filterMessages({message(text, "", "", "")}, pattern).size() == 1);
        }
    }

    // Several texts searched at once match exactly when one of them does:
    // never across the join of two.
    void matchesAny_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("match");
        QTest::newRow("in the second") << "bob" << QStringList{"Ann", "BOB@x"} << true;
        QTest::newRow("across a join") << "annbob" << QStringList{"Ann", "Bob"} << false;
        QTest::newRow("across a join with space") << "ann bob" << QStringList{"Ann", "Bob"} << false;
        QTest::newRow("end and start") << "nb" << QStringList{"Ann", "Bob"} << false;
        QTest::newRow("accent at a start") << "e" << QStringList{"x", QStringLiteral("\u0301e")} << true;
        QTest::newRow("empties skipped") << "x" << QStringList{"", "", "x"} << true;
        QTest::newRow("all empty") << "x" << QStringList{"", ""} << false;
        QTest::newRow("separator in pattern") << QStringLiteral("a\uFFFEb") << QStringList{"a", "b"} << false;
    }
    void matchesAny()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, texts);
        QFETCH(bool, match);
        const SearchMatcher matcher(pattern, QLocale(QLocale::English));
        QCOMPARE(matcher.matchesAny({texts.value(0), texts.value(1), texts.value(2)}), match);
        const bool any = std::any_of(texts.cbegin(), texts.cend(), [&matcher](const QString &t) { return matcher.matches(t); });
        QCOMPARE(any, match);
    }

    void emptySearchKeepsAllInOrder()
    {
        const QList<MailMessage> list{message("b", "", "", ""), message("a", "", "", "")};
        QCOMPARE(filterMessages(list, QString()), list);
    }

    void htmlRecipientsAndAttachmentsAreNotSearched()
    {
        MailMessage m = message("Subject", "Sender", "s@x", "");
        m.bodyText.reset();
        m.bodyHTML = QStringLiteral("<p>secret</p>");
        m.recipients = {QStringLiteral("secret@x")};
        m.attachments.append(Attachment{QUuid::createUuid(), "secret.pdf", "application/pdf", 1, {}, {}});
        QVERIFY(filterMessages({m}, QStringLiteral("secret")).isEmpty());
    }

    void listOrder()
    {
        const double march1 = 1'709'251'200;
        const MailMessage first = message("1 March", "", "", "", march1);
        const MailMessage third = message("3 March", "", "", "", march1 + 2 * 86400);
        const MailMessage second = message("2 March", "", "", "", march1 + 86400);
        const MailMessage secondAgain = message("2 March again", "", "", "", march1 + 86400);
        const QList<MailMessage> ordered = inListOrder({first, third, second, secondAgain});
        QStringList subjects;
        for (const MailMessage &m : ordered)
            subjects << m.subject;
        QCOMPARE(subjects, QStringList({"3 March", "2 March", "2 March again", "1 March"}));
    }

    void describeError_data()
    {
        QTest::addColumn<int>("kind");  // 0 PSTError, 1 described, 2 error code
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::error_code>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("PSTError as is") << 0 << "" << std::error_code() << "PST file not found.";
        QTest::newRow("own description") << 1 << "The disk is full." << std::error_code() << "The disk is full.";
        QTest::newRow("no own description")
            << 1 << "" << std::error_code() << "An error occurred: The operation could not be completed.";
        QTest::newRow("file to read missing")
            << 2 << "" << std::make_error_code(std::errc::no_such_file_or_directory) << "File not found.";
        QTest::newRow("no read permission")
            << 2 << "" << std::make_error_code(std::errc::permission_denied) << "No read permission for this file.";
        QTest::newRow("same number, other domain")
            << 2 << "" << std::error_code(ENOENT, std::system_category())
            << QStringLiteral("An error occurred: ") + QString::fromLocal8Bit(std::error_code(ENOENT, std::system_category()).message());
        QTest::newRow("other code") << 2 << "" << std::make_error_code(std::errc::no_space_on_device)
                                    << QStringLiteral("An error occurred: No space left on device");
    }
    void describeError()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(std::error_code, code);
        QFETCH(QString, expected);
        AnyError error = PSTError::fileNotFound();
        if (kind == 1)
            error = DescribedError{text};
        if (kind == 2)
            error = code;
        QCOMPARE(ostrel::describeError(error), expected);
    }

    void pstErrorDescriptions()
    {
        QCOMPARE(ostrel::describeError(PSTError::parsingFailed("file_open: x")), QStringLiteral("Read error: file_open: x"));
        QCOMPARE(ostrel::describeError(PSTError::accessDenied()), QStringLiteral("No read permission for this file."));
        QCOMPARE(ostrel::describeError(PSTError::invalidFormat()), QStringLiteral("The file is not a valid PST archive."));
        QCOMPARE(ostrel::describeError(PSTError::libpffNotInitialized()), QStringLiteral("PST parser could not be initialized."));
        QCOMPARE(ostrel::describeError(PSTError::unsupportedEncryption()),
                 QStringLiteral("Password-protected PST files are not supported."));
        // A message that looks like a format placeholder stays as written.
        QCOMPARE(ostrel::describeError(PSTError::parsingFailed("%1 %2")), QStringLiteral("Read error: %1 %2"));
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
