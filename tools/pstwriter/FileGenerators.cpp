#include "FileGenerators.h"

#include "Bytes.h"
#include "Crc.h"

#include <QtEndian>

namespace ostrel::pstwriter {

namespace {

void addBe32(QByteArray &b, quint32 v)
{
    char raw[4];
    qToBigEndian(v, raw);
    b.append(raw, 4);
}

void pngChunk(QByteArray &png, const char *type, const QByteArray &data)
{
    addBe32(png, quint32(data.size()));
    QByteArray body(type, 4);
    body += data;
    png += body;
    addBe32(png, zipCrc(body.constData(), body.size()));
}

QString xmlEscape(QString s)
{
    return s.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"))
        .replace(QLatin1Char('"'), QLatin1String("&quot;"));
}

QString pdfEscape(QString s)
{
    return s.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('('), QLatin1String("\\("))
        .replace(QLatin1Char(')'), QLatin1String("\\)"));
}

QString columnName(int column)
{
    QString name;
    for (++column; column > 0; column = (column - 1) / 26)
        name.prepend(QChar(u'A' + (column - 1) % 26));
    return name;
}

}  // namespace

QByteArray makePng(int width, int height, quint32 top, quint32 bottom)
{
    width = qBound(1, width, 4096);
    height = qBound(1, height, 4096);
    QByteArray raw;
    raw.reserve(qsizetype(height) * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.append(char(0));  // no filter
        const double t = height > 1 ? double(y) / (height - 1) : 0.0;
        char pixel[3];
        for (int c = 0; c < 3; ++c) {
            const int shift = 16 - 8 * c;
            const double a = (top >> shift) & 0xFF;
            const double b = (bottom >> shift) & 0xFF;
            pixel[c] = char(int(a + (b - a) * t + 0.5));
        }
        for (int x = 0; x < width; ++x)
            raw.append(pixel, 3);
    }
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    addBe32(header, quint32(width));
    addBe32(header, quint32(height));
    header.append("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
    pngChunk(png, "IHDR", header);
    pngChunk(png, "IDAT", qCompress(raw, 9).mid(4));  // qCompress prefixes the length to a zlib stream
    pngChunk(png, "IEND", {});
    return png;
}

QByteArray makePdf(const QString &title, const QStringList &lines)
{
    QString content = QStringLiteral("BT /F1 18 Tf 72 760 Td (%1) Tj ET\n").arg(pdfEscape(title));
    int y = 730;
    for (const QString &line : lines) {
        content += QStringLiteral("BT /F1 11 Tf 72 %1 Td (%2) Tj ET\n").arg(y).arg(pdfEscape(line));
        y -= 16;
    }
    const QByteArray stream = content.toLatin1();
    const QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 5 0 R >> >> "
        "/Contents 4 0 R >>",
        "<< /Length " + QByteArray::number(stream.size()) + " >>\nstream\n" + stream + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Title (" + pdfEscape(title).toLatin1() + ") /Producer (ostrel-mkpst) >>",
    };
    QByteArray pdf("%PDF-1.4\n");
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype o : offsets)
        pdf += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R /Info 6 0 R >>\nstartxref\n"
           + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

QByteArray makeZip(const QList<ZipEntry> &entries)
{
    using namespace bytes;
    QByteArray zip;
    QByteArray directory;
    for (const ZipEntry &e : entries) {
        const QByteArray name = e.name.toUtf8();
        const quint32 crc = zipCrc(e.data.constData(), e.data.size());
        const quint32 offset = quint32(zip.size());
        auto common = [&](QByteArray &b) {
            add16(b, 20);      // version needed
            add16(b, 0x0800);  // names in UTF-8
            add16(b, 0);       // stored
            add16(b, 0);       // time
            add16(b, 0x5821);  // 2024-01-01
            add32(b, crc);
            add32(b, quint32(e.data.size()));
            add32(b, quint32(e.data.size()));
            add16(b, quint16(name.size()));
            add16(b, 0);
        };
        add32(zip, 0x04034b50);
        common(zip);
        zip += name;
        zip += e.data;

        add32(directory, 0x02014b50);
        add16(directory, 20);  // made by
        common(directory);
        add16(directory, 0);  // comment
        add16(directory, 0);  // disk
        add16(directory, 0);  // internal attributes
        add32(directory, 0);  // external attributes
        add32(directory, offset);
        directory += name;
    }
    const quint32 directoryAt = quint32(zip.size());
    zip += directory;
    add32(zip, 0x06054b50);
    add16(zip, 0);
    add16(zip, 0);
    add16(zip, quint16(entries.size()));
    add16(zip, quint16(entries.size()));
    add32(zip, quint32(directory.size()));
    add32(zip, directoryAt);
    add16(zip, 0);
    return zip;
}

QByteArray makeXlsx(const QString &sheetName, const QList<QVariantList> &rows)
{
    QString sheet = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>");
    for (qsizetype r = 0; r < rows.size(); ++r) {
        sheet += QStringLiteral("<row r=\"%1\">").arg(r + 1);
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            const QVariant &v = rows[r][c];
            const QString ref = columnName(int(c)) + QString::number(r + 1);
            if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
                sheet += QStringLiteral("<c r=\"%1\"><v>%2</v></c>").arg(ref, v.toString());
            else
                sheet += QStringLiteral("<c r=\"%1\" t=\"inlineStr\"><is><t>%2</t></is></c>")
                             .arg(ref, xmlEscape(v.toString()));
        }
        sheet += QStringLiteral("</row>");
    }
    sheet += QStringLiteral("</sheetData></worksheet>");

    const QByteArray types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
        "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
        "</Types>";
    const QByteArray rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
        "Target=\"xl/workbook.xml\"/></Relationships>";
    const QByteArray workbook =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
        "<sheet name=\"" + xmlEscape(sheetName).toUtf8() + "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const QByteArray workbookRels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
        "Target=\"worksheets/sheet1.xml\"/></Relationships>";
    return makeZip({{QStringLiteral("[Content_Types].xml"), types},
                    {QStringLiteral("_rels/.rels"), rels},
                    {QStringLiteral("xl/workbook.xml"), workbook},
                    {QStringLiteral("xl/_rels/workbook.xml.rels"), workbookRels},
                    {QStringLiteral("xl/worksheets/sheet1.xml"), sheet.toUtf8()}});
}

QByteArray makeNoise(qsizetype size, quint64 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    quint64 s = seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL;
    if (s == 0)
        s = 1;
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        qToLittleEndian(s, out.data() + i);
    }
    for (; i < size; ++i) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        out[i] = char(s & 0xFF);
    }
    return out;
}

}  // namespace ostrel::pstwriter
