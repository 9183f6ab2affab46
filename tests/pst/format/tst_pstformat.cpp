// The on-disk format layer: block encodings, checksums, compressed RTF,
// compressed blocks, and the parsers of headers, pages, blocks and table
// headers, each fed sound and damaged bytes.
#include "pst/format/Block.h"
#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"
#include "pst/format/Encoding.h"
#include "pst/format/Header.h"
#include "pst/format/Inflate.h"
#include "pst/format/Lzfu.h"
#include "pst/format/Page.h"
#include "pst/format/TableInfo.h"

#include <QRandomGenerator>
#include <QTest>

#include <array>

using namespace ostrel::pst;
using namespace ostrel::pst::bytes;

Q_DECLARE_METATYPE(ostrel::pst::Encoding)
Q_DECLARE_METATYPE(ostrel::pst::Variant)
Q_DECLARE_METATYPE(ostrel::pst::Error::Kind)

namespace {

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (char &c : b)
        c = char(rng.bounded(256));
    return b;
}

QByteArray allBytes()
{
    QByteArray b(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        b[i] = char(i);
    return b;
}

// A sound header of the given variant with both checksums in place.
QByteArray makeHeader(Variant variant, quint8 crypt = 1)
{
    const bool ansi = variant == Variant::Ansi;
    QByteArray h(ansi ? 512 : Header::kSize, '\0');
    std::memcpy(h.data(), "!BDN", 4);
    put16(h, 8, Header::kClientPst);
    put16(h, 10, ansi ? 14 : variant == Variant::Unicode ? 23 : 36);
    if (ansi) {
        put32(h, 168, 0x10000);
        put32(h, 184, 0x24);
        put32(h, 188, 0x4600);
        put32(h, 192, 0x28);
        put32(h, 196, 0x4800);
        put8(h, 460, 0x80);
        put8(h, 461, crypt);
    } else {
        put64(h, 184, 0x20000);
        put64(h, 216, 0x24);
        put64(h, 224, 0x4600);
        put64(h, 232, 0x28);
        put64(h, 240, 0x4800);
        put8(h, 512, 0x80);
        put8(h, 513, crypt);
    }
    return h;
}

void sealHeader(QByteArray &h)
{
    put32(h, 4, pstCrc(h.constData() + 8, 471));
    if (get16(h, 10) >= 21)
        put32(h, 524, pstCrc(h.constData() + 8, 516));
}

// The 23-byte stream a known compressor makes of
// "{\rtf1\ansi\ansicpg1252\pard test}".
const QByteArray kRtfText = QByteArrayLiteral("{\\rtf1\\ansi\\ansicpg1252\\pard test}");
const QByteArray kRtfContents = QByteArray::fromHex("03000a007263706731323592320af320740790747d0f10");

QByteArray rtfStream(const QByteArray &contents, quint32 rawSize, quint32 type, quint32 crc)
{
    QByteArray s(16, '\0');
    put32(s, 0, quint32(contents.size() + 12));
    put32(s, 4, rawSize);
    put32(s, 8, type);
    put32(s, 12, crc);
    return s + contents;
}

constexpr quint32 kLzfu = 0x75465A4C;
constexpr quint32 kMela = 0x414C454D;

}  // namespace

class TestFormat : public QObject {
    Q_OBJECT

private slots:
    void permuteRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("every byte") << allBytes();
        QTest::newRow("random 8 KiB") << randomBytes(8176, 1);
        QTest::newRow("zeros") << QByteArray(100, '\0');
    }
    void permuteRoundTrip()
    {
        QFETCH(QByteArray, plain);
        QByteArray coded = plain;
        permuteEncode(coded.data(), coded.size());
        if (!plain.isEmpty())
            QVERIFY(coded != plain);
        permuteDecode(coded.data(), coded.size());
        QCOMPARE(coded, plain);
    }

    // Decoding works in rounds of 64 bytes where the processor allows, then
    // of eight, then the rest: every length and every byte value decodes as
    // the table says.
    void permuteDecodeMatchesTheTable_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 127, 128, 135, 4093})
            QTest::addRow("%d bytes", size) << size;
    }
    void permuteDecodeMatchesTheTable()
    {
        QFETCH(int, size);
        QByteArray encodedAll = allBytes();
        permuteEncode(encodedAll.data(), encodedAll.size());
        std::array<quint8, 256> inverse{};
        for (int i = 0; i < 256; ++i)
            inverse[quint8(encodedAll[i])] = quint8(i);
        const QByteArray coded = randomBytes(size, quint32(size));
        QByteArray decoded = coded;
        permuteDecode(decoded.data(), decoded.size());
        for (int i = 0; i < size; ++i)
            QCOMPARE(quint8(decoded[i]), inverse[quint8(coded[i])]);
        // Only the given bytes are touched.
        QByteArray framed = QByteArray(3, 'x') + coded + QByteArray(3, 'y');
        permuteDecode(framed.data() + 3, size);
        QCOMPARE(framed.left(3), QByteArray(3, 'x'));
        QCOMPARE(framed.right(3), QByteArray(3, 'y'));
        QCOMPARE(framed.mid(3, size), decoded);
    }

    void permuteIsAPermutation()
    {
        // Every byte maps to a distinct byte, and the table's first entries
        // are the format's.
        QByteArray coded = allBytes();
        permuteEncode(coded.data(), coded.size());
        QByteArray sorted = coded;
        std::sort(sorted.begin(), sorted.end(), [](char a, char b) { return quint8(a) < quint8(b); });
        QCOMPARE(sorted, allBytes());
        QCOMPARE(quint8(coded[0]), quint8(0x41));
        QCOMPARE(quint8(coded[1]), quint8(0x36));
        QCOMPARE(quint8(coded[255]), quint8(0x3D));
    }

    void cyclicRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<quint32>("key");
        QTest::newRow("empty") << QByteArray() << 4u;
        QTest::newRow("every byte, key 4") << allBytes() << 4u;
        QTest::newRow("random, high key") << randomBytes(8176, 2) << 0xFFFFFFFCu;
        QTest::newRow("random, key wraps 16 bits") << randomBytes(3000, 3) << 0x0001FFF8u;
    }
    void cyclicRoundTrip()
    {
        QFETCH(QByteArray, plain);
        QFETCH(quint32, key);
        QByteArray coded = plain;
        cyclicCode(coded.data(), coded.size(), key);
        if (!plain.isEmpty()) {
            QVERIFY(coded != plain);
            // Another key gives other bytes.
            QByteArray other = plain;
            cyclicCode(other.data(), other.size(), key + 4);
            QVERIFY(other != coded);
        }
        cyclicCode(coded.data(), coded.size(), key);
        QCOMPARE(coded, plain);
    }

    void blockEncodings_data()
    {
        QTest::addColumn<Encoding>("encoding");
        QTest::newRow("none") << Encoding::None;
        QTest::newRow("permute") << Encoding::Permute;
        QTest::newRow("cyclic") << Encoding::Cyclic;
    }
    void blockEncodings()
    {
        QFETCH(Encoding, encoding);
        const QByteArray plain = randomBytes(500, 9);
        QByteArray b = plain;
        encodeBlock(encoding, b.data(), b.size(), 0x1234568);
        QCOMPARE(b == plain, encoding == Encoding::None);
        decodeBlock(encoding, b.data(), b.size(), 0x1234568);
        QCOMPARE(b, plain);
    }

    void crcVectors_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<quint32>("crc");
        QTest::newRow("empty") << QByteArray() << 0u;
        QTest::newRow("zeros stay zero") << QByteArray(8, '\0') << 0u;
        QTest::newRow("one byte") << QByteArray("a") << 0x3AB551CEu;
        QTest::newRow("digits") << QByteArray("123456789") << 0x2DFD2D88u;
        QTest::newRow("compressed RTF contents") << kRtfContents << 0x74E85C33u;
    }
    void crcVectors()
    {
        QFETCH(QByteArray, data);
        QFETCH(quint32, crc);
        QCOMPARE(pstCrc(data.constData(), data.size()), crc);
        // Any split point continues the same checksum.
        for (qsizetype cut = 0; cut <= data.size(); ++cut)
            QCOMPARE(pstCrc(data.constData() + cut, data.size() - cut, pstCrc(data.constData(), cut)), crc);
    }

    // Long inputs take the wide path: every length around its 16- and
    // 64-byte steps, odd starts and running checksums agree with a
    // bit-at-a-time reference.
    void crcWideInputs_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("start");
        QTest::addColumn<quint32>("seed");
        for (const int length : {63, 64, 65, 79, 80, 127, 128, 129, 191, 200, 255, 256, 1000, 4096, 8176, 8192, 65536 + 7})
            for (const int start : {0, 1, 13})
                for (const quint32 seed : {0u, 0xFFFFFFFFu, 0x1234ABCDu})
                    QTest::addRow("%d bytes from %d, seed %08x", length, start, seed) << length << start << seed;
    }
    void crcWideInputs()
    {
        QFETCH(int, length);
        QFETCH(int, start);
        QFETCH(quint32, seed);
        QByteArray data(start + length, Qt::Uninitialized);
        quint32 r = 0x9E3779B9u ^ quint32(length);
        for (char &c : data) {
            r = r * 1664525u + 1013904223u;
            c = char(r >> 24);
        }
        quint32 expected = seed;
        for (int i = start; i < data.size(); ++i) {
            expected ^= quint8(data[i]);
            for (int k = 0; k < 8; ++k)
                expected = (expected & 1) ? (expected >> 1) ^ 0xEDB88320u : expected >> 1;
        }
        const char *p = data.constData() + start;
        QCOMPARE(pstCrc(p, length, seed), expected);
        const int cut = length / 3;
        QCOMPARE(pstCrc(p + cut, length - cut, pstCrc(p, cut, seed)), expected);
    }

    void lzfuKnownStream()
    {
        const QByteArray stream = rtfStream(kRtfContents, quint32(kRtfText.size()), kLzfu, 0x74E85C33u);
        const auto text = decompressRtf(stream);
        QVERIFY2(text.hasValue(), qPrintable(text ? QString() : text.error().text));
        QCOMPARE(*text, kRtfText);
    }

    void lzfuRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("known text") << kRtfText;
        QTest::newRow("repetitive, past the dictionary") << QByteArray("{\\rtf1 abc}").repeated(900);
        QTest::newRow("random bytes") << randomBytes(5000, 4);
    }
    void lzfuRoundTrip()
    {
        QFETCH(QByteArray, rtf);
        const auto back = decompressRtf(compressRtf(rtf));
        QVERIFY2(back.hasValue(), qPrintable(back ? QString() : back.error().text));
        QCOMPARE(*back, rtf);
    }

    void lzfuRejects_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<qsizetype>("limit");
        QTest::addColumn<QString>("reason");
        const quint32 n = quint32(kRtfText.size());
        QTest::newRow("shorter than its header") << QByteArray(10, '\0') << qsizetype(1 << 20) << "shorter than its header";
        QTest::newRow("unknown type") << rtfStream(kRtfContents, n, 0x12345678, 0x74E85C33u) << qsizetype(1 << 20)
                                      << "unknown type";
        QTest::newRow("checksum") << rtfStream(kRtfContents, n, kLzfu, 0x74E85C34u) << qsizetype(1 << 20)
                                  << "checksum mismatch";
        QTest::newRow("raw size too large") << rtfStream(kRtfContents, n + 1, kLzfu, 0x74E85C33u)
                                            << qsizetype(1 << 20) << "gave 34 bytes, declares 35";
        QTest::newRow("over the limit") << rtfStream(kRtfContents, n, kLzfu, 0x74E85C33u) << qsizetype(10)
                                        << "more than the limit";
        QByteArray cut = rtfStream(kRtfContents, n, kLzfu, 0x74E85C33u);
        put32(cut, 0, quint32(cut.size()));  // declares 4 bytes it does not hold
        QTest::newRow("declares more than it holds") << cut << qsizetype(1 << 20) << "holds";
        QTest::newRow("stored text too long") << rtfStream("abc", 4, kMela, 0) << qsizetype(1 << 20)
                                              << "stored text";
        const QByteArray halfRef = QByteArray::fromHex("01ff");
        QTest::newRow("reference cut short") << rtfStream(halfRef, 5, kLzfu, pstCrc(halfRef.constData(), 2))
                                             << qsizetype(1 << 20) << "cut short";
    }
    void lzfuRejects()
    {
        QFETCH(QByteArray, stream);
        QFETCH(qsizetype, limit);
        QFETCH(QString, reason);
        const auto text = decompressRtf(stream, limit);
        QVERIFY(!text.hasValue());
        QVERIFY2(text.error().text.contains(reason), qPrintable(text.error().text));
        QVERIFY(text.error().text.startsWith(QLatin1String("compressed RTF: ")));
    }

    void lzfuStopsAtRawSize()
    {
        // Writers may leave bytes after the declared text; they are not text.
        const auto text = decompressRtf(rtfStream(kRtfContents, quint32(kRtfText.size() - 1), kLzfu, 0x74E85C33u));
        QVERIFY(text.hasValue());
        QCOMPARE(*text, kRtfText.chopped(1));
    }

    void lzfuStoredText()
    {
        const auto text = decompressRtf(rtfStream("{\\rtf1}", 7, kMela, 0));
        QVERIFY(text.hasValue());
        QCOMPARE(*text, QByteArray("{\\rtf1}"));
    }

    void inflateBlocks_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::newRow("text") << QByteArray("a compressed block ").repeated(400);
        QTest::newRow("random") << randomBytes(4000, 5);
    }
    void inflateBlocks()
    {
        QFETCH(QByteArray, plain);
        const QByteArray stored = deflateBlock(plain);
        QVERIFY(!stored.isEmpty());
        const auto back = inflateBlock(stored, int(plain.size()));
        QVERIFY(back.hasValue());
        QCOMPARE(*back, plain);
        // A stream that gives more or fewer bytes than declared is damaged,
        // and no more than the declared size is ever produced.
        QVERIFY(!inflateBlock(stored, int(plain.size()) - 1).hasValue());
        QVERIFY(!inflateBlock(stored, int(plain.size()) + 1).hasValue());
        QVERIFY(!inflateBlock(stored.left(stored.size() / 2), int(plain.size())).hasValue());
        QVERIFY(!inflateBlock(stored, 0).hasValue());
    }

    void inflateRawDeflate()
    {
        // A raw deflate stream (no zlib header or trailer) is accepted too.
        const QByteArray plain = QByteArray("raw stream ").repeated(50);
        const QByteArray zlib = deflateBlock(plain);
        const QByteArray raw = zlib.mid(2, zlib.size() - 6);
        const auto back = inflateBlock(raw, int(plain.size()));
        QVERIFY(back.hasValue());
        QCOMPARE(*back, plain);
        QVERIFY(!inflateBlock(QByteArray(40, 'x'), 100).hasValue());
    }

    void headerParses_data()
    {
        QTest::addColumn<Variant>("variant");
        QTest::addColumn<quint8>("crypt");
        QTest::newRow("unicode, permute") << Variant::Unicode << quint8(1);
        QTest::newRow("unicode, none") << Variant::Unicode << quint8(0);
        QTest::newRow("ansi, cyclic") << Variant::Ansi << quint8(2);
        QTest::newRow("4 KiB pages") << Variant::Unicode4k << quint8(1);
    }
    void headerParses()
    {
        QFETCH(Variant, variant);
        QFETCH(quint8, crypt);
        QByteArray h = makeHeader(variant, crypt);
        sealHeader(h);
        const auto header = parseHeader(h);
        QVERIFY2(header.hasValue(), qPrintable(header ? QString() : header.error().text));
        QCOMPARE(header->variant, variant);
        QCOMPARE(header->encoding, Encoding(crypt));
        QCOMPARE(header->client, Header::kClientPst);
        QCOMPARE(header->nbtRoot, (Bref{0x24, 0x4600}));
        QCOMPARE(header->bbtRoot, (Bref{0x28, 0x4800}));
        QCOMPARE(header->fileEof, variant == Variant::Ansi ? 0x10000u : 0x20000u);
    }

    void headerRejects_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Error::Kind>("kind");
        QTest::addColumn<QString>("text");

        QByteArray magic = makeHeader(Variant::Unicode);
        magic[0] = 'X';
        QTest::newRow("no signature") << magic << Error::Kind::NotAnArchive << "header: no archive signature";
        QTest::newRow("empty") << QByteArray() << Error::Kind::NotAnArchive << "header: no archive signature";

        QByteArray shortFile = makeHeader(Variant::Unicode);
        sealHeader(shortFile);
        QTest::newRow("cut in the header") << shortFile.left(40) << Error::Kind::Damaged
                                           << "header: file of 40 bytes ends inside the header";
        QTest::newRow("cut before version") << shortFile.left(12) << Error::Kind::Damaged
                                            << "header: file of 12 bytes ends inside the header";

        QByteArray version = makeHeader(Variant::Unicode);
        put16(version, 10, 99);
        sealHeader(version);
        QTest::newRow("unknown version") << version << Error::Kind::Unsupported << "header: unknown format version 99";

        QByteArray partial = makeHeader(Variant::Unicode);
        sealHeader(partial);
        partial[100] = char(partial[100] ^ 1);
        QTest::newRow("partial checksum") << partial << Error::Kind::Damaged << "header: checksum mismatch at 0x4";

        QByteArray full = makeHeader(Variant::Unicode);
        sealHeader(full);
        full[500] = char(full[500] ^ 1);
        QTest::newRow("full checksum") << full << Error::Kind::Damaged << "header: checksum mismatch at 0x20C";

        QByteArray ansiCrc = makeHeader(Variant::Ansi);
        sealHeader(ansiCrc);
        ansiCrc[200] = char(ansiCrc[200] ^ 1);
        QTest::newRow("ansi checksum") << ansiCrc << Error::Kind::Damaged << "header: checksum mismatch at 0x4";

        QByteArray sentinel = makeHeader(Variant::Unicode);
        put8(sentinel, 512, 0);
        sealHeader(sentinel);
        QTest::newRow("sentinel") << sentinel << Error::Kind::Damaged << "header: bad sentinel at 0x200";

        QByteArray ansiSentinel = makeHeader(Variant::Ansi);
        put8(ansiSentinel, 460, 0x81);
        sealHeader(ansiSentinel);
        QTest::newRow("ansi sentinel") << ansiSentinel << Error::Kind::Damaged << "header: bad sentinel at 0x1CC";

        QByteArray crypt = makeHeader(Variant::Unicode, 7);
        sealHeader(crypt);
        QTest::newRow("unknown encoding") << crypt << Error::Kind::Damaged << "header: unknown encoding 7 at 0x201";

        QByteArray wip = makeHeader(Variant::Unicode, 0x10);
        sealHeader(wip);
        QTest::newRow("rights protection") << wip << Error::Kind::Unsupported
                                           << "header: encrypted with Windows Information Protection";
    }
    void headerRejects()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Error::Kind, kind);
        QFETCH(QString, text);
        const auto header = parseHeader(bytes);
        QVERIFY(!header.hasValue());
        QCOMPARE(header.error().text, text);
        QCOMPARE(header.error().kind, kind);
    }

    void pageTrailers_data()
    {
        QTest::addColumn<Variant>("variant");
        QTest::newRow("ansi") << Variant::Ansi;
        QTest::newRow("unicode") << Variant::Unicode;
        QTest::newRow("4 KiB pages") << Variant::Unicode4k;
    }
    void pageTrailers()
    {
        QFETCH(Variant, variant);
        const Layout &l = Layout::of(variant);
        QByteArray page = randomBytes(l.pageSize, 6);
        auto *p = reinterpret_cast<uchar *>(page.data());
        // A leaf with three node entries.
        if (l.btCountWidth == 2) {
            qToLittleEndian(quint16(3), p + l.btCountAt);
            qToLittleEndian(quint16(l.btEntriesSize / l.nbtEntrySize), p + l.btCountAt + 2);
        } else {
            p[l.btCountAt] = 3;
            p[l.btCountAt + 1] = quint8(l.btEntriesSize / l.nbtEntrySize);
        }
        p[l.btEntrySizeAt] = quint8(l.nbtEntrySize);
        p[l.btLevelAt] = 0;
        const quint64 ib = 0x44000;
        const quint64 bidValue = 0x1234;
        writePageTrailer(l, p, PageType::Nbt, blockSignature(ib, bidValue), bidValue);

        const PageTrailer t = readPageTrailer(l, p);
        QCOMPARE(t.type, quint8(PageType::Nbt));
        QCOMPARE(t.typeRepeat, quint8(PageType::Nbt));
        QCOMPARE(t.bid, bidValue);
        QCOMPARE(t.signature, blockSignature(ib, bidValue));
        QCOMPARE(t.crc, pstCrc(p, l.pageCrcSize));
        const BtPageInfo info = readBtPageInfo(l, p);
        QCOMPARE(info.count, 3);
        QCOMPARE(info.maxCount, l.btEntriesSize / l.nbtEntrySize);
        QCOMPARE(info.entrySize, l.nbtEntrySize);
        QCOMPARE(info.level, 0);
        // The trailer lies wholly inside the page, after the entries.
        QVERIFY(l.pageBidAt + l.idSize <= l.pageSize);
        QVERIFY(l.btLevelAt < l.pageTrailerAt);
        QCOMPARE(l.pageCrcSize, l.pageTrailerAt);
    }

    void btEntries_data()
    {
        QTest::addColumn<Variant>("variant");
        QTest::newRow("ansi") << Variant::Ansi;
        QTest::newRow("unicode") << Variant::Unicode;
    }
    void btEntries()
    {
        QFETCH(Variant, variant);
        const Layout &l = Layout::of(variant);
        QByteArray e(32, '\0');
        auto putId = [&](int at, quint64 v) {
            if (l.idSize == 4)
                put32(e, at, quint32(v));
            else
                put64(e, at, v);
        };
        const int w = l.idSize;
        putId(0, 0x21);
        putId(w, 0x44);
        putId(2 * w, 0x4A);
        put32(e, 3 * w, 0x122);
        const NbtEntry node = readNbtEntry(l, data(e));
        QCOMPARE(node, (NbtEntry{0x21, 0x44, 0x4A, 0x122}));
        const BtIndexEntry index = readBtIndexEntry(l, data(e));
        QCOMPARE(index.key, 0x21u);
        QCOMPARE(index.child, (Bref{0x44, 0x4A}));
        put16(e, 2 * w, 300);
        put16(e, 2 * w + 2, 2);
        const BbtEntry block = readBbtEntry(l, data(e));
        QCOMPARE(block.bref, (Bref{0x21, 0x44}));
        QCOMPARE(block.cb, quint16(300));
        QCOMPARE(block.refs, quint16(2));
        QCOMPARE(l.btIndexEntrySize, 3 * w);
    }

    void blockTrailers_data()
    {
        QTest::addColumn<Variant>("variant");
        QTest::addColumn<int>("cb");
        QTest::addColumn<quint64>("expectedSize");
        QTest::newRow("ansi, small") << Variant::Ansi << 20 << quint64(64);
        QTest::newRow("ansi, full") << Variant::Ansi << 8180 << quint64(8192);
        QTest::newRow("unicode, one past 48") << Variant::Unicode << 49 << quint64(128);
        QTest::newRow("unicode, full") << Variant::Unicode << 8176 << quint64(8192);
        QTest::newRow("4 KiB pages, small") << Variant::Unicode4k << 20 << quint64(512);
    }
    void blockTrailers()
    {
        QFETCH(Variant, variant);
        QFETCH(int, cb);
        QFETCH(quint64, expectedSize);
        const Layout &l = Layout::of(variant);
        QCOMPARE(l.blockSize(quint32(cb)), expectedSize);
        QVERIFY(cb <= l.maxBlockData);
        QByteArray block = randomBytes(int(expectedSize), 7);
        auto *t = reinterpret_cast<uchar *>(block.data()) + expectedSize - l.blockTrailerSize;
        writeBlockTrailer(l, t, quint16(cb), 0xBEEF, 0x12345678, 0x88);
        const BlockTrailer r = readBlockTrailer(l, t);
        QCOMPARE(r.cb, quint16(cb));
        QCOMPARE(r.signature, quint16(0xBEEF));
        QCOMPARE(r.crc, 0x12345678u);
        QCOMPARE(r.bid, 0x88u);
        QVERIFY(!r.compressed());
        if (l.blockInflatedAt >= 0) {
            // A compressed block declares a larger size before compression.
            qToLittleEndian(quint16(cb * 3), t + l.blockInflatedAt);
            QVERIFY(readBlockTrailer(l, t).compressed());
        }
    }

    void signatures()
    {
        QCOMPARE(blockSignature(0, 0), quint16(0));
        QCOMPARE(blockSignature(0x4400, 0x24), quint16(0x4424));
        QCOMPARE(blockSignature(0x12340000, 0), quint16(0x1234));
        QCOMPARE(blockSignature(0x12345678, 0x12345678), quint16(0));
    }

    void internalBlocks()
    {
        const Layout &l = kUnicodeLayout;
        QByteArray x(l.xHeaderSize + 2 * l.idSize, '\0');
        put8(x, 0, 1);
        put8(x, 1, 1);
        put16(x, 2, 2);
        put32(x, 4, 9000);
        put64(x, 8, 0x104);
        put64(x, 16, 0x108);
        const XBlockHeader xh = readXBlockHeader(data(x));
        QCOMPARE(xh.type, quint8(BlockType::DataTree));
        QCOMPARE(xh.level, quint8(1));
        QCOMPARE(xh.count, quint16(2));
        QCOMPARE(xh.total, 9000u);
        QCOMPARE(readXEntry(l, data(x), 1), 0x108u);

        QByteArray sl(l.slHeaderSize + l.slEntrySize, '\0');
        put8(sl, 0, 2);
        put16(sl, 2, 1);
        put64(sl, 8, 0x671);
        put64(sl, 16, 0x20);
        put64(sl, 24, 0x26);
        const SlBlockHeader sh = readSlBlockHeader(data(sl));
        QCOMPARE(sh.type, quint8(BlockType::SubnodeTree));
        QCOMPARE(sh.count, quint16(1));
        const SlEntry se = readSlEntry(l, data(sl), 0);
        QCOMPARE(se.nid, 0x671u);
        QCOMPARE(se.bidData, 0x20u);
        QCOMPARE(se.bidSub, 0x26u);
        QCOMPARE(readSiEntry(l, data(sl), 0).bid, 0x20u);
    }

    void tableInfo_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");  // empty: parses

        // Two columns: a 4-byte id at 0 and a 1-byte flag at 8; row of 10.
        QByteArray good(22 + 16, '\0');
        put8(good, 0, 0x7C);
        put8(good, 1, 2);
        put16(good, 2, 8);
        put16(good, 4, 8);
        put16(good, 6, 9);
        put16(good, 8, 10);
        put32(good, 10, 0x20);
        put32(good, 14, 0x40);
        put32(good, 22, TableInfo::kRowIdTag);
        put16(good, 26, 0);
        put8(good, 28, 4);
        put8(good, 29, 0);
        put32(good, 30, 0x0E17000B);
        put16(good, 34, 8);
        put8(good, 36, 1);
        put8(good, 37, 1);
        QTest::newRow("sound") << good << QString();

        QTest::newRow("short") << good.left(10) << "table: no table header";
        QByteArray type = good;
        put8(type, 0, 0x7B);
        QTest::newRow("wrong type") << type << "table: no table header";
        QTest::newRow("columns cut") << good.left(30) << "table: 2 columns in a header of 30 bytes";
        QByteArray order = good;
        put16(order, 4, 20);
        QTest::newRow("layout out of order") << order << "table: row layout 8/20/9/10 out of order";
        QByteArray outside = good;
        put16(outside, 34, 9);
        QTest::newRow("cell outside the row") << outside
                                              << "table: column 0xE17000B of 1 bytes at 9 lies outside the row's 9 bytes of cells";
        QByteArray bit = good;
        put8(bit, 37, 8);
        QTest::newRow("bit outside the bitmap") << bit << "table: column 0xE17000B has bit 8 of 8";
        QByteArray empty = good;
        put8(empty, 36, 0);
        QTest::newRow("empty cell") << empty << "table: column 0xE17000B of 0 bytes at 8 lies outside the row's 9 bytes of cells";
    }
    void tableInfo()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const auto info = parseTableInfo(bytes);
        if (!error.isEmpty()) {
            QVERIFY(!info.hasValue());
            QCOMPARE(info.error().text, error);
            return;
        }
        QVERIFY2(info.hasValue(), qPrintable(info ? QString() : info.error().text));
        QCOMPARE(info->columns.size(), 2);
        QCOMPARE(info->rowSize, quint16(10));
        QCOMPARE(info->rowIndex, 0x20u);
        QCOMPARE(info->rows, 0x40u);
        QCOMPARE(info->columns[1], (ColumnDesc{0x0E17000B, 8, 1, 1, 0}));
    }
    // The search table form: a 40-byte header and 16-byte column
    // descriptions kept apart; the same row layout checks apply.
    void searchTableInfo_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("columns");
        QTest::addColumn<QString>("error");  // empty: parses and checks out

        QByteArray header(40, '\0');
        put8(header, 0, 0xAC);
        put16(header, 2, 8);
        put16(header, 4, 8);
        put16(header, 6, 9);
        put16(header, 8, 10);
        put32(header, 10, 0x20);
        put32(header, 14, 0x40);
        put16(header, 22, 2);
        put32(header, 24, 0x8021);
        QByteArray columns(32, '\0');
        put32(columns, 0, TableInfo::kRowIdTag);
        put16(columns, 4, 0);
        put16(columns, 6, 4);
        put16(columns, 8, 0);
        put32(columns, 16, 0x0E17000B);
        put16(columns, 20, 8);
        put16(columns, 22, 1);
        put16(columns, 24, 1);
        put32(columns, 28, 0x1234);
        QTest::newRow("sound") << header << columns << QString();
        QTest::newRow("short header") << header.left(39) << columns << "table: no search table header";
        QByteArray type = header;
        put8(type, 0, 0x7C);
        QTest::newRow("table context header") << type << columns << "table: no search table header";
        QTest::newRow("columns cut") << header << columns.left(31) << "table: 2 search columns in 31 bytes";
        QByteArray outside = columns;
        put16(outside, 20, 9);
        QTest::newRow("cell outside the row")
            << header << outside << "table: column 0xE17000B of 1 bytes at 9 lies outside the row's 9 bytes of cells";
        QByteArray bit = columns;
        put16(bit, 24, 300);
        QTest::newRow("bit outside the bitmap") << header << bit << "table: column 0xE17000B has bit 300 of 8";
    }
    void searchTableInfo()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, columns);
        QFETCH(QString, error);
        auto info = parseSearchTableHeader(header);
        Result<QList<ColumnDesc>> parsed = QList<ColumnDesc>();
        if (info)
            parsed = parseSearchColumns(columns, info->columnCount);
        std::optional<Error> failure;
        if (!info)
            failure = info.error();
        else if (!parsed)
            failure = parsed.error();
        TableInfo checked;
        if (!failure) {
            checked = info.value();
            checked.columns = parsed.value();
            failure = checkColumns(checked);
        }
        if (!error.isEmpty()) {
            QVERIFY(failure);
            QCOMPARE(failure->text, error);
            return;
        }
        QVERIFY2(!failure, qPrintable(failure ? failure->text : QString()));
        QCOMPARE(checked.rowSize, quint16(10));
        QCOMPARE(checked.rowIndex, 0x20u);
        QCOMPARE(checked.rows, 0x40u);
        QCOMPARE(checked.columnsHnid, 0x8021u);
        QCOMPARE(checked.columns.size(), 2);
        QCOMPARE(checked.columns[1], (ColumnDesc{0x0E17000B, 8, 1, 1, 0x1234}));
    }
};

QTEST_GUILESS_MAIN(TestFormat)
#include "tst_pstformat.moc"
