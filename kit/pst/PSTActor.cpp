#include "pst/PSTActor.h"

#include "pst/LibpffCalls.h"
#include "pst/PSTFile.h"
#include "pst/PSTFolder.h"
#include "pst/PSTMessage.h"
#include "pst/SerialExecutor.h"

#include <unordered_map>

namespace ostrel {

namespace {
struct UuidHash {
    size_t operator()(const QUuid &id) const noexcept { return qHash(id); }
};
using FolderHandles = std::unordered_map<QUuid, std::unique_ptr<PSTFolder>, UuidHash>;

Expected<MailFolder, PSTError> buildFolder(std::unique_ptr<PSTFolder> folder, FolderHandles &handles)
{
    const auto name = folder->name();
    const QString folderName = name ? name.value() : QStringLiteral("(unbenannt)");
    const auto count = folder->messageCount();
    const qint64 messageCount = count ? count.value() : 0;
    const qint64 unreadCount = folder->unreadCount();

    auto sub = folder->subFolders();
    if (!sub)
        return sub.error();
    QList<MailFolder> children;
    children.reserve(static_cast<qsizetype>(sub.value().size()));
    for (auto &child : sub.value()) {
        auto built = buildFolder(std::move(child), handles);
        if (!built)
            return built.error();
        children.append(std::move(built).value());
    }

    MailFolder record{QUuid::createUuid(), folderName, messageCount, unreadCount, classifyFolder(folderName),
                      std::move(children)};
    handles.emplace(record.id, std::move(folder));
    return record;
}
}  // namespace

// Where an attachment record served with a page sits in the archive.
struct AttachmentLocation {
    QUuid folderId;
    qint64 messageIndex;
    int attachmentIndex;
};

struct PSTActor::State {
    std::shared_ptr<const LibpffCalls> calls;
    std::unique_ptr<PSTFile> file;
    FolderHandles folderHandles;
    std::unordered_map<QUuid, AttachmentLocation, UuidHash> attachments;

    // Folder handles go before the file that they belong to.
    void dropArchive()
    {
        attachments.clear();
        folderHandles.clear();
        file.reset();
    }

    PSTResult<QList<MailFolder>> open(const QUrl &url)
    {
        dropArchive();
        auto opened = PSTFile::open(url, calls);
        if (!opened)
            return opened.error();
        std::unique_ptr<PSTFile> newFile = std::move(opened).value();

        FolderHandles newHandles;
        QList<MailFolder> result;
        {
            auto root = newFile->rootFolder();
            if (!root)
                return root.error();
            auto sub = root.value()->subFolders();
            if (!sub)
                return sub.error();
            for (auto &folder : sub.value()) {
                auto built = buildFolder(std::move(folder), newHandles);
                if (!built) {
                    newHandles.clear();  // before newFile closes
                    return built.error();
                }
                result.append(std::move(built).value());
            }
        }
        folderHandles = std::move(newHandles);
        file = std::move(newFile);
        return result;
    }

    PSTResult<QList<MailMessage>> load(const QUuid &folderId, qint64 offset, qint64 limit)
    {
        const auto found = folderHandles.find(folderId);
        if (found == folderHandles.end())
            return PSTError::parsingFailed(QStringLiteral("Ordner nicht gefunden"));
        auto items = found->second->messages(offset, limit);
        if (!items)
            return items.error();
        QList<MailMessage> messages;
        messages.reserve(static_cast<qsizetype>(items.value().size()));
        std::vector<std::pair<QUuid, AttachmentLocation>> served;
        const qint64 first = std::max<qint64>(offset, 0);
        for (size_t i = 0; i < items.value().size(); ++i) {
            QList<int> attachmentIndices;
            auto message = items.value()[i]->mailMessage(&attachmentIndices);
            if (!message)
                return message.error();
            const QList<Attachment> &list = message.value().attachments;
            for (qsizetype k = 0; k < list.size(); ++k)
                served.push_back({list[k].id, {folderId, first + qint64(i), attachmentIndices.value(k)}});
            messages.append(std::move(message).value());
        }
        attachments.insert(served.begin(), served.end());
        return messages;
    }

    Expected<qint64, AttachmentSaveError> save(const QUuid &attachmentId, const QString &path)
    {
        const auto location = attachments.find(attachmentId);
        if (location == attachments.end())
            return AttachmentSaveError{AttachmentSaveError::Kind::notLoaded, {}};
        const auto folder = folderHandles.find(location->second.folderId);
        if (folder == folderHandles.end())
            return AttachmentSaveError{AttachmentSaveError::Kind::notLoaded, {}};
        auto items = folder->second->messages(location->second.messageIndex, 1);
        if (!items || items.value().empty())
            return AttachmentSaveError{AttachmentSaveError::Kind::readFailed,
                                       items ? QStringLiteral("message gone") : items.error().message()};
        return items.value().front()->writeAttachment(location->second.attachmentIndex, path);
    }
};

PSTActor::PSTActor(std::shared_ptr<const LibpffCalls> calls) : m_state(std::make_unique<State>())
{
    m_state->calls = calls ? std::move(calls) : LibpffCalls::real();
    m_executor = std::make_unique<SerialExecutor>([state = m_state.get()] { state->dropArchive(); });
}

PSTActor::~PSTActor()
{
    m_executor.reset();  // runs what is queued, then frees the archive on its own thread
}

QFuture<PSTResult<QList<MailFolder>>> PSTActor::openFile(const QUrl &url)
{
    return m_executor->submit([state = m_state.get(), url] { return state->open(url); });
}

QFuture<PSTResult<QList<MailMessage>>> PSTActor::loadMessages(const MailFolder &folder, qint64 offset, qint64 limit)
{
    return m_executor->submit(
        [state = m_state.get(), id = folder.id, offset, limit] { return state->load(id, offset, limit); });
}

QFuture<Expected<qint64, AttachmentSaveError>> PSTActor::saveAttachment(const Attachment &attachment,
                                                                       const QString &path)
{
    return m_executor->submit(
        [state = m_state.get(), id = attachment.id, path] { return state->save(id, path); });
}

std::thread::id PSTActor::threadId() const
{
    return m_executor->threadId();
}

}  // namespace ostrel
