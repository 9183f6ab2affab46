#include "LibpffDump.h"

#include <libpff.h>

#include <vector>

namespace ostrel::test {

namespace {

struct Error {
    libpff_error_t *e = nullptr;
    ~Error() { clear(); }
    void clear()
    {
        if (e)
            libpff_error_free(&e);
    }
    QString text()
    {
        if (!e)
            return {};
        char buffer[2048] = {};
        libpff_error_backtrace_sprint(e, buffer, sizeof buffer);
        clear();
        return QString::fromUtf8(buffer);
    }
};

struct Item {
    libpff_item_t *p = nullptr;
    Item() = default;
    Item(const Item &) = delete;
    Item &operator=(const Item &) = delete;
    ~Item()
    {
        if (p)
            libpff_item_free(&p, nullptr);
    }
};

struct RecordSet {
    libpff_record_set_t *p = nullptr;
    ~RecordSet()
    {
        if (p)
            libpff_record_set_free(&p, nullptr);
    }
};

struct RecordEntry {
    libpff_record_entry_t *p = nullptr;
    ~RecordEntry()
    {
        if (p)
            libpff_record_entry_free(&p, nullptr);
    }
};

struct File {
    libpff_file_t *p = nullptr;
    bool open = false;
    ~File()
    {
        if (open)
            libpff_file_close(p, nullptr);
        if (p)
            libpff_file_free(&p, nullptr);
    }
};

std::optional<QString> itemString(libpff_item_t *item, uint32_t type)
{
    Error error;
    size_t size = 0;
    if (libpff_item_get_entry_value_utf8_string_size(item, 0, type, &size, 0, &error.e) != 1)
        return std::nullopt;
    if (size == 0)
        return QString();
    std::vector<uint8_t> buffer(size, 0);
    if (libpff_item_get_entry_value_utf8_string(item, 0, type, buffer.data(), size, 0, &error.e) != 1)
        return std::nullopt;
    return QString::fromUtf8(reinterpret_cast<const char *>(buffer.data()));
}

std::optional<quint32> itemUInt32(libpff_item_t *item, uint32_t type)
{
    Error error;
    uint32_t value = 0;
    if (libpff_item_get_entry_value_32bit(item, 0, type, &value, 0, &error.e) != 1)
        return std::nullopt;
    return value;
}

std::optional<QByteArray> body(libpff_item_t *m, int (*sizeFn)(libpff_item_t *, size_t *, libpff_error_t **),
                               int (*readFn)(libpff_item_t *, uint8_t *, size_t, libpff_error_t **))
{
    Error error;
    size_t size = 0;
    if (sizeFn(m, &size, &error.e) != 1 || size == 0)
        return std::nullopt;
    QByteArray b(qsizetype(size), '\0');
    if (readFn(m, reinterpret_cast<uint8_t *>(b.data()), size, &error.e) != 1)
        return std::nullopt;
    while (b.endsWith('\0'))
        b.chop(1);
    return b;
}

std::optional<QString> recordString(libpff_record_set_t *set, uint32_t type)
{
    Error error;
    RecordEntry entry;
    if (libpff_record_set_get_entry_by_type(set, type, 0, &entry.p, LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE,
                                            &error.e) != 1)
        return std::nullopt;
    size_t size = 0;
    if (libpff_record_entry_get_data_as_utf8_string_size(entry.p, &size, &error.e) != 1)
        return std::nullopt;
    if (size == 0)
        return QString();
    std::vector<uint8_t> buffer(size, 0);
    if (libpff_record_entry_get_data_as_utf8_string(entry.p, buffer.data(), size, &error.e) != 1)
        return std::nullopt;
    return QString::fromUtf8(reinterpret_cast<const char *>(buffer.data()));
}

std::optional<quint32> recordUInt32(libpff_record_set_t *set, uint32_t type)
{
    Error error;
    RecordEntry entry;
    if (libpff_record_set_get_entry_by_type(set, type, 0, &entry.p, LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE,
                                            &error.e) != 1)
        return std::nullopt;
    uint32_t v = 0;
    if (libpff_record_entry_get_data_as_32bit_integer(entry.p, &v, &error.e) != 1)
        return std::nullopt;
    return v;
}

bool dumpMessage(libpff_item_t *m, DumpedMessage &out, QString *errorText, int depth);

bool dumpAttachment(libpff_item_t *a, DumpedAttachment &out, QString *errorText, int depth)
{
    Error error;
    if (libpff_attachment_get_type(a, &out.type, &error.e) != 1) {
        *errorText = error.text();
        return false;
    }
    out.longFileName = itemString(a, 0x3707);
    out.fileName = itemString(a, 0x3704);
    out.mimeTag = itemString(a, 0x370E);
    out.contentId = itemString(a, 0x3712);
    if (out.type == LIBPFF_ATTACHMENT_TYPE_DATA) {
        size64_t size = 0;
        if (libpff_attachment_get_data_size(a, &size, &error.e) == 1 && size > 0) {
            out.data.resize(qsizetype(size));
            const ssize_t read = libpff_attachment_data_read_buffer(a, reinterpret_cast<uint8_t *>(out.data.data()),
                                                                    size_t(size), &error.e);
            if (read != ssize_t(size)) {
                *errorText = QStringLiteral("attachment data: ") + error.text();
                return false;
            }
        }
    } else if (out.type == LIBPFF_ATTACHMENT_TYPE_ITEM && depth < 8) {
        Item inner;
        if (libpff_attachment_get_item(a, &inner.p, &error.e) != 1 || !inner.p) {
            *errorText = QStringLiteral("embedded item: ") + error.text();
            return false;
        }
        out.embedded = std::make_shared<DumpedMessage>();
        if (!dumpMessage(inner.p, *out.embedded, errorText, depth + 1))
            return false;
    }
    return true;
}

bool dumpMessage(libpff_item_t *m, DumpedMessage &out, QString *errorText, int depth)
{
    Error error;
    out.subject = itemString(m, 0x0037);
    out.senderName = itemString(m, 0x0C1A);
    out.senderEmail = itemString(m, 0x0C1F);
    out.messageClass = itemString(m, 0x001A);
    out.senderAddressType = itemString(m, 0x0C1E);
    out.senderSmtpAddress = itemString(m, 0x5D01);
    out.transportHeaders = itemString(m, 0x007D);
    out.messageCodepage = itemUInt32(m, 0x3FFD);
    out.importance = itemUInt32(m, 0x0017);
    out.flags = itemUInt32(m, 0x0E07);
    uint64_t t = 0;
    if (libpff_message_get_delivery_time(m, &t, &error.e) == 1)
        out.deliveryTime = t;
    error.clear();
    out.plainBody = body(m, libpff_message_get_plain_text_body_size, libpff_message_get_plain_text_body);
    out.htmlBody = body(m, libpff_message_get_html_body_size, libpff_message_get_html_body);
    out.rtfBody = body(m, libpff_message_get_rtf_body_size, libpff_message_get_rtf_body);

    Item recipients;
    if (libpff_message_get_recipients(m, &recipients.p, &error.e) == 1 && recipients.p) {
        int sets = 0;
        libpff_item_get_number_of_record_sets(recipients.p, &sets, &error.e);
        for (int i = 0; i < sets; ++i) {
            RecordSet set;
            if (libpff_item_get_record_set_by_index(recipients.p, i, &set.p, &error.e) != 1) {
                *errorText = QStringLiteral("recipient %1: ").arg(i) + error.text();
                return false;
            }
            DumpedRecipient r;
            r.displayName = recordString(set.p, 0x3001);
            r.emailAddress = recordString(set.p, 0x3003);
            r.recipientDisplayName = recordString(set.p, 0x5FF6);
            r.type = recordUInt32(set.p, 0x0C15);
            r.addressType = recordString(set.p, 0x3002);
            r.smtpAddress = recordString(set.p, 0x39FE);
            out.recipients.append(r);
        }
    }
    error.clear();

    int count = 0;
    if (libpff_message_get_number_of_attachments(m, &count, &error.e) != 1)
        count = 0;
    error.clear();
    for (int i = 0; i < count; ++i) {
        Item a;
        if (libpff_message_get_attachment(m, i, &a.p, &error.e) != 1 || !a.p) {
            *errorText = QStringLiteral("attachment %1: ").arg(i) + error.text();
            return false;
        }
        DumpedAttachment d;
        if (!dumpAttachment(a.p, d, errorText, depth))
            return false;
        out.attachments.append(d);
    }
    return true;
}

bool dumpFolder(libpff_item_t *f, DumpedFolder &out, QString *errorText, bool withMessages, int depth)
{
    Error error;
    size_t size = 0;
    if (libpff_folder_get_utf8_name_size(f, &size, &error.e) == 1) {
        std::vector<uint8_t> buffer(size + 1, 0);
        if (size == 0 || libpff_folder_get_utf8_name(f, buffer.data(), size, &error.e) == 1)
            out.name = QString::fromUtf8(reinterpret_cast<const char *>(buffer.data()));
    }
    error.clear();
    out.contentCount = itemUInt32(f, 0x3602);
    out.unreadCount = itemUInt32(f, 0x3603);
    int messages = 0;
    if (libpff_folder_get_number_of_sub_messages(f, &messages, &error.e) != 1) {
        *errorText = QStringLiteral("number_of_sub_messages: ") + error.text();
        return false;
    }
    out.messageCount = messages;
    if (withMessages) {
        for (int i = 0; i < messages; ++i) {
            Item m;
            if (libpff_folder_get_sub_message(f, i, &m.p, &error.e) != 1 || !m.p) {
                *errorText = QStringLiteral("get_sub_message[%1]: ").arg(i) + error.text();
                return false;
            }
            DumpedMessage d;
            if (!dumpMessage(m.p, d, errorText, 0))
                return false;
            out.messages.append(d);
        }
    }
    int folders = 0;
    if (libpff_folder_get_number_of_sub_folders(f, &folders, &error.e) != 1) {
        *errorText = QStringLiteral("number_of_sub_folders: ") + error.text();
        return false;
    }
    for (int i = 0; i < folders && depth < 64; ++i) {
        Item sub;
        if (libpff_folder_get_sub_folder(f, i, &sub.p, &error.e) != 1 || !sub.p) {
            *errorText = QStringLiteral("get_sub_folder[%1]: ").arg(i) + error.text();
            return false;
        }
        DumpedFolder d;
        if (!dumpFolder(sub.p, d, errorText, withMessages, depth + 1))
            return false;
        out.folders.append(d);
    }
    return true;
}

}  // namespace

const DumpedFolder *DumpedFolder::find(const QString &folderName) const
{
    for (const DumpedFolder &f : folders) {
        if (f.name == folderName)
            return &f;
        if (const DumpedFolder *deeper = f.find(folderName))
            return deeper;
    }
    return nullptr;
}

bool libpffOpens(const QString &path, QString *errorText)
{
    Error error;
    File file;
    if (libpff_file_initialize(&file.p, &error.e) != 1) {
        *errorText = error.text();
        return false;
    }
    if (libpff_file_open(file.p, path.toUtf8().constData(), LIBPFF_OPEN_READ, &error.e) != 1) {
        *errorText = error.text();
        return false;
    }
    file.open = true;
    return true;
}

std::optional<DumpedArchive> dumpArchive(const QString &path, QString *errorText, bool withMessages)
{
    Error error;
    File file;
    QString ignored;
    if (!errorText)
        errorText = &ignored;
    if (libpff_file_initialize(&file.p, &error.e) != 1
        || libpff_file_open(file.p, path.toUtf8().constData(), LIBPFF_OPEN_READ, &error.e) != 1) {
        *errorText = error.text();
        return std::nullopt;
    }
    file.open = true;
    DumpedArchive archive;
    uint8_t encryption = 0;
    if (libpff_file_get_encryption_type(file.p, &encryption, &error.e) == 1)
        archive.encryption = encryption;
    Item root;
    if (libpff_file_get_root_folder(file.p, &root.p, &error.e) != 1 || !root.p) {
        *errorText = QStringLiteral("root folder: ") + error.text();
        return std::nullopt;
    }
    if (!dumpFolder(root.p, archive.root, errorText, withMessages, 0))
        return std::nullopt;
    return archive;
}

}  // namespace ostrel::test
