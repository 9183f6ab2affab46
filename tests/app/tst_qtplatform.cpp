// The desktop's alerts as people meet them: the button texts as written,
// the answer of each button, and Escape standing for the cancel button.
#include "platform/QtPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace ostrel;

class TestQtPlatform : public QObject {
    Q_OBJECT

private slots:
    void alert_data()
    {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<int>("cancelButton");
        QTest::addColumn<int>("press");  // -1: Escape
        QTest::addColumn<int>("answer");
        const QStringList prompt{QStringLiteral("Donate & Quit"), QStringLiteral("Just Quit")};
        QTest::newRow("first") << prompt << -1 << 0 << 0;
        QTest::newRow("second") << prompt << -1 << 1 << 1;
        QTest::newRow("escape is the last") << prompt << -1 << -1 << 1;
        const QStringList update{QStringLiteral("Download"), QStringLiteral("Release Notes"), QStringLiteral("Later")};
        QTest::newRow("escape is the chosen one") << update << 2 << -1 << 2;
        QTest::newRow("middle of three") << update << 2 << 1 << 1;
        QTest::newRow("one button") << QStringList{QStringLiteral("OK")} << -1 << -1 << 0;
    }
    void alert()
    {
        QFETCH(QStringList, buttons);
        QFETCH(int, cancelButton);
        QFETCH(int, press);
        QFETCH(int, answer);

        QStringList shown;
        QStringList mnemonics;
        bool found = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            found = true;
            QList<QAbstractButton *> order;
            for (const QString &title : buttons) {
                for (QAbstractButton *b : box->buttons()) {
                    if (QString(b->text()).replace(QLatin1String("&&"), QLatin1String("&")) == title)
                        order.append(b);
                }
            }
            for (QAbstractButton *b : box->buttons()) {
                shown.append(QString(b->text()).replace(QLatin1String("&&"), QLatin1String("&")));
                mnemonics.append(QKeySequence::mnemonic(b->text()).toString());
            }
            if (press < 0)
                QTest::keyClick(box, Qt::Key_Escape);
            else if (press < order.size())
                order[press]->click();
            else
                box->reject();
        });

        QtPlatform platform;
        AlertRequest request;
        request.title = QStringLiteral("Support ostrel development");
        request.message = QStringLiteral("A message.");
        request.buttons = buttons;
        request.cancelButton = cancelButton;
        const int result = platform.runAlert(request);

        QVERIFY(found);
        shown.sort();
        QStringList want = buttons;
        want.sort();
        QCOMPARE(shown, want);
        // "&" is shown as written and makes no keyboard shortcut.
        for (const QString &m : std::as_const(mnemonics))
            QVERIFY2(m.isEmpty(), qPrintable(m));
        QCOMPARE(result, answer);
    }
};

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
