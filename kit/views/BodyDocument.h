#pragma once

#include "model/Attachment.h"
#include "model/MailMessage.h"

#include <QList>
#include <QString>

namespace ostrel {

// How a message's body is shown: HTML in the web view, plain text as
// selectable text, or not at all.
struct MessageBody {
    enum class Kind { html, plainText, none };
    Kind kind = Kind::none;
    QString text;  // for html: already with its inline images resolved
    friend bool operator==(const MessageBody &, const MessageBody &) = default;
};

MessageBody chooseBody(const MailMessage &message);

// Replaces src="cid:…" references by data: URIs made from the message's own
// attachments. Returns the input unchanged when nothing applies.
QString resolveInlineImages(const QString &html, const QList<Attachment> &attachments);

// The HTML with the viewer's style sheet in its head, or a bare fragment
// wrapped into a whole document.
QString styledDocument(const QString &html);

extern const QString bodyStyleSheet;

}  // namespace ostrel
