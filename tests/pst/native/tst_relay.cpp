#include "pst/native/Relay.h"

#include <QList>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace ostrel;
using namespace std::chrono_literals;

namespace {
// Waits up to a few seconds for a flag another thread sets.
bool becomes(const std::atomic<bool> &flag)
{
    for (int i = 0; i < 500 && !flag.load(); ++i)
        std::this_thread::sleep_for(10ms);
    return flag.load();
}
}  // namespace

class RelayTest : public QObject {
    Q_OBJECT

private slots:
    void valuesArriveInOrderAndTheirRoomGoesRound()
    {
        Relay<QList<int>> relay(2);
        std::jthread filling([&] {
            for (int n = 0; n < 50; ++n) {
                auto value = relay.spare();
                QVERIFY(value.has_value());
                value->clear();  // keeps its capacity
                value->append(n);
                relay.hand(std::move(*value));
            }
            relay.finish();
        });
        int expected = 0;
        while (auto value = relay.take()) {
            QCOMPARE(value->size(), 1);
            QCOMPARE(value->first(), expected++);
            value->reserve(64);
            relay.giveBack(std::move(*value));
        }
        QCOMPARE(expected, 50);
        filling.join();
        // Both values came back with the room the taker gave them.
        for (int i = 0; i < 2; ++i) {
            auto value = relay.spare();
            QVERIFY(value.has_value());
            QVERIFY(value->capacity() >= 64);
        }
    }

    void theFillerWaitsForRoom()
    {
        Relay<int> relay(2);
        QVERIFY(relay.spare().has_value());
        QVERIFY(relay.spare().has_value());
        relay.hand(1);
        relay.hand(2);
        std::atomic<bool> got{false};
        std::jthread filling([&] {
            if (relay.spare())
                got = true;
        });
        std::this_thread::sleep_for(50ms);
        QVERIFY(!got.load());  // both values are out: no third
        auto first = relay.take();
        QVERIFY(first.has_value());
        QCOMPARE(*first, 1);
        relay.giveBack(0);
        QVERIFY(becomes(got));
    }

    void stoppingReleasesAWaitingFiller()
    {
        Relay<int> relay(1);
        QVERIFY(relay.spare().has_value());
        std::atomic<bool> ended{false};
        std::optional<int> last = 7;
        std::jthread filling([&] {
            last = relay.spare();
            ended = true;
        });
        relay.stop();
        QVERIFY(becomes(ended));
        filling.join();
        QCOMPARE(last, std::nullopt);
        QCOMPARE(relay.spare(), std::nullopt);  // and every later ask
    }

    void finishingLetsTheTakerDrainThenEnd()
    {
        Relay<int> relay(3);
        for (int n = 1; n <= 3; ++n) {
            QVERIFY(relay.spare().has_value());
            relay.hand(n);
        }
        relay.finish();
        QCOMPARE(relay.take(), std::optional<int>(1));
        QCOMPARE(relay.take(), std::optional<int>(2));
        QCOMPARE(relay.take(), std::optional<int>(3));
        QCOMPARE(relay.take(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(RelayTest)
#include "tst_relay.moc"
