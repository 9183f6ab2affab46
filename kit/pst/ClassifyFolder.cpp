#include "pst/RecordRules.h"

#include <array>
#include <initializer_list>

namespace ostrel {

FolderType classifyFolder(const QString &name)
{
    struct Rule {
        FolderType type;
        std::initializer_list<const char *> needles;
    };
    // First match wins, so the order matters: "Drafts sent" is sent, "Task notes" is notes.
    static const std::array<Rule, 10> rules{{
        {FolderType::inbox, {"inbox", "posteingang"}},
        {FolderType::sent, {"sent", "gesend"}},
        {FolderType::drafts, {"draft", "entw"}},
        {FolderType::deleted, {"trash", "delete", "gelösch", "papierkorb"}},
        {FolderType::archive, {"archive", "archiv"}},
        {FolderType::spam, {"junk", "spam"}},
        {FolderType::calendar, {"calendar", "kalender"}},
        {FolderType::contacts, {"contact", "kontakt"}},
        {FolderType::notes, {"note", "notiz"}},
        {FolderType::tasks, {"task", "aufgab"}},
    }};
    // Composed form on both sides, so a decomposed "ö" matches a precomposed one.
    const QString haystack = name.normalized(QString::NormalizationForm_C)
                                 .toLower()
                                 .normalized(QString::NormalizationForm_C);
    for (const Rule &rule : rules) {
        for (const char *needle : rule.needles) {
            if (haystack.contains(QString::fromUtf8(needle)))
                return rule.type;
        }
    }
    return FolderType::custom;
}

}  // namespace ostrel
