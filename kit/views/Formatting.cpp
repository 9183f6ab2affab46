#include "views/Formatting.h"

#include "model/Text.h"

#include <QCoreApplication>
#include <QTimeZone>
#include <cmath>

namespace ostrel {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("ostrel", text);
}

QDateTime localDate(double date)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(date * 1000.0)));
}

// Formatted with at most `decimals` places, trailing zeros dropped.
QString trimmedNumber(double value, int decimals, const QLocale &locale)
{
    const double factor = std::pow(10.0, decimals);
    const double rounded = std::round(value * factor) / factor;
    QString text = locale.toString(rounded, 'f', decimals);
    if (decimals > 0) {
        const QString point = locale.decimalPoint();
        while (text.endsWith(locale.zeroDigit()) && text.contains(point))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(point.size());
    }
    return text;
}
}  // namespace

QString rowDateLabel(double date, const QDateTime &now, const QLocale &locale)
{
    const QDateTime when = localDate(date).toTimeZone(now.timeZone());
    if (when.date() == now.date())
        return locale.toString(when.time(), QLocale::ShortFormat);
    if (when.date() == now.date().addDays(-1))
        return tr("Yesterday");
    const QDateTime weekAgo = now.addDays(-7);
    if (weekAgo.isValid() && when > weekAgo)
        return locale.toString(when, QStringLiteral("ddd"));
    return locale.toString(when.date(), QLocale::ShortFormat);
}

QString headerDateText(double date, const QLocale &locale)
{
    const QDateTime when = localDate(date);
    return locale.toString(when.date(), QLocale::LongFormat) + QStringLiteral(", ")
           + locale.toString(when.time(), QLocale::ShortFormat);
}

QString fileSizeText(qint64 bytes, const QLocale &locale)
{
    if (bytes == 0)
        return tr("Zero KB");
    const double value = double(bytes);
    if (std::llabs(bytes) < 999'500)  // rounds to less than 1,000 KB
        return tr("%1 KB").arg(trimmedNumber(std::max(1.0, std::round(value / 1e3)), 0, locale));
    if (std::llabs(bytes) < 999'950'000)
        return tr("%1 MB").arg(trimmedNumber(value / 1e6, 1, locale));
    return tr("%1 GB").arg(trimmedNumber(value / 1e9, 2, locale));
}

QString senderDisplay(const QString &sender, const QString &senderEmail)
{
    const QString name = trimBlanks(sender);
    const QString address = trimBlanks(senderEmail);
    if (name.isEmpty())
        return address.isEmpty() ? QString(QChar(0x2014)) : address;
    if (!address.isEmpty())
        return name + QStringLiteral(" <") + address + QLatin1Char('>');
    return name;
}

QString messageCountText(qsizetype count)
{
    if (count == 0)
        return tr("No messages");
    if (count == 1)
        return tr("1 message");
    return tr("%1 messages").arg(QLocale().toString(qint64(count)));
}

QString searchResultsText(qsizetype count, const QString &searchText)
{
    return tr("%1 results for \u201C%2\u201D").arg(QString::number(count), searchText);
}

}  // namespace ostrel
