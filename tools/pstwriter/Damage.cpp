#include "Damage.h"

#include "Nid.h"

#include <QCoreApplication>
#include <QFile>

namespace ostrel::pstwriter {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ostrel::pstwriter::Damage", text);
}

bool parseOffset(const QString &text, quint64 &out)
{
    bool ok = false;
    out = text.startsWith(QLatin1String("0x")) ? text.mid(2).toULongLong(&ok, 16) : text.toULongLong(&ok);
    return ok;
}

// Where a target lies and what to write there.
std::optional<std::pair<quint64, QByteArray>> locate(const QString &target, const ArchiveBuilder &builder,
                                                     const QList<MessageId> &messages, QString *error)
{
    const NdbLayout layout = builder.layout();
    const QByteArray garbage(64, char(0xA5));
    auto nodeBlock = [&](quint32 nid) -> std::optional<std::pair<quint64, QByteArray>> {
        const auto at = builder.nodeDataOffset(nid);
        if (!at) {
            if (error)
                *error = tr("The archive has no data for node %1").arg(nid, 0, 16);
            return std::nullopt;
        }
        return std::make_pair(*at, QByteArray(16, char(0xA5)));
    };
    if (target == QLatin1String("header-magic"))
        return std::make_pair(quint64(0), QByteArray("XXXX"));
    if (target == QLatin1String("header-crc"))
        return std::make_pair(quint64(4), QByteArray("\xde\xad\xbe\xef", 4));
    if (target == QLatin1String("header-version"))
        return std::make_pair(quint64(10), QByteArray("\xff\xff", 2));
    if (target == QLatin1String("header-encoding"))
        return std::make_pair(quint64(513), QByteArray("\x7f", 1));
    if (target == QLatin1String("nbt-root"))
        return std::make_pair(layout.nbtRoot, garbage);
    if (target == QLatin1String("bbt-root"))
        return std::make_pair(layout.bbtRoot, garbage);
    if (target == QLatin1String("amap"))
        return std::make_pair(kFirstAMap, garbage);
    if (target == QLatin1String("store"))
        return nodeBlock(nid::MessageStore);
    if (target == QLatin1String("name-map"))
        return nodeBlock(nid::NameToIdMap);
    if (target == QLatin1String("root-folder"))
        return nodeBlock(nid::RootFolder);
    if (target.startsWith(QLatin1String("message:"))) {
        bool ok = false;
        const qsizetype n = target.mid(8).toLongLong(&ok);
        if (!ok || n < 1 || n > messages.size()) {
            if (error)
                *error = tr("There is no message %1 (the archive has %2)").arg(target.mid(8)).arg(messages.size());
            return std::nullopt;
        }
        return nodeBlock(messages[n - 1]);
    }
    if (error)
        *error = tr("Unknown damage target \"%1\"").arg(target);
    return std::nullopt;
}

}  // namespace

std::optional<Damage> Damage::parse(const QString &text, QString *error)
{
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    const QString kind = text.left(eq);
    const QString value = eq >= 0 ? text.mid(eq + 1) : QString();
    Damage d;
    if (kind == QLatin1String("truncate")) {
        d.kind = Kind::Truncate;
        if (parseOffset(value, d.offset))
            return d;
    } else if (kind == QLatin1String("overwrite")) {
        d.kind = Kind::Overwrite;
        d.target = value;
        if (!value.isEmpty())
            return d;
    } else if (kind == QLatin1String("bytes")) {
        d.kind = Kind::Bytes;
        const qsizetype colon = value.indexOf(QLatin1Char(':'));
        d.bytes = QByteArray::fromHex(value.mid(colon + 1).toLatin1());
        if (colon > 0 && parseOffset(value.left(colon), d.offset) && !d.bytes.isEmpty())
            return d;
    }
    if (error)
        *error = tr("Bad damage \"%1\": expected truncate=OFFSET, overwrite=TARGET or bytes=OFFSET:HEX").arg(text);
    return std::nullopt;
}

bool applyDamage(const QString &path, const Damage &damage, const ArchiveBuilder &builder,
                 const QList<MessageId> &messages, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        if (error)
            *error = tr("Cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    quint64 offset = damage.offset;
    QByteArray bytes = damage.bytes;
    if (damage.kind == Damage::Kind::Truncate) {
        if (offset > quint64(file.size())) {
            if (error)
                *error = tr("Cannot truncate at %1: the file has only %2 bytes").arg(offset).arg(file.size());
            return false;
        }
        if (!file.resize(qint64(offset))) {
            if (error)
                *error = tr("Cannot truncate %1: %2").arg(path, file.errorString());
            return false;
        }
        return true;
    }
    if (damage.kind == Damage::Kind::Overwrite) {
        const auto where = locate(damage.target, builder, messages, error);
        if (!where)
            return false;
        offset = where->first;
        bytes = where->second;
    }
    if (offset + quint64(bytes.size()) > quint64(file.size())) {
        if (error)
            *error = tr("Cannot write %1 bytes at %2: the file has only %3").arg(bytes.size()).arg(offset).arg(file.size());
        return false;
    }
    if (!file.seek(qint64(offset)) || file.write(bytes) != bytes.size()) {
        if (error)
            *error = tr("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace ostrel::pstwriter
