#include "pst/engine/RawValues.h"

#include <QTest>

using namespace ostrel;

namespace {

PropertyValue text(const char *s) { return PropertyValue{PropertyType::string8, QByteArray(s)}; }

// Ids and values in the order given; a repeated id replaces.
PropertyBag bagOf(const QList<quint16> &ids)
{
    PropertyBag bag;
    for (const quint16 id : ids)
        bag.insert(id, text(QByteArray::number(id).constData()));
    return bag;
}

}  // namespace

class TestPropertyBag : public QObject {
    Q_OBJECT
private slots:
    void insertFind_data()
    {
        QTest::addColumn<QList<quint16>>("ids");
        QTest::newRow("ascending") << QList<quint16>{0x0037, 0x0E06, 0x1000, 0x7FFF};
        QTest::newRow("descending") << QList<quint16>{0x7FFF, 0x1000, 0x0E06, 0x0037};
        QTest::newRow("mixed") << QList<quint16>{0x1000, 0x0001, 0x7FFF, 0x0E06, 0x0037};
        QTest::newRow("repeated") << QList<quint16>{0x0E06, 0x0037, 0x0E06, 0x0037, 0x0001};
        QTest::newRow("edges") << QList<quint16>{0xFFFF, 0x0000};
        QTest::newRow("one") << QList<quint16>{0x0037};
    }
    void insertFind()
    {
        QFETCH(QList<quint16>, ids);
        const PropertyBag bag = bagOf(ids);
        QList<quint16> distinct = ids;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        QCOMPARE(bag.tagged().size(), distinct.size());
        for (qsizetype i = 0; i < distinct.size(); ++i) {
            QCOMPARE(bag.tagged()[i].id, distinct[i]);  // ascending, once each
            const PropertyValue *v = bag.find(distinct[i]);
            QVERIFY(v);
            QCOMPARE(v->bytes, QByteArray::number(distinct[i]));
            // Ids next to a present one are absent unless inserted.
            for (const int near : {int(distinct[i]) - 1, int(distinct[i]) + 1}) {
                if (near < 0 || near > 0xFFFF)
                    continue;
                QCOMPARE(bag.contains(quint16(near)), distinct.contains(quint16(near)));
            }
        }
        // Equal bags whatever the order of insertion.
        QList<quint16> reversed(ids.crbegin(), ids.crend());
        QCOMPARE(bagOf(reversed), bag);
    }

    void repeatedIdReplaces()
    {
        PropertyBag bag;
        bag.insert(0x0037, text("first"));
        bag.insert(0x0E06, text("other"));
        bag.insert(0x0037, text("second"));
        QCOMPARE(bag.tagged().size(), 2);
        QCOMPARE(bag.find(0x0037)->bytes, QByteArray("second"));
        QCOMPARE(bag.find(0x0E06)->bytes, QByteArray("other"));
    }

    void remove()
    {
        PropertyBag bag = bagOf({1, 2, 3});
        bag.remove(2);
        bag.remove(9);  // absent: nothing changes
        QCOMPARE(bag.tagged().size(), 2);
        QVERIFY(!bag.find(2));
        QVERIFY(bag.find(1) && bag.find(3));
        bag.remove(1);
        bag.remove(3);
        QVERIFY(bag.isEmpty());
        QVERIFY(!bag.find(1));
    }

    void emptyAndNamed()
    {
        PropertyBag bag;
        QVERIFY(bag.isEmpty());
        QVERIFY(!bag.find(0));
        QVERIFY(!bag.contains(0xFFFF));
        bag.insert(PropertyName{QUuid(), quint32(0x8501)}, text("named"));
        QVERIFY(!bag.isEmpty());
        QVERIFY(bag.tagged().isEmpty());
        QVERIFY(!bag.find(0x8501));  // a named property never answers to a tag
        QVERIFY(bag != PropertyBag());
    }
};

QTEST_GUILESS_MAIN(TestPropertyBag)
#include "tst_propertybag.moc"
